// Installing a cursor pack of 15 pointer files, measured side by side in one run on this prefix:
//   - "Install Cursor Pack" through the library's menu, as the file manager calls it (create the
//     handler, Initialize, QueryContextMenu, InvokeCommand), in this process, and "Uninstall
//     Cursor Pack" the same way, of a pack installed just before;
//   - the system's own INF road: setupapi's InstallHinfSection on DefaultInstall, in this
//     process, and through rundll32 as the system's "Install" verb runs it.
// The settings are cleared before every run (untimed); what each way leaves is checked: ours
// makes the pack's pointers the user's, the system's road only copies the files into the
// Windows folder and lists the scheme. Medians of interleaved rounds. It changes the prefix's
// pointer settings and Windows folder: run it in a prefix of its own.
#include <windows.h>

#include <shlobj.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/timing.h"
#include "tools/installed_library.h"
#include "tools/pointer_files.h"
#include "tools/shell_objects.h"

namespace {

namespace fs = std::filesystem;
using pivora::bench::Median;
using pivora::bench::Time;

constexpr int kRounds = 11;
constexpr CLSID kPackClass = {
    0x8D2F4A61, 0x3B7E, 0x4C95, {0x9E, 0x1A, 0x52, 0xC7, 0xF0, 0xB3, 0xD6, 0x48}};

struct Way {
  const char* name;
  std::vector<double> times;
  bool appliedEveryTime = true;
};

}  // namespace

int main() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const fs::path library = fs::path(self).parent_path() / L"Pivora.dll";
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const fs::path folder = fs::path(temp) / L"pivora-pack-bench" / L"Green Sample";
  if (!pivora::pointer_files::WriteSamplePointers(folder).ok()) return 1;
  const fs::path inf = folder / L"install.inf";
  std::ofstream(inf, std::ios::binary)
      << pivora::pointer_files::SampleCursorPackInf("Green Sample");

  const HMODULE module = LoadLibraryW(library.c_str());
  const HMODULE setupapi = LoadLibraryW(L"setupapi.dll");
  if (module == nullptr || setupapi == nullptr) return 1;
  auto* getClassObject = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  auto* installHinfSection = reinterpret_cast<void(WINAPI*)(HWND, HINSTANCE, PCWSTR, INT)>(
      reinterpret_cast<void*>(GetProcAddress(setupapi, "InstallHinfSectionW")));
  IClassFactory* factory = nullptr;
  if (getClassObject(kPackClass, IID_IClassFactory, reinterpret_cast<void**>(&factory)) != S_OK) {
    return 1;
  }
  const pivora::testing::DropDataObject selection({inf.wstring()});
  const std::wstring section = L"DefaultInstall 128 " + inf.wstring();
  const std::wstring verb =
      L"rundll32.exe setupapi.dll,InstallHinfSection DefaultInstall 132 " + inf.wstring();

  // The way the file manager chooses an item of the pack's menu: offset 0 installs, 1 uninstalls.
  const auto chooseFromMenu = [&](UINT offset) {
    IShellExtInit* init = nullptr;
    IContextMenu* menu = nullptr;
    factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init));
    init->Initialize(nullptr, const_cast<pivora::testing::DropDataObject*>(&selection), nullptr);
    init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu));
    const HMENU shellMenu = CreatePopupMenu();
    menu->QueryContextMenu(shellMenu, 0, 1, 100, CMF_NORMAL);
    CMINVOKECOMMANDINFO info{};
    info.cbSize = sizeof(info);
    info.lpVerb = MAKEINTRESOURCEA(offset);
    menu->InvokeCommand(&info);
    DestroyMenu(shellMenu);
    menu->Release();
    init->Release();
  };
  const auto packInUse = [] {
    return pivora::testing::StoredPointer(L"Arrow").find(L"Green Sample") != std::wstring::npos;
  };

  std::vector<Way> ways = {{"Install Cursor Pack, through the menu", {}},
                           {"setupapi InstallHinfSection, in process", {}},
                           {"rundll32 setupapi,InstallHinfSection", {}},
                           {"Uninstall Cursor Pack, through the menu", {}}};
  constexpr std::size_t kUninstall = 3;
  // Each round ends with the pack uninstalled, so each round's first install is a first one.
  for (int round = 0; round < kRounds; ++round) {
    for (std::size_t way = 0; way < ways.size(); ++way) {
      pivora::testing::ClearPointerSettings();
      // The uninstall is timed over a pack installed just before, untimed.
      if (way == kUninstall) chooseFromMenu(0);
      ways[way].times.push_back(Time([&] {
        if (way == 0) {
          chooseFromMenu(0);
        } else if (way == 1) {
          installHinfSection(nullptr, nullptr, section.c_str(), 0);
        } else if (way == 2) {
          pivora::testing::RunToEnd(verb);
        } else {
          chooseFromMenu(1);
        }
      }));
      if (packInUse() != (way != kUninstall)) ways[way].appliedEveryTime = false;
    }
  }
  factory->Release();
  const double ours = Median(ways[0].times);
  std::printf(
      "Installing and uninstalling a cursor pack of 15 files, %d interleaved rounds, "
      "medians:\n",
      kRounds);
  std::printf("  %-42s %9s %8s  %s\n", "way", "ms", "x ours", "pointers changed");
  for (const Way& way : ways) {
    const double median = Median(way.times);
    std::printf("  %-42s %9.2f %8.2f  %s\n", way.name, median, median / ours,
                way.appliedEveryTime ? "yes" : "no");
  }
  FreeLibrary(setupapi);
  FreeLibrary(module);
  std::error_code ignored;
  fs::remove_all(folder.parent_path(), ignored);
  return 0;
}

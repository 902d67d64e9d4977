// Applying a scheme of 15 roles, measured side by side in one run on this prefix:
//   - rundll32 Pivora.dll,ApplySet <scheme.crs>, as the "apply" verb runs it;
//   - reg import of an equivalent .reg file;
//   - an equivalent INF cursor pack, rundll32 setupapi,InstallHinfSection DefaultInstall 128;
//   - the floor: rundll32 calling an entry of a tiny library that does nothing;
// then, inside this process, ApplySetW itself, loading the library, and making a handler ready
// for its menu (DllGetClassObject, CreateInstance, Initialize). Each way writes the same 15
// values from the same pointer files; the settings are cleared before every run (untimed) and
// checked after it. Medians of interleaved rounds; ratios against the floor and against ours.
// It changes the prefix's pointer settings: run it in a prefix of its own.
#include <windows.h>

#include <shlobj.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
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

constexpr int kRounds = 15;
constexpr int kInProcessRuns = 200;
constexpr CLSID kHandlerClass = {
    0x3A7C52E1, 0x9D04, 0x4B8E, {0xA6, 0xF3, 0x1C, 0x2D, 0x8E, 0x90, 0x5B, 0x47}};

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }
std::string Narrow(const std::wstring& ascii) { return std::string(ascii.begin(), ascii.end()); }

// The three peers' files, written from one scheme: every role names its sample pointer.
struct SchemeFiles {
  fs::path crs, reg, inf;
  std::wstring arrow;  // what every way must leave for Arrow
};

std::string RegHex(const std::wstring& text) {
  std::string hex;
  char byte[4];
  for (wchar_t c : text + L'\0') {
    for (int shift : {0, 8}) {
      std::snprintf(byte, sizeof(byte), "%02x", (static_cast<unsigned>(c) >> shift) & 0xFF);
      hex += (hex.empty() ? "" : ",") + std::string(byte);
    }
  }
  return hex;
}

SchemeFiles WriteSchemeFiles(const fs::path& folder) {
  pivora::pointer_files::WriteSamplePointers(folder / L"Blue");
  SchemeFiles files{folder / L"Blue.crs", folder / L"Blue.reg", folder / L"Blue.inf", {}};
  std::string crs = "\xEF\xBB\xBF";
  std::string reg =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Control "
      "Panel\\Cursors]\r\n";
  std::string inf =
      "[Version]\r\nSignature=\"$CHICAGO$\"\r\n\r\n[DefaultInstall]\r\n"
      "AddReg=Scheme.Cursors\r\n\r\n[Scheme.Cursors]\r\n";
  for (const auto& sample : pivora::pointer_files::SamplePointers()) {
    const std::wstring path = (folder / L"Blue" / Wide(sample.file_name)).wstring();
    if (sample.value_name == "Arrow") files.arrow = path;
    crs += "[" + sample.value_name + "]\r\nPath=Blue\\" + sample.file_name + "\r\n\r\n";
    reg += "\"" + sample.value_name + "\"=hex(2):" + RegHex(path) + "\r\n";
    // 0x00020000: the value is REG_EXPAND_SZ, as the pointer settings are.
    inf += "HKCU,\"Control Panel\\Cursors\"," + sample.value_name + ",0x00020000,\"" +
           Narrow(path) + "\"\r\n";
  }
  std::ofstream(files.crs, std::ios::binary) << crs << '\0';
  // .reg files are UTF-16 with a byte order mark.
  std::wstring wideReg = L"\xFEFF" + Wide(reg);
  std::ofstream(files.reg, std::ios::binary)
      .write(reinterpret_cast<const char*>(wideReg.data()),
             static_cast<std::streamsize>(wideReg.size() * sizeof(wchar_t)));
  std::ofstream(files.inf, std::ios::binary) << inf;
  return files;
}

struct Way {
  const char* name;
  std::wstring command;
  std::vector<double> times;
  int wrong = 0;
};

}  // namespace

int main() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const fs::path here = fs::path(self).parent_path();
  const fs::path library = here / L"Pivora.dll";
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const fs::path folder = fs::path(temp) / L"pivora-apply-bench";
  const SchemeFiles files = WriteSchemeFiles(folder);

  std::vector<Way> ways = {
      {"floor: rundll32, empty entry",
       L"rundll32.exe " + (here / L"bench_floor.dll").wstring() + L",Nothing",
       {}},
      {"rundll32 Pivora.dll,ApplySet",
       L"rundll32.exe " + library.wstring() + L",ApplySet " + files.crs.wstring(),
       {}},
      {"reg import (.reg file)", L"reg.exe import " + files.reg.wstring(), {}},
      {"INF cursor pack (setupapi)",
       L"rundll32.exe setupapi.dll,InstallHinfSection DefaultInstall 128 " + files.inf.wstring(),
       {}},
  };
  for (int round = 0; round < kRounds; ++round) {
    for (Way& way : ways) {
      pivora::testing::ClearPointerSettings();
      way.times.push_back(Time([&] { pivora::testing::RunToEnd(way.command); }));
      const bool isFloor = &way == &ways.front();
      if (pivora::testing::StoredPointer(L"Arrow") != (isFloor ? L"<absent>" : files.arrow))
        ++way.wrong;
    }
  }
  const double floor = Median(ways[0].times);
  const double ours = Median(ways[1].times);
  std::printf("Applying a scheme of 15 roles, %d interleaved rounds, medians:\n", kRounds);
  std::printf("  %-32s %9s %10s %10s %14s\n", "way", "ms", "x floor", "x ours", "ms over floor");
  for (const Way& way : ways) {
    const double median = Median(way.times);
    std::printf("  %-32s %9.2f %10.2f %10.2f %14.2f%s\n", way.name, median, median / floor,
                median / ours, median - floor, way.wrong ? "  (left wrong settings!)" : "");
  }

  // Inside the process. Loading is timed against the floor's library, which imports what
  // Pivora.dll imports at load, interleaved.
  const fs::path floorLibrary = here / L"bench_floor.dll";
  std::vector<double> loads;
  std::vector<double> floorLoads;
  for (int run = 0; run < 50; ++run) {
    for (const auto& [path, times] :
         {std::pair{&floorLibrary, &floorLoads}, std::pair{&library, &loads}}) {
      HMODULE module = nullptr;
      times->push_back(Time([&] { module = LoadLibraryW(path->c_str()); }));
      FreeLibrary(module);
    }
  }
  const HMODULE module = LoadLibraryW(library.c_str());
  auto* applySetW = reinterpret_cast<void(CALLBACK*)(HWND, HINSTANCE, wchar_t*, int)>(
      reinterpret_cast<void*>(GetProcAddress(module, "ApplySetW")));
  auto* getClassObject = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  std::vector<double> applies;
  std::wstring line = files.crs.wstring();
  for (int run = 0; run < kInProcessRuns; ++run) {
    pivora::testing::ClearPointerSettings();
    applies.push_back(Time([&] { applySetW(nullptr, nullptr, line.data(), SW_SHOW); }));
  }
  const bool applied = pivora::testing::StoredPointer(L"Arrow") == files.arrow;
  pivora::testing::DropDataObject selection({files.arrow});
  std::vector<double> readies;
  for (int run = 0; run < kInProcessRuns; ++run) {
    IClassFactory* factory = nullptr;
    IShellExtInit* init = nullptr;
    readies.push_back(Time([&] {
      getClassObject(kHandlerClass, IID_IClassFactory, reinterpret_cast<void**>(&factory));
      factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init));
      init->Initialize(nullptr, &selection, nullptr);
    }));
    init->Release();
    factory->Release();
  }
  FreeLibrary(module);
  std::printf("\nInside the process, medians of %d runs:\n", kInProcessRuns);
  std::printf(
      "  ApplySetW, 15 roles:                            %8.3f ms%s (x %.0f faster than "
      "through rundll32)\n",
      Median(applies), applied ? "" : " (left wrong settings!)", ours / Median(applies));
  std::printf("  DllGetClassObject + CreateInstance + Initialize: %8.3f ms\n", Median(readies));
  std::printf("  LoadLibrary of Pivora.dll (50 runs):             %8.3f ms\n", Median(loads));
  std::printf("  LoadLibrary of the floor's library (50 runs):    %8.3f ms (Pivora.dll %+.3f ms)\n",
              Median(floorLoads), Median(loads) - Median(floorLoads));
  pivora::testing::ClearPointerSettings();
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  return 0;
}

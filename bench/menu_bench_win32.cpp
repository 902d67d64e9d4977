// Times one full QueryContextMenu of the library's handler (15 pointer previews and the glyph)
// inside the process, as the file manager calls it: for a new handler (bitmaps created) and for
// one that has built its menu before (bitmaps redrawn in place); and, interleaved with the first,
// thumbnails of a scheme naming 15 pointer files at 96, 256 and 1024 pixels (a new provider each
// time, as the file manager makes one per file), then schemes a hostile file would be at 256
// pixels. Prints the medians, the thumbnails as ratios to the new menu and the hostile ones as
// ratios to the plain 256-pixel thumbnail. Last, the pack handler's menu of a selection of 1,000
// pointer files against the role menu of one of them, each a new handler given the selection,
// interleaved: QueryContextMenu alone, and with Initialize (reading the selection) before it.
#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include <propsys.h>
#include <thumbcache.h>

#include <fstream>
#include <string>

#include "bench/timing.h"
#include "platform/unique_handle_win32.h"
#include "shellext/gdi.h"
#include "tools/pointer_files.h"
#include "tools/shell_objects.h"

namespace {

using pivora::UniqueBitmap;
using pivora::UniqueCom;

using pivora::bench::Median;
using pivora::bench::Milliseconds;

constexpr CLSID kHandlerClass = {
    0x3A7C52E1, 0x9D04, 0x4B8E, {0xA6, 0xF3, 0x1C, 0x2D, 0x8E, 0x90, 0x5B, 0x47}};
constexpr CLSID kThumbnailClass = {
    0x5C1E7B39, 0x8A42, 0x4F6D, {0xB3, 0xC8, 0x0E, 0x9D, 0x2A, 0x7F, 0x4B, 0x15}};
constexpr CLSID kPackClass = {
    0x8D2F4A61, 0x3B7E, 0x4C95, {0x9E, 0x1A, 0x52, 0xC7, 0xF0, 0xB3, 0xD6, 0x48}};
constexpr IID kThumbnailProvider = {
    0xe357fccd, 0xa995, 0x4576, {0xb0, 0x1f, 0x23, 0x46, 0x30, 0x15, 0x4e, 0x96}};
constexpr IID kInitializeWithFile = {
    0xb7d14566, 0x0509, 0x4cce, {0xa7, 0x1f, 0x0a, 0x55, 0x42, 0x33, 0xbd, 0x9b}};
constexpr int kRuns = 200;

std::filesystem::path Folder() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  return std::filesystem::path(temp) / L"pivora-menu-bench";
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A scheme in the bench's folder whose roles name `entries` in order (a role past the last
// entry is left out), with more text after them.
std::wstring WriteScheme(const std::wstring& name, const std::vector<std::string>& entries,
                         const std::string& more = "") {
  std::string text = "\xEF\xBB\xBF";
  const auto samples = pivora::pointer_files::SamplePointers();
  for (std::size_t role = 0; role < entries.size() && role < samples.size(); ++role) {
    text += "[" + samples[role].value_name + "]\r\nPath=" + entries[role] + "\r\n";
  }
  const std::filesystem::path scheme = Folder() / name;
  WriteBytes(scheme, text + more);
  return scheme.wstring();
}

struct Scheme {
  const char* what;
  std::wstring path;
};

// The 15 sample pointers, and schemes that a hostile file would be: each case of reading
// without bound, and one that mixes them with paths elsewhere and files that crash the system's
// own loader.
std::vector<Scheme> WriteSchemes() {
  const std::filesystem::path folder = Folder();
  pivora::pointer_files::WriteSamplePointers(folder / L"Blue");
  std::vector<std::string> samples;
  for (const auto& sample : pivora::pointer_files::SamplePointers()) {
    samples.push_back("Blue\\" + sample.file_name);
  }
  std::vector<Scheme> schemes = {{"15 sample pointers", WriteScheme(L"Blue.crs", samples)}};

  std::string lines;
  while (lines.size() < (15u << 20)) lines += "[Arrow]\r\nPath=%PATH%\r\n";
  schemes.push_back({"15 MiB of Arrow=%PATH% lines", WriteScheme(L"path.crs", {}, lines)});
  std::string percents;
  for (int i = 0; i < 32; ++i) percents += "%PATH%";
  schemes.push_back({"1 MiB: 15 roles of 32 x %PATH%, then padding",
                     WriteScheme(L"paths.crs", std::vector<std::string>(15, percents),
                                 std::string((1u << 20) - 15 * 220, ';'))});
  schemes.push_back(
      {"1 MiB: 15 roles of 32,767 units of %%",
       WriteScheme(L"percent.crs", std::vector<std::string>(15, std::string(32766, '%')),
                   std::string((1u << 20) - 15 * 32790, ';'))});

  pivora::pointer_files::Animation many;
  const auto arrow = pivora::pointer_files::SamplePointers()[0].drawing.frames[0];
  many.frames.assign(5000, arrow);
  many.hotspot = {1, 1};
  const auto ani = pivora::pointer_files::AnimatedCursorFile(many);
  WriteBytes(folder / L"many.ani", std::string(ani.begin(), ani.end()));
  schemes.push_back({"a 5,000-frame .ani for every role",
                     WriteScheme(L"many.crs", std::vector<std::string>(15, "many.ani"))});

  // Fifteen distinct cursors of one 32-bit image each: of the largest side decoded (256
  // pixels), and of 1,000 pixels (4 MB, as large as a file whose image is drawn may be).
  for (const std::uint32_t side : {256u, 1000u}) {
    std::vector<std::string> large;
    for (int file = 0; file < 15; ++file) {
      const std::uint32_t image = 40 + side * side * 4 + (side + 31) / 32 * 4 * side;
      std::string bytes("\0\0\2\0\1\0\0\0\0\0\0\0\0\0", 14);
      for (const std::uint32_t field : {image, 22u, 40u, side, 2 * side}) {
        bytes.append(reinterpret_cast<const char*>(&field), 4);
      }
      bytes.append("\1\0\x20\0", 4);
      bytes.resize(22 + 40, '\0');
      bytes.resize(22 + image, static_cast<char>(0x40 + file));
      const std::wstring name =
          L"large" + std::to_wstring(side) + L"-" + std::to_wstring(file) + L".cur";
      WriteBytes(folder / name, bytes);
      large.push_back(std::string(name.begin(), name.end()));
    }
    schemes.push_back(
        {side == 256 ? "15 distinct 256-pixel images" : "15 distinct 1,000-pixel images",
         WriteScheme(L"large" + std::to_wstring(side) + L".crs", large)});
  }

  // An image header that says one pixel high: 326 bytes.
  std::string flat("\0\0\2\0\1\0\x08\x08\0\0\0\0\0\0\x30\x01\0\0\x16\0\0\0", 22);
  flat += std::string("\x28\0\0\0\x08\0\0\0\x01\0\0\0\x01\0\x20\0", 16);
  flat.resize(22 + 40, '\0');
  flat.resize(326, '\x40');
  WriteBytes(folder / L"flat.cur", flat);
  schemes.push_back(
      {"a mix: elsewhere, devices, the .ani, a crashing file, %%",
       WriteScheme(L"mix.crs",
                   {"\\\\host\\share\\x.cur", "%PATH%", "\\\\?\\UNC\\host\\share\\x.cur", "CON",
                    "C:\\x\\nul.cur", "many.ani", "flat.cur", std::string(32766, '%'), percents,
                    "Blue\\Arrow.cur", "many.ani", "flat.cur", "Blue\\Hand.cur",
                    "\\\\host@SSL\\DavWWWRoot\\x.cur", "many.ani"})});
  return schemes;
}

double TimeThumbnail(IClassFactory* factory, const std::wstring& scheme, UINT size = 256) {
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  {
    UniqueCom<IInitializeWithFile> init;
    factory->CreateInstance(nullptr, kInitializeWithFile, init.put());
    init->Initialize(scheme.c_str(), STGM_READ);
    UniqueCom<IThumbnailProvider> provider;
    init->QueryInterface(kThumbnailProvider, provider.put());
    UniqueBitmap bitmap;
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
    provider->GetThumbnail(size, bitmap.put(), &alpha);
  }  // released before the clock stops: part of what a thumbnail costs
  QueryPerformanceCounter(&end);
  return Milliseconds(start, end);
}

double TimeMenu(IContextMenu* menu) {
  const HMENU shellMenu = CreatePopupMenu();
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  menu->QueryContextMenu(shellMenu, 0, 1, 100, CMF_NORMAL);
  QueryPerformanceCounter(&end);
  DestroyMenu(shellMenu);
  return Milliseconds(start, end);
}

struct MenuTimes {
  double query = 0;        // QueryContextMenu
  double withReading = 0;  // Initialize, then QueryContextMenu
  int items = 0;
};

// One menu of a new handler for the selection `data`, as the file manager asks for it.
MenuTimes TimeSelectionMenu(IClassFactory* factory, IDataObject* data) {
  UniqueCom<IShellExtInit> init;
  factory->CreateInstance(nullptr, IID_IShellExtInit, init.put());
  UniqueCom<IContextMenu> menu;
  init->QueryInterface(IID_IContextMenu, menu.put());
  const HMENU shellMenu = CreatePopupMenu();
  LARGE_INTEGER start, read, end;
  QueryPerformanceCounter(&start);
  init->Initialize(nullptr, data, nullptr);
  QueryPerformanceCounter(&read);
  menu->QueryContextMenu(shellMenu, 0, 1, 100, CMF_NORMAL);
  QueryPerformanceCounter(&end);
  MenuTimes times{Milliseconds(read, end), Milliseconds(start, end), GetMenuItemCount(shellMenu)};
  DestroyMenu(shellMenu);
  return times;
}

// 1,000 names of one folder, as the shell hands a selection over (the handler reads none of the
// files to build its menu).
std::vector<std::wstring> SelectedNames() {
  std::vector<std::wstring> names;
  for (int file = 0; file < 1000; ++file) {
    names.push_back(
        (Folder() / L"Selected" / (L"pointer " + std::to_wstring(file) + L".cur")).wstring());
  }
  return names;
}

// One sample pointer, for the role menu.
std::wstring SamplePath() { return (Folder() / L"Blue" / L"Arrow.cur").wstring(); }

}  // namespace

int main() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const auto library = std::filesystem::path(self).parent_path() / L"Pivora.dll";
  const HMODULE module = LoadLibraryW(library.c_str());
  if (module == nullptr) {
    std::fprintf(stderr, "cannot load %ls\n", library.c_str());
    return 1;
  }
  using GetClassObject = HRESULT STDAPICALLTYPE(REFCLSID, REFIID, void**);
  auto* getClassObject = reinterpret_cast<GetClassObject*>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  UniqueCom<IClassFactory> factory;
  if (getClassObject(kHandlerClass, IID_IClassFactory, factory.put()) != S_OK) return 1;
  UniqueCom<IClassFactory> thumbnails;
  if (getClassObject(kThumbnailClass, IID_IClassFactory, thumbnails.put()) != S_OK) return 1;
  const std::vector<Scheme> schemes = WriteSchemes();
  const std::wstring& scheme = schemes[0].path;
  constexpr UINT kSizes[] = {96, 256, 1024};
  std::vector<double> fresh;
  std::vector<double> again;
  std::vector<double> pictures[std::size(kSizes)];
  for (int run = 0; run < kRuns; ++run) {
    {
      UniqueCom<IContextMenu> menu;
      factory->CreateInstance(nullptr, IID_IContextMenu, menu.put());
      fresh.push_back(TimeMenu(menu.get()));
      again.push_back(TimeMenu(menu.get()));
    }
    for (std::size_t size = 0; size < std::size(kSizes); ++size) {
      pictures[size].push_back(TimeThumbnail(thumbnails.get(), scheme, kSizes[size]));
    }
  }
  // Each hostile scheme interleaved with the plain one.
  constexpr int kHostileRuns = 20;
  std::vector<double> plain;
  std::vector<std::vector<double>> hostile(schemes.size());
  for (int run = 0; run < kHostileRuns; ++run) {
    for (std::size_t i = 1; i < schemes.size(); ++i) {
      plain.push_back(TimeThumbnail(thumbnails.get(), scheme));
      hostile[i].push_back(TimeThumbnail(thumbnails.get(), schemes[i].path));
    }
  }
  UniqueCom<IClassFactory> packs;
  if (getClassObject(kPackClass, IID_IClassFactory, packs.put()) != S_OK) return 1;
  pivora::testing::DropDataObject selection(SelectedNames());
  pivora::testing::DropDataObject oneFile(std::vector<std::wstring>{SamplePath()});
  std::vector<MenuTimes> packMenus;
  std::vector<MenuTimes> roleMenus;
  for (int run = 0; run < kRuns; ++run) {
    packMenus.push_back(TimeSelectionMenu(packs.get(), &selection));
    roleMenus.push_back(TimeSelectionMenu(factory.get(), &oneFile));
  }
  if (packMenus.front().items != 1 || roleMenus.front().items != 1) {
    std::fprintf(stderr, "the menus are not as expected: %d and %d items\n",
                 packMenus.front().items, roleMenus.front().items);
    return 1;
  }
  const auto median = [](const std::vector<MenuTimes>& menus, double MenuTimes::*part) {
    std::vector<double> times;
    for (const MenuTimes& menu : menus) times.push_back(menu.*part);
    return Median(times);
  };
  packs.reset();
  thumbnails.reset();
  factory.reset();
  std::printf("QueryContextMenu, new handler:   median %.3f ms over %d runs\n", Median(fresh),
              kRuns);
  std::printf("QueryContextMenu, second menu:   median %.3f ms over %d runs\n", Median(again),
              kRuns);
  for (std::size_t size = 0; size < std::size(kSizes); ++size) {
    std::printf("Thumbnail, %4u px, 15 pointers: median %.3f ms over %d runs (%.2f x a new menu)\n",
                kSizes[size], Median(pictures[size]), kRuns,
                Median(pictures[size]) / Median(fresh));
  }
  std::printf(
      "Hostile schemes at 256 px, %d runs each, interleaved with the plain one "
      "(median %.3f ms):\n",
      kHostileRuns, Median(plain));
  for (std::size_t i = 1; i < schemes.size(); ++i) {
    std::printf("  %-58s median %8.3f ms (%.2f x the plain thumbnail)\n", schemes[i].what,
                Median(hostile[i]), Median(hostile[i]) / Median(plain));
  }
  std::printf(
      "A selection of 1,000 pointer files, \"Install Cursor Pack\", against the role menu of one "
      "file,\n%d runs each, interleaved, a new handler each time:\n",
      kRuns);
  for (const auto& [what, part] :
       {std::pair{"QueryContextMenu", &MenuTimes::query},
        std::pair{"Initialize + QueryContextMenu", &MenuTimes::withReading}}) {
    std::printf("  %-30s median %.3f ms against %.3f ms (%.2f x)\n", what, median(packMenus, part),
                median(roleMenus, part), median(packMenus, part) / median(roleMenus, part));
  }
  FreeLibrary(module);
  return 0;
}

// Times one full QueryContextMenu of the library's handler (15 pointer previews and the glyph)
// inside the process, as the file manager calls it: for a new handler (bitmaps created) and for
// one that has built its menu before (bitmaps redrawn in place). Prints the medians.
#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "bench/timing.h"

namespace {

using pivora::bench::Median;
using pivora::bench::Milliseconds;

constexpr CLSID kHandlerClass = {
    0x3A7C52E1, 0x9D04, 0x4B8E, {0xA6, 0xF3, 0x1C, 0x2D, 0x8E, 0x90, 0x5B, 0x47}};
constexpr int kRuns = 200;

double TimeMenu(IContextMenu* menu) {
  const HMENU shellMenu = CreatePopupMenu();
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  menu->QueryContextMenu(shellMenu, 0, 1, 100, CMF_NORMAL);
  QueryPerformanceCounter(&end);
  DestroyMenu(shellMenu);
  return Milliseconds(start, end);
}

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
  IClassFactory* factory = nullptr;
  if (getClassObject(kHandlerClass, IID_IClassFactory, reinterpret_cast<void**>(&factory)) !=
      S_OK) {
    return 1;
  }
  std::vector<double> fresh;
  std::vector<double> again;
  for (int run = 0; run < kRuns; ++run) {
    IContextMenu* menu = nullptr;
    factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu));
    fresh.push_back(TimeMenu(menu));
    again.push_back(TimeMenu(menu));
    menu->Release();
  }
  factory->Release();
  std::printf("QueryContextMenu, new handler:   median %.3f ms over %d runs\n", Median(fresh),
              kRuns);
  std::printf("QueryContextMenu, second menu:   median %.3f ms over %d runs\n", Median(again),
              kRuns);
  FreeLibrary(module);
  return 0;
}

// Times one full QueryContextMenu of the library's handler (15 pointer previews and the glyph)
// inside the process, as the file manager calls it: for a new handler (bitmaps created) and for
// one that has built its menu before (bitmaps redrawn in place); and, interleaved with the first,
// one 256-pixel thumbnail of a scheme naming 15 pointer files (a new provider each time, as the
// file manager makes one per file). Prints the medians and the thumbnail's ratio to the menu.
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
#include "tools/pointer_files.h"

namespace {

using pivora::bench::Median;
using pivora::bench::Milliseconds;

constexpr CLSID kHandlerClass = {
    0x3A7C52E1, 0x9D04, 0x4B8E, {0xA6, 0xF3, 0x1C, 0x2D, 0x8E, 0x90, 0x5B, 0x47}};
constexpr CLSID kThumbnailClass = {
    0x5C1E7B39, 0x8A42, 0x4F6D, {0xB3, 0xC8, 0x0E, 0x9D, 0x2A, 0x7F, 0x4B, 0x15}};
constexpr IID kThumbnailProvider = {
    0xe357fccd, 0xa995, 0x4576, {0xb0, 0x1f, 0x23, 0x46, 0x30, 0x15, 0x4e, 0x96}};
constexpr IID kInitializeWithFile = {
    0xb7d14566, 0x0509, 0x4cce, {0xa7, 0x1f, 0x0a, 0x55, 0x42, 0x33, 0xbd, 0x9b}};
constexpr int kRuns = 200;

// A scheme naming the 15 sample pointers, written beside them in the temporary folder.
std::wstring WriteScheme() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::filesystem::path folder = std::filesystem::path(temp) / L"pivora-menu-bench";
  pivora::pointer_files::WriteSamplePointers(folder / L"Blue");
  std::string text = "\xEF\xBB\xBF";
  for (const auto& sample : pivora::pointer_files::SamplePointers()) {
    text += "[" + sample.value_name + "]\r\nPath=Blue\\" + sample.file_name + "\r\n";
  }
  const std::filesystem::path scheme = folder / L"Blue.crs";
  std::ofstream(scheme, std::ios::binary) << text;
  return scheme.wstring();
}

double TimeThumbnail(IClassFactory* factory, const std::wstring& scheme) {
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  IInitializeWithFile* init = nullptr;
  factory->CreateInstance(nullptr, kInitializeWithFile, reinterpret_cast<void**>(&init));
  init->Initialize(scheme.c_str(), STGM_READ);
  IThumbnailProvider* provider = nullptr;
  init->QueryInterface(kThumbnailProvider, reinterpret_cast<void**>(&provider));
  HBITMAP bitmap = nullptr;
  WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
  provider->GetThumbnail(256, &bitmap, &alpha);
  DeleteObject(bitmap);
  provider->Release();
  init->Release();
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
  IClassFactory* thumbnails = nullptr;
  if (getClassObject(kThumbnailClass, IID_IClassFactory, reinterpret_cast<void**>(&thumbnails)) !=
      S_OK) {
    return 1;
  }
  const std::wstring scheme = WriteScheme();
  std::vector<double> fresh;
  std::vector<double> again;
  std::vector<double> pictures;
  for (int run = 0; run < kRuns; ++run) {
    IContextMenu* menu = nullptr;
    factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu));
    fresh.push_back(TimeMenu(menu));
    again.push_back(TimeMenu(menu));
    menu->Release();
    pictures.push_back(TimeThumbnail(thumbnails, scheme));
  }
  thumbnails->Release();
  factory->Release();
  std::printf("QueryContextMenu, new handler:   median %.3f ms over %d runs\n", Median(fresh),
              kRuns);
  std::printf("QueryContextMenu, second menu:   median %.3f ms over %d runs\n", Median(again),
              kRuns);
  std::printf("Thumbnail, 256 px, 15 pointers:  median %.3f ms over %d runs (%.2f x a new menu)\n",
              Median(pictures), kRuns, Median(pictures) / Median(fresh));
  FreeLibrary(module);
  return 0;
}

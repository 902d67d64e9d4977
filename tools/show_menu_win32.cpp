// A stand-in for the file manager: loads Pivora.dll, creates its handler for one cursor file,
// prints the menu it adds with each item's help text, then chooses one role item.
// Usage: show_menu <cursor file> <role offset 0-14> [picture.png]
#include <windows.h>

#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tools/images.h"

namespace {

constexpr CLSID kHandlerClass = {
    0x3A7C52E1, 0x9D04, 0x4B8E, {0xA6, 0xF3, 0x1C, 0x2D, 0x8E, 0x90, 0x5B, 0x47}};

// The shell's own data object for one file.
IDataObject* DataObjectFor(const std::wstring& path) {
  PIDLIST_ABSOLUTE item = nullptr;
  if (SHParseDisplayName(path.c_str(), nullptr, &item, 0, nullptr) != S_OK) return nullptr;
  IShellFolder* folder = nullptr;
  PCUITEMID_CHILD child = nullptr;
  IDataObject* data = nullptr;
  if (SHBindToParent(item, IID_IShellFolder, reinterpret_cast<void**>(&folder), &child) == S_OK) {
    folder->GetUIObjectOf(nullptr, 1, &child, IID_IDataObject, nullptr,
                          reinterpret_cast<void**>(&data));
    folder->Release();
  }
  CoTaskMemFree(item);
  return data;
}

// Output is UTF-8 whatever the console's code page, so Czech texts arrive whole.
void Print(const std::wstring& line) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, utf8.data(), bytes, nullptr, nullptr);
  std::fwrite(utf8.data(), 1, utf8.size() - 1, stdout);
  std::fputc('\n', stdout);
}

std::wstring Padded(std::wstring text, std::size_t width) {
  if (text.size() < width) text.resize(width, L' ');
  return text;
}

std::wstring HelpText(IContextMenu* menu, UINT offset) {
  wchar_t text[260] = {};
  menu->GetCommandString(offset, GCS_HELPTEXTW, nullptr, reinterpret_cast<CHAR*>(text), 260);
  return text;
}

void PrintItem(IContextMenu* menu, HMENU owner, int position, UINT first,
               const std::wstring& indent) {
  wchar_t text[256] = {};
  MENUITEMINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING | MIIM_CHECKMARKS;
  info.dwTypeData = text;
  info.cch = 256;
  GetMenuItemInfoW(owner, static_cast<UINT>(position), TRUE, &info);
  if (info.fType & MFT_SEPARATOR) {
    Print(indent + L"-----------");
    return;
  }
  Print(indent + (info.hbmpUnchecked != nullptr ? L"[picture] " : L"[       ] ") +
        Padded(text, 30) + L"  " + HelpText(menu, info.wID - first));
}

// Shows `menu` as the user would see it and saves a picture of it as a PNG file. Needs a
// display (a private X server under Wine). False when no picture could be taken.
bool SavePicture(HMENU menu, const std::wstring& path) {
  const HWND owner = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0,
                                     1, 1, nullptr, nullptr, nullptr, nullptr);
  if (owner == nullptr) return false;
  SetForegroundWindow(owner);
  bool saved = false;
  // The menu runs its own loop on this thread; another one waits for it, photographs it and
  // closes it.
  std::thread photographer([&] {
    const ULONGLONG deadline = GetTickCount64() + 10000;
    HWND shown = nullptr;
    while (shown == nullptr && GetTickCount64() < deadline) {
      shown = FindWindowW(L"#32768", nullptr);
      if (shown != nullptr && !IsWindowVisible(shown)) shown = nullptr;
      if (shown == nullptr) SwitchToThread();
    }
    if (shown == nullptr) return;
    RedrawWindow(shown, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASENOW);
    RECT area{};
    GetWindowRect(shown, &area);
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP canvas = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ previous = SelectObject(memory, canvas);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    GdiFlush();
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width) * height * 4);
    const auto* bgra = static_cast<const std::uint8_t*>(bits);
    for (std::size_t i = 0; i < rgba.size(); i += 4) {
      rgba[i] = bgra[i + 2];
      rgba[i + 1] = bgra[i + 1];
      rgba[i + 2] = bgra[i];
      rgba[i + 3] = 255;
    }
    SelectObject(memory, previous);
    DeleteObject(canvas);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    const std::vector<std::uint8_t> png = pivora::images::PngFile(width, height, rgba);
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    saved = static_cast<bool>(out);
    PostMessageW(owner, WM_CANCELMODE, 0, 0);
  });
  TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN, 8, 8, 0, owner, nullptr);
  photographer.join();
  DestroyWindow(owner);
  return saved;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: show_menu <cursor file> <role offset 0-14> [picture.png]\n");
    return 2;
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const HMODULE library =
      LoadLibraryW((std::filesystem::path(self).parent_path() / L"Pivora.dll").c_str());
  using GetClassObject = HRESULT STDAPICALLTYPE(REFCLSID, REFIID, void**);
  auto* getClassObject = reinterpret_cast<GetClassObject*>(
      reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
  IClassFactory* factory = nullptr;
  IShellExtInit* init = nullptr;
  IContextMenu* menu = nullptr;
  IDataObject* data = DataObjectFor(argv[1]);
  if (getClassObject == nullptr || data == nullptr ||
      getClassObject(kHandlerClass, IID_IClassFactory, reinterpret_cast<void**>(&factory)) !=
          S_OK ||
      factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init)) !=
          S_OK ||
      init->Initialize(nullptr, data, nullptr) != S_OK ||
      init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)) != S_OK) {
    std::fprintf(stderr, "the handler could not be set up for %ls\n", argv[1]);
    return 1;
  }
  const UINT first = 100;
  const HMENU shellMenu = CreatePopupMenu();
  const HRESULT built = menu->QueryContextMenu(shellMenu, 0, first, first + 50, CMF_NORMAL);
  Print(L"Context menu of " + std::wstring(argv[1]) + L" (" + std::to_wstring(HRESULT_CODE(built)) +
        L" identifiers):");
  PrintItem(menu, shellMenu, 0, first, L"  ");
  MENUITEMINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = MIIM_SUBMENU;
  GetMenuItemInfoW(shellMenu, 0, TRUE, &info);
  for (int position = 0; position < GetMenuItemCount(info.hSubMenu); ++position) {
    PrintItem(menu, info.hSubMenu, position, first, L"      ");
  }
  if (argc == 4) {
    const bool saved = SavePicture(info.hSubMenu, argv[3]);
    Print(std::wstring(saved ? L"Picture of the submenu: " : L"No picture could be taken: ") +
          argv[3]);
  }
  CMINVOKECOMMANDINFO command{};
  command.cbSize = sizeof(command);
  const int offset = std::wcstol(argv[2], nullptr, 10);
  command.lpVerb = MAKEINTRESOURCEA(offset);
  std::printf("\nChoosing item %d: result 0x%08lx\n", offset,
              static_cast<unsigned long>(menu->InvokeCommand(&command)));
  DestroyMenu(shellMenu);
  menu->Release();
  init->Release();
  data->Release();
  factory->Release();
  CoUninitialize();
  return 0;
}

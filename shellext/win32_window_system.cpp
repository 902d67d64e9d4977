// The window system bound to user32 and comdlg32, and the process's real seams.
#include <windows.h>

#include <commdlg.h>

#include "platform/win32_platform.h"
#include "shellext/shell_seams.h"

namespace pivora {
namespace {

HWND Window(WindowHandle handle) { return reinterpret_cast<HWND>(handle); }

class Win32WindowSystem final : public WindowSystem {
 public:
  PointerHandle LoadStockPointer(std::uint16_t systemCursorId) override {
    return reinterpret_cast<PointerHandle>(LoadCursorW(nullptr, MAKEINTRESOURCEW(systemCursorId)));
  }
  PointerHandle LoadPointerFile(std::u16string_view path) override {
    return reinterpret_cast<PointerHandle>(LoadCursorFromFileW(WideString(path).c_str()));
  }
  void DestroyPointer(PointerHandle pointer) override {
    DestroyCursor(reinterpret_cast<HCURSOR>(pointer));
  }

  std::optional<std::u16string> AskSavePath(WindowHandle owner, std::u16string_view initialFolder,
                                            std::u16string_view title, std::u16string_view filter,
                                            std::u16string_view extension) override {
    // Terminated copies: the filter keeps its inner zero units and gets the final one here.
    const std::wstring folder = WideString(initialFolder);
    const std::wstring caption = WideString(title);
    const std::wstring pairs = WideString(filter) + L'\0';
    const std::wstring defaultExtension = WideString(extension);
    wchar_t chosen[MAX_PATH] = {};
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = Window(owner);
    dialog.lpstrFilter = pairs.c_str();
    dialog.lpstrFile = chosen;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrInitialDir = folder.c_str();
    dialog.lpstrTitle = caption.c_str();
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    dialog.lpstrDefExt = defaultExtension.c_str();
    if (!GetSaveFileNameW(&dialog)) return std::nullopt;
    return std::u16string(reinterpret_cast<const char16_t*>(chosen));
  }

  void ShowMessage(WindowHandle owner, std::u16string_view text,
                   std::u16string_view caption) override {
    MessageBoxW(Window(owner), WideString(text).c_str(), WideString(caption).c_str(),
                MB_OK | MB_ICONERROR);
  }
};

}  // namespace

ShellSeams& Win32ShellSeams() {
  static Win32Registry registry;
  static Win32PointerReloader reloader;
  static Win32PathRules paths;
  static Win32WindowSystem windows;
  static ShellSeams seams{registry, reloader, paths, windows};
  return seams;
}

}  // namespace pivora

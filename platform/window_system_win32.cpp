// The window system bound to user32, comdlg32 and shell32.
#include <windows.h>

#include <commdlg.h>
#include <shlobj.h>

#include "platform/platform_win32.h"

namespace pivora {
namespace {

HWND Window(WindowHandle handle) { return reinterpret_cast<HWND>(handle); }

}  // namespace

PointerHandle Win32WindowSystem::LoadStockPointer(std::uint16_t systemCursorId) {
  return reinterpret_cast<PointerHandle>(LoadCursorW(nullptr, MAKEINTRESOURCEW(systemCursorId)));
}
PointerHandle Win32WindowSystem::LoadPointerFile(std::u16string_view path) {
  return reinterpret_cast<PointerHandle>(LoadCursorFromFileW(WideString(path).c_str()));
}
void Win32WindowSystem::DestroyPointer(PointerHandle pointer) {
  DestroyCursor(reinterpret_cast<HCURSOR>(pointer));
}

std::optional<std::u16string> Win32WindowSystem::AskSavePath(WindowHandle owner,
                                                             std::u16string_view initialFolder,
                                                             std::u16string_view title,
                                                             std::u16string_view filter,
                                                             std::u16string_view extension) {
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
  // The process's current folder stays where it was: the dialog would otherwise move it to the
  // folder saved in, and the file manager would hold that folder open.
  dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  dialog.lpstrDefExt = defaultExtension.c_str();
  if (!GetSaveFileNameW(&dialog)) return std::nullopt;
  return std::u16string(AsUtf16(chosen));
}

void Win32WindowSystem::ShowMessage(WindowHandle owner, std::u16string_view text,
                                    std::u16string_view caption, MessageKind kind) {
  MessageBoxW(Window(owner), WideString(text).c_str(), WideString(caption).c_str(),
              MB_OK | (kind == MessageKind::kWarning ? MB_ICONWARNING : MB_ICONERROR));
}

void Win32WindowSystem::NotifyAssociationsChanged() {
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

}  // namespace pivora

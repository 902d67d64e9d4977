// The window-system seam of the context-menu handler: pointers for the previews, the save
// dialog and the one failure message of the scheme export. The handler takes it as a reference
// so tests can record what it was asked and answer for the user; the Win32 binding is a line per
// call (LoadCursorW, LoadCursorFromFileW, DestroyCursor, GetSaveFileNameW, MessageBoxW,
// SHChangeNotify).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pivora {

using PointerHandle = std::uintptr_t;  // an HCURSOR; 0 is none
using WindowHandle = std::uintptr_t;   // an HWND; 0 is none

// What a message reports: a failure, or work done only in part.
enum class MessageKind { kError, kWarning };

class WindowSystem {
 public:
  virtual ~WindowSystem() = default;

  // The pointer the system shows for a stock id at this moment; shared, never destroyed.
  virtual PointerHandle LoadStockPointer(std::uint16_t systemCursorId) = 0;
  // A pointer loaded from a file, owned by the caller until DestroyPointer.
  virtual PointerHandle LoadPointerFile(std::u16string_view path) = 0;
  virtual void DestroyPointer(PointerHandle pointer) = 0;

  // The modal save dialog, opened in `initialFolder`: the chosen full path (with `extension`
  // added to a name typed without one, after asking before an existing file is replaced), or
  // nothing when cancelled or failed. `filter` holds display-name/pattern pairs separated by
  // zero units and ended by an empty string.
  virtual std::optional<std::u16string> AskSavePath(WindowHandle owner,
                                                    std::u16string_view initialFolder,
                                                    std::u16string_view title,
                                                    std::u16string_view filter,
                                                    std::u16string_view extension) = 0;
  // A message box modal to `owner`, with the icon of its kind.
  virtual void ShowMessage(WindowHandle owner, std::u16string_view text,
                           std::u16string_view caption, MessageKind kind) = 0;

  // Tells the file manager that file types' verbs, icons or handlers changed (SHChangeNotify
  // with SHCNE_ASSOCCHANGED).
  virtual void NotifyAssociationsChanged() = 0;
};

}  // namespace pivora

// A small stand-in for the file manager's side of context menus. Wine's own shell does not call
// menu handlers, so this is how the library is seen as a file manager sees it: handlers found
// through the registry, created through COM, given the shell's data object for the file, their
// items merged into one menu and chosen by identifier or by text. It knows nothing of any one
// handler.
#pragma once

#include <windows.h>

#include <shlobj.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/unique_handle_win32.h"

namespace pivora::host {

// A handler the registry names for a file, and where it was named.
struct HandlerEntry {
  CLSID clsid{};
  std::wstring key;   // the ContextMenuHandlers subkey, under HKEY_CLASSES_ROOT
  std::wstring name;  // the class's own name (the CLSID key's default value)
};

// The registry keys whose ContextMenuHandlers apply to `file`, in the order a file manager
// asks them: the file's type (the person's choice of program for the extension, else the type
// the extension names), then the extension's system associations.
std::vector<std::wstring> AssociationKeys(const std::wstring& file);

// Every handler those keys name, once each. A subkey is named by the handler's CLSID, or by a
// friendly name whose default value holds the CLSID; anything else is passed over.
std::vector<HandlerEntry> FindContextMenuHandlers(const std::wstring& file);

// The shell's own data object for one file (CF_HDROP with its path), or null.
UniqueCom<IDataObject> ShellDataObject(const std::wstring& file);
// The same for several files of one folder, as a selection in its view; null when one of them
// cannot be parsed.
UniqueCom<IDataObject> ShellDataObject(const std::vector<std::wstring>& files);

struct MenuItem {
  UINT id = 0;  // the identifier the menu returns when the item is chosen
  std::wstring text;
  bool separator = false;
  bool picture = false;  // carries a bitmap beside its text
  bool handled = false;  // the identifier lies in a handler's range
  std::wstring help;     // the owning handler's help text
  std::vector<MenuItem> submenu;
};

// A file's context menu as the handlers built it. Lives on one apartment-threaded thread.
class ContextMenu {
 public:
  // Creates, initialises and asks every handler of `file`. Handlers that fail any step are left
  // out and described in `problems`.
  explicit ContextMenu(const std::wstring& file, UINT flags = CMF_NORMAL);
  // The menu of a selection of several files of one folder (not empty): the handlers of the
  // first file's type, as of the item a person right-clicks, given every file.
  explicit ContextMenu(const std::vector<std::wstring>& files, UINT flags = CMF_NORMAL);
  ContextMenu(const ContextMenu&) = delete;
  ContextMenu& operator=(const ContextMenu&) = delete;
  ~ContextMenu();

  HMENU handle() const { return menu_; }
  const std::vector<HandlerEntry>& handlers() const { return entries_; }
  const std::vector<std::wstring>& problems() const { return problems_; }
  std::vector<MenuItem> Items() const;
  // The first and last identifier each handler took, in the order of handlers(); a handler that
  // added nothing took none (count 0, the last before the first).
  std::pair<UINT, UINT> RangeOf(std::size_t handler) const;
  UINT CountOf(std::size_t handler) const { return handlers_.at(handler).count; }

  // Chooses the item with this identifier, as a menu returns it: the owning handler runs the
  // command for its own offset. E_INVALIDARG when no handler owns the identifier.
  HRESULT Choose(UINT id, HWND owner) const;

 private:
  struct Handler {
    UniqueCom<IContextMenu> menu;
    UINT first = 0;
    UINT count = 0;
  };
  const Handler* Owner(UINT id) const;
  std::vector<MenuItem> ItemsOf(HMENU menu) const;

  HMENU menu_ = nullptr;
  std::vector<HandlerEntry> entries_;
  std::vector<Handler> handlers_;
  std::vector<std::wstring> problems_;
};

// The identifiers of the items a person could choose by this text: handlers' items, at any
// depth, whose text is `text` exactly (separators and items that open a submenu are not
// chosen). In menu order; more than one when several items read the same.
std::vector<UINT> IdsOfText(const std::vector<MenuItem>& items, const std::wstring& text);

// The menu as indented lines of text: identifier, picture marker, text and help text.
std::vector<std::wstring> Describe(const std::vector<MenuItem>& items);

// Shows `menu` with TrackPopupMenu, opens its first submenu when `openFirstSubmenu`, and saves
// a picture of what is on screen as a PNG file. Needs a display. False when none was taken.
bool PhotographMenu(HMENU menu, const std::wstring& png, bool openFirstSubmenu);

// The thumbnail of `file` as the file manager gets it: the ShellEx key of the thumbnail-provider
// interface names the class, under the first of the keys above that has one, created through COM,
// given the file's path and asked for a `size`-pixel picture, which is written to `png`.
// `handlerKey` tells where the class was found. S_OK when the picture was saved.
HRESULT SaveThumbnail(const std::wstring& file, UINT size, const std::wstring& png,
                      std::wstring& handlerKey);

// Plays the person at a save dialog the process is about to show: types `name` into it and
// confirms, and answers "Yes" to a question that follows (overwriting). Waits up to
// `patienceMs` for the dialog; the thread ends when the dialog has been answered.
class SaveDialogAnswer {
 public:
  SaveDialogAnswer(std::wstring name, DWORD patienceMs = 30000);
  SaveDialogAnswer(const SaveDialogAnswer&) = delete;
  SaveDialogAnswer& operator=(const SaveDialogAnswer&) = delete;
  ~SaveDialogAnswer();
  // Waits for the answer; true when a dialog was seen and answered.
  bool Finish();

 private:
  bool answered_ = false;  // before the worker, which sets it
  std::thread worker_;
};

// Plays the person at the message boxes the process shows while it lives: reads each one's text
// and presses OK, so that a command that tells something runs to its end without a person.
class MessageAnswers {
 public:
  MessageAnswers();
  MessageAnswers(const MessageAnswers&) = delete;
  MessageAnswers& operator=(const MessageAnswers&) = delete;
  ~MessageAnswers();
  // Stops watching; the texts of the boxes answered, in the order they came.
  std::vector<std::wstring> Finish();

 private:
  std::atomic<bool> stop_{false};
  std::vector<std::wstring> texts_;  // before the worker, which fills it
  std::thread worker_;
};

// Runs the verb of `file` through ShellExecuteEx, as a double click or a menu's static verb
// does, and waits for the process it starts. Returns the process's exit code in `exitCode`.
HRESULT RunVerb(const std::wstring& file, const std::wstring& verb, DWORD* exitCode);

}  // namespace pivora::host

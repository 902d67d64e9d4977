#include <windows.h>

#include <propsys.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <thumbcache.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <utility>

#include "platform/platform_win32.h"
#include "shellext/gdi.h"
#include "tools/images.h"
#include "tools/shell_host.h"

namespace pivora::host {
namespace {

// File managers hand out identifiers up to here; the rest is theirs.
constexpr UINT kFirstId = 1;
constexpr UINT kLastId = 0x7FFF;
constexpr wchar_t kHandlersKey[] = L"\\ShellEx\\ContextMenuHandlers";
constexpr wchar_t kMenuClass[] = L"#32768";
constexpr wchar_t kDialogClass[] = L"#32770";
constexpr int kFileNameCombo = 0x47C;  // cmb13, the OFN_EXPLORER save dialog
constexpr int kFileNameEdit = 0x480;   // edt1, old-style save dialog

// Keys are opened through the library's own registry binding, and owned as it owns them.
Win32Registry registry;

bool OpenClassesKey(const std::wstring& path, RegistryKey& key) {
  return registry.Open(root_key::kClassesRoot, AsUtf16(path.c_str()), key_access::kRead,
                       key.put()) == status::kSuccess;
}
HKEY Key(const RegistryKey& key) { return reinterpret_cast<HKEY>(key.get()); }

struct PidlFree {
  void operator()(ITEMIDLIST* pidl) const { CoTaskMemFree(pidl); }
};
using Pidl = std::unique_ptr<ITEMIDLIST, PidlFree>;

// A key's default string value; empty when the key or value is missing or not a string.
std::wstring DefaultText(HKEY root, const std::wstring& path) {
  DWORD bytes = 0;
  if (RegGetValueW(root, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
          ERROR_SUCCESS ||
      bytes < sizeof(wchar_t)) {
    return {};
  }
  std::wstring text(bytes / sizeof(wchar_t), L'\0');
  if (RegGetValueW(root, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, text.data(), &bytes) !=
      ERROR_SUCCESS) {
    return {};
  }
  text.resize(wcsnlen(text.c_str(), text.size()));
  return text;
}

// Only the braced form counts: a friendly name is never taken for a class.
bool ParseClsid(const std::wstring& text, CLSID& clsid) {
  return !text.empty() && text.front() == L'{' && IIDFromString(text.c_str(), &clsid) == S_OK;
}

std::wstring ClsidText(const CLSID& clsid) {
  wchar_t text[40] = {};
  StringFromGUID2(clsid, text, 40);
  return text;
}

// The file type the shell takes for a file: a person's "Always open with" choice (the ProgId of
// the extension's UserChoice) wins over the one the extension's key names.
std::wstring FileType(const std::wstring& file) {
  const std::wstring extension = PathFindExtensionW(file.c_str());
  if (extension.empty()) return {};
  const std::wstring choice =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\" + extension +
      L"\\UserChoice";
  wchar_t progId[256] = {};
  DWORD bytes = sizeof(progId) - sizeof(wchar_t);
  if (RegGetValueW(HKEY_CURRENT_USER, choice.c_str(), L"ProgId", RRF_RT_REG_SZ, nullptr, progId,
                   &bytes) == ERROR_SUCCESS &&
      progId[0] != L'\0') {
    return progId;
  }
  return DefaultText(HKEY_CLASSES_ROOT, extension);
}

// The file's association array as far as handlers go, most specific first: its file type, then
// its extension's system associations.
std::vector<std::wstring> AssociationElements(const std::wstring& file) {
  std::vector<std::wstring> elements;
  const std::wstring extension = PathFindExtensionW(file.c_str());
  if (extension.empty()) return elements;
  const std::wstring type = FileType(file);
  if (!type.empty()) elements.push_back(type);
  elements.push_back(L"SystemFileAssociations\\" + extension);
  return elements;
}

std::vector<std::wstring> SubkeyNames(HKEY key) {
  std::vector<std::wstring> names;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256] = {};
    DWORD length = 256;
    const LONG result =
        RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result == ERROR_SUCCESS) names.emplace_back(name, length);
  }
  return names;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

// The visible top-level windows of this process with the given class.
std::vector<HWND> VisibleWindows(const wchar_t* className) {
  struct Search {
    const wchar_t* className;
    std::vector<HWND> found;
  } search{className, {}};
  EnumWindows(
      [](HWND window, LPARAM context) -> BOOL {
        auto* s = reinterpret_cast<Search*>(context);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
            ClassOf(window) == s->className) {
          s->found.push_back(window);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

template <typename Condition>
bool WaitFor(Condition condition, DWORD patienceMs) {
  const ULONGLONG deadline = GetTickCount64() + patienceMs;
  while (!condition()) {
    if (GetTickCount64() > deadline) return false;
    Sleep(10);
  }
  return true;
}

// Saves what the windows show; the rest of their bounding box is painted white.
bool SaveWindowsPicture(const std::vector<HWND>& windows, const std::wstring& png) {
  std::vector<RECT> parts;
  RECT area{};
  for (HWND window : windows) {
    RECT part{};
    GetWindowRect(window, &part);
    UnionRect(&area, &area, &part);
    parts.push_back(part);
  }
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return false;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  const UniqueScreenDc screen(GetDC(nullptr));
  const UniqueMemoryDc memory(CreateCompatibleDC(screen.get()));
  const UniqueBitmap canvas(
      CreateDIBSection(memory.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  std::vector<std::uint8_t> rgba;
  if (canvas) {
    const Selection selected = Select(memory.get(), canvas.get());
    BitBlt(memory.get(), 0, 0, width, height, screen.get(), area.left, area.top, SRCCOPY);
    GdiFlush();
    rgba.resize(static_cast<std::size_t>(width) * height * 4);
    const auto* bgra = static_cast<const std::uint8_t*>(bits);
    for (std::size_t i = 0; i < rgba.size(); i += 4) {
      const auto pixel = static_cast<LONG>(i / 4);
      const POINT at{area.left + pixel % width, area.top + pixel / width};
      const bool shown = std::any_of(parts.begin(), parts.end(),
                                     [&](const RECT& part) { return PtInRect(&part, at); });
      rgba[i] = shown ? bgra[i + 2] : 255;
      rgba[i + 1] = shown ? bgra[i + 1] : 255;
      rgba[i + 2] = shown ? bgra[i] : 255;
      rgba[i + 3] = 255;
    }
  }
  if (rgba.empty()) return false;
  const std::vector<std::uint8_t> file = images::PngFile(width, height, rgba);
  std::ofstream out(std::filesystem::path(png), std::ios::binary);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  return static_cast<bool>(out);
}

void Press(HWND dialog, int button) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

}  // namespace

std::vector<std::wstring> AssociationKeys(const std::wstring& file) {
  std::vector<std::wstring> keys;
  for (const std::wstring& element : AssociationElements(file))
    keys.push_back(element + kHandlersKey);
  return keys;
}

std::vector<HandlerEntry> FindContextMenuHandlers(const std::wstring& file) {
  std::vector<HandlerEntry> found;
  for (const std::wstring& path : AssociationKeys(file)) {
    RegistryKey handlers(registry);
    if (!OpenClassesKey(path, handlers)) continue;
    for (const std::wstring& name : SubkeyNames(Key(handlers))) {
      HandlerEntry entry;
      entry.key = path + L"\\" + name;
      if (!ParseClsid(name, entry.clsid) &&
          !ParseClsid(DefaultText(HKEY_CLASSES_ROOT, entry.key), entry.clsid)) {
        continue;
      }
      const bool seen = std::any_of(found.begin(), found.end(), [&](const HandlerEntry& other) {
        return IsEqualCLSID(other.clsid, entry.clsid);
      });
      if (seen) continue;
      entry.name = DefaultText(HKEY_CLASSES_ROOT, L"CLSID\\" + ClsidText(entry.clsid));
      found.push_back(std::move(entry));
    }
  }
  return found;
}

UniqueCom<IDataObject> ShellDataObject(const std::vector<std::wstring>& files) {
  UniqueCom<IDataObject> data;
  if (files.empty()) return data;
  // The folder of the first file holds them all, as one folder view's selection.
  std::vector<Pidl> items;
  for (const std::wstring& file : files) {
    PIDLIST_ABSOLUTE parsed = nullptr;
    if (SHParseDisplayName(file.c_str(), nullptr, &parsed, 0, nullptr) != S_OK) return data;
    items.emplace_back(parsed);
  }
  UniqueCom<IShellFolder> folder;
  std::vector<PCUITEMID_CHILD> children;
  for (const Pidl& item : items) {
    UniqueCom<IShellFolder> parent;
    PCUITEMID_CHILD child = nullptr;
    if (SHBindToParent(item.get(), IID_IShellFolder, parent.put(), &child) != S_OK) return data;
    if (folder.get() == nullptr) folder = std::move(parent);
    children.push_back(child);
  }
  folder->GetUIObjectOf(nullptr, static_cast<UINT>(children.size()), children.data(),
                        IID_IDataObject, nullptr, data.put());
  return data;
}

UniqueCom<IDataObject> ShellDataObject(const std::wstring& file) {
  return ShellDataObject(std::vector<std::wstring>{file});
}

ContextMenu::ContextMenu(const std::wstring& file, UINT flags)
    : ContextMenu(std::vector<std::wstring>{file}, flags) {}

ContextMenu::ContextMenu(const std::vector<std::wstring>& files, UINT flags)
    : menu_(CreatePopupMenu()) {
  // The handlers of the focused item's type, the first file's, get the whole selection.
  const std::wstring& file = files.front();
  const std::vector<HandlerEntry> entries = FindContextMenuHandlers(file);
  if (entries.empty()) {
    problems_.push_back(L"no context-menu handler is registered for " + file);
    return;
  }
  const UniqueCom<IDataObject> data = ShellDataObject(files);
  PIDLIST_ABSOLUTE parsed = nullptr;
  if (data.get() == nullptr ||
      SHParseDisplayName(file.c_str(), nullptr, &parsed, 0, nullptr) != S_OK) {
    problems_.push_back(L"the shell has no data object for " + file);
    return;
  }
  const Pidl folder(parsed);
  ILRemoveLastID(folder.get());
  RegistryKey type(registry);
  const std::wstring typeName = FileType(file);
  if (!typeName.empty()) OpenClassesKey(typeName, type);

  UINT next = kFirstId;
  for (const HandlerEntry& entry : entries) {
    UniqueCom<IShellExtInit> init;
    Handler handler;
    HRESULT result =
        CoCreateInstance(entry.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, init.put());
    const wchar_t* step = L"CoCreateInstance";
    if (SUCCEEDED(result)) {
      step = L"Initialize";
      result = init->Initialize(folder.get(), data.get(), Key(type));
    }
    if (SUCCEEDED(result)) {
      step = L"QueryInterface(IContextMenu)";
      result = init->QueryInterface(IID_IContextMenu, handler.menu.put());
    }
    if (SUCCEEDED(result)) {
      step = L"QueryContextMenu";
      result = handler.menu->QueryContextMenu(menu_, static_cast<UINT>(GetMenuItemCount(menu_)),
                                              next, kLastId, flags);
    }
    if (FAILED(result)) {
      wchar_t code[16];
      wsprintfW(code, L"0x%08lX", static_cast<unsigned long>(result));
      problems_.push_back(ClsidText(entry.clsid) + L": " + step + L" failed with " + code);
      continue;
    }
    handler.first = next;
    handler.count = HRESULT_CODE(result);
    next += handler.count;
    handlers_.push_back(std::move(handler));
    entries_.push_back(entry);
  }
}

ContextMenu::~ContextMenu() {
  // As a file manager does: the menu goes first, then the handlers that filled it.
  if (menu_ != nullptr) DestroyMenu(menu_);
  handlers_.clear();
}

std::pair<UINT, UINT> ContextMenu::RangeOf(std::size_t handler) const {
  const Handler& h = handlers_.at(handler);
  return {h.first, h.first + h.count - 1};
}

const ContextMenu::Handler* ContextMenu::Owner(UINT id) const {
  for (const Handler& handler : handlers_) {
    if (id >= handler.first && id - handler.first < handler.count) return &handler;
  }
  return nullptr;
}

std::vector<MenuItem> ContextMenu::Items() const { return ItemsOf(menu_); }

std::vector<MenuItem> ContextMenu::ItemsOf(HMENU menu) const {
  std::vector<MenuItem> items;
  const int count = GetMenuItemCount(menu);
  for (int position = 0; position < count; ++position) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING | MIIM_SUBMENU | MIIM_BITMAP | MIIM_CHECKMARKS;
    if (!GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info)) continue;
    MenuItem item;
    item.id = info.wID;
    item.separator = (info.fType & MFT_SEPARATOR) != 0;
    item.picture =
        info.hbmpItem != nullptr || info.hbmpUnchecked != nullptr || info.hbmpChecked != nullptr;
    if (!item.separator && info.cch > 0) {
      // A second query for the text alone: it clears what it was not asked for.
      MENUITEMINFOW label{};
      label.cbSize = sizeof(label);
      label.fMask = MIIM_STRING;
      std::wstring text(info.cch + 1, L'\0');
      label.dwTypeData = text.data();
      label.cch = static_cast<UINT>(text.size());
      GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &label);
      text.resize(label.cch);
      item.text = std::move(text);
    }
    if (const Handler* owner = item.separator ? nullptr : Owner(item.id)) {
      item.handled = true;
      wchar_t help[260] = {};
      if (SUCCEEDED(owner->menu->GetCommandString(item.id - owner->first, GCS_HELPTEXTW, nullptr,
                                                  reinterpret_cast<CHAR*>(help), 260))) {
        item.help = help;
      }
    }
    if (info.hSubMenu != nullptr) item.submenu = ItemsOf(info.hSubMenu);
    items.push_back(std::move(item));
  }
  return items;
}

HRESULT ContextMenu::Choose(UINT id, HWND owner) const {
  const Handler* handler = Owner(id);
  if (handler == nullptr) return E_INVALIDARG;
  CMINVOKECOMMANDINFO command{};
  command.cbSize = sizeof(command);
  command.hwnd = owner;
  command.lpVerb = MAKEINTRESOURCEA(id - handler->first);
  command.nShow = SW_SHOWNORMAL;
  return handler->menu->InvokeCommand(&command);
}

std::vector<UINT> IdsOfText(const std::vector<MenuItem>& items, const std::wstring& text) {
  std::vector<UINT> ids;
  for (const MenuItem& item : items) {
    if (item.handled && !item.separator && item.submenu.empty() && item.text == text) {
      ids.push_back(item.id);
    }
    const std::vector<UINT> deeper = IdsOfText(item.submenu, text);
    ids.insert(ids.end(), deeper.begin(), deeper.end());
  }
  return ids;
}

std::vector<std::wstring> Describe(const std::vector<MenuItem>& items) {
  std::vector<std::wstring> lines;
  const auto describe = [&lines](const auto& self, const std::vector<MenuItem>& level,
                                 const std::wstring& indent) -> void {
    for (const MenuItem& item : level) {
      if (item.separator) {
        lines.push_back(indent + L"      ----------------");
        continue;
      }
      std::wstring id = item.handled ? std::to_wstring(item.id) : L"-";
      id.insert(0, 4 - std::min<std::size_t>(4, id.size()), L' ');
      std::wstring text = item.text;
      if (text.size() < 28) text.resize(28, L' ');
      lines.push_back(indent + id + (item.picture ? L" [*] " : L" [ ] ") + text + L"  " +
                      item.help);
      self(self, item.submenu, indent + L"    ");
    }
  };
  describe(describe, items, L"");
  return lines;
}

bool PhotographMenu(HMENU menu, const std::wstring& png, bool openFirstSubmenu) {
  const HWND owner = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0,
                                     1, 1, nullptr, nullptr, nullptr, nullptr);
  if (owner == nullptr) return false;
  SetForegroundWindow(owner);
  const std::size_t wanted = openFirstSubmenu ? 2 : 1;
  bool saved = false;
  // The menu runs its own loop on this thread; another one waits for it, opens the submenu as
  // the keyboard would, photographs what is shown and closes it.
  std::thread photographer([&] {
    std::vector<HWND> shown;
    const auto showing = [&](std::size_t count) {
      shown = VisibleWindows(kMenuClass);
      return shown.size() >= count;
    };
    if (!WaitFor([&] { return showing(1); }, 10000)) return;
    if (openFirstSubmenu) {
      PostMessageW(shown.front(), WM_KEYDOWN, VK_DOWN, 0);
      PostMessageW(shown.front(), WM_KEYDOWN, VK_RIGHT, 0);
    }
    if (WaitFor([&] { return showing(wanted); }, 10000)) {
      for (HWND window : shown) {
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASENOW);
      }
      // Menus are drawn by the thread that tracks them: give it a moment to finish.
      Sleep(300);
      saved = SaveWindowsPicture(shown, png);
    }
    PostMessageW(owner, WM_CANCELMODE, 0, 0);
  });
  TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN, 8, 8, 0, owner, nullptr);
  photographer.join();
  DestroyWindow(owner);
  return saved;
}

SaveDialogAnswer::SaveDialogAnswer(std::wstring name, DWORD patienceMs)
    : worker_([this, name = std::move(name), patienceMs] {
        HWND dialog = nullptr;
        if (!WaitFor(
                [&] {
                  for (HWND window : VisibleWindows(kDialogClass)) {
                    if (GetDlgItem(window, kFileNameCombo) != nullptr ||
                        GetDlgItem(window, kFileNameEdit) != nullptr) {
                      dialog = window;
                    }
                  }
                  return dialog != nullptr;
                },
                patienceMs)) {
          return;
        }
        const HWND field = GetDlgItem(dialog, kFileNameCombo) != nullptr
                               ? GetDlgItem(dialog, kFileNameCombo)
                               : GetDlgItem(dialog, kFileNameEdit);
        SetWindowTextW(field, name.c_str());
        Press(dialog, IDOK);
        // A question may follow (the file exists already); the answer is done once no dialog
        // of this process is left.
        WaitFor(
            [&] {
              const std::vector<HWND> open = VisibleWindows(kDialogClass);
              for (HWND window : open) {
                if (window != dialog && GetDlgItem(window, IDYES) != nullptr) Press(window, IDYES);
              }
              return open.empty();
            },
            patienceMs);
        answered_ = true;
      }) {}

SaveDialogAnswer::~SaveDialogAnswer() { Finish(); }

bool SaveDialogAnswer::Finish() {
  if (worker_.joinable()) worker_.join();
  return answered_;
}

MessageAnswers::MessageAnswers()
    : worker_([this] {
        while (!stop_) {
          for (HWND box : VisibleWindows(kDialogClass)) {
            // A message box: its text is in its static controls (the icon's has none).
            std::wstring text;
            EnumChildWindows(
                box,
                [](HWND child, LPARAM found) -> BOOL {
                  wchar_t part[1024] = {};
                  if (ClassOf(child) == L"Static" && GetWindowTextW(child, part, 1024) > 0) {
                    *reinterpret_cast<std::wstring*>(found) += part;
                  }
                  return TRUE;
                },
                reinterpret_cast<LPARAM>(&text));
            texts_.push_back(text);
            Press(box, IDOK);
            // Gone before it is looked for again.
            WaitFor([box] { return !IsWindowVisible(box); }, 10000);
          }
          Sleep(10);
        }
      }) {}

MessageAnswers::~MessageAnswers() { Finish(); }

std::vector<std::wstring> MessageAnswers::Finish() {
  stop_ = true;
  if (worker_.joinable()) worker_.join();
  return texts_;
}

HRESULT RunVerb(const std::wstring& file, const std::wstring& verb, DWORD* exitCode) {
  SHELLEXECUTEINFOW run{};
  run.cbSize = sizeof(run);
  run.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  run.lpVerb = verb.c_str();
  run.lpFile = file.c_str();
  run.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&run)) return HRESULT_FROM_WIN32(GetLastError());
  if (run.hProcess == nullptr) return S_FALSE;  // handed to a running program; nothing to wait on
  HRESULT result = S_OK;
  if (WaitForSingleObject(run.hProcess, 60000) != WAIT_OBJECT_0) {
    result = HRESULT_FROM_WIN32(WAIT_TIMEOUT);
  } else if (exitCode != nullptr) {
    GetExitCodeProcess(run.hProcess, exitCode);
  }
  CloseHandle(run.hProcess);
  return result;
}

HRESULT SaveThumbnail(const std::wstring& file, UINT size, const std::wstring& png,
                      std::wstring& handlerKey) {
  // The shell's IThumbnailProvider and IInitializeWithFile.
  static constexpr IID kThumbnailProvider = {
      0xe357fccd, 0xa995, 0x4576, {0xb0, 0x1f, 0x23, 0x46, 0x30, 0x15, 0x4e, 0x96}};
  static constexpr IID kInitializeWithFile = {
      0xb7d14566, 0x0509, 0x4cce, {0xa7, 0x1f, 0x0a, 0x55, 0x42, 0x33, 0xbd, 0x9b}};
  // One handler, from the first element of the array that names one, as the shell takes it.
  CLSID clsid{};
  const auto named = [&](const std::wstring& element) {
    handlerKey = element + L"\\ShellEx\\{e357fccd-a995-4576-b01f-234630154e96}";
    return ParseClsid(DefaultText(HKEY_CLASSES_ROOT, handlerKey), clsid);
  };
  const std::vector<std::wstring> elements = AssociationElements(file);
  if (std::none_of(elements.begin(), elements.end(), named)) {
    return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  }
  UniqueCom<IInitializeWithFile> init;
  HRESULT result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kInitializeWithFile,
                                    reinterpret_cast<void**>(init.put()));
  if (FAILED(result)) return result;
  result = init->Initialize(file.c_str(), STGM_READ);
  if (FAILED(result)) return result;
  UniqueCom<IThumbnailProvider> provider;
  result = init->QueryInterface(kThumbnailProvider, reinterpret_cast<void**>(provider.put()));
  if (FAILED(result)) return result;
  UniqueBitmap bitmap;
  WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
  result = provider->GetThumbnail(size, bitmap.put(), &alpha);
  if (FAILED(result)) return result;
  DIBSECTION dib{};
  GetObjectW(bitmap.get(), sizeof(dib), &dib);
  const int width = dib.dsBm.bmWidth;
  const int height = dib.dsBm.bmHeight;
  const auto* bgra = static_cast<const std::uint8_t*>(dib.dsBm.bmBits);
  std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width) * height * 4);
  for (std::size_t i = 0; bgra != nullptr && i < rgba.size(); i += 4) {
    // Premultiplied in the bitmap, straight in the PNG.
    const unsigned a = bgra[i + 3];
    const auto straight = [a](unsigned c) {
      return static_cast<std::uint8_t>(a == 0 ? 0 : std::min(255u, c * 255 / a));
    };
    rgba[i] = straight(bgra[i + 2]);
    rgba[i + 1] = straight(bgra[i + 1]);
    rgba[i + 2] = straight(bgra[i]);
    rgba[i + 3] = static_cast<std::uint8_t>(a);
  }
  if (bgra == nullptr) return E_FAIL;
  const std::vector<std::uint8_t> bytes = images::PngFile(width, height, rgba);
  std::ofstream out(std::filesystem::path(png), std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return out ? S_OK : E_FAIL;
}

}  // namespace pivora::host

// The context-menu handler of cursor packs: "Install Cursor Pack" on the install.inf of a cursor
// pack, and "Uninstall Cursor Pack" beside it once that pack is installed, and on the installed
// pack's own scheme file; nothing on any other INF or scheme.
#pragma once

#include <windows.h>

#include <shlobj.h>

#include <optional>

#include "core/cursor_pack.h"
#include "resources/resource_ids.h"
#include "shellext/gdi.h"
#include "shellext/selection.h"
#include "shellext/shell_handler.h"

namespace pivora {

extern const CLSID CLSID_CursorPackExt;

class CCursorPackExt
    : public ShellHandler<CCursorPackExt, &CLSID_CursorPackExt, IDR_PACK_CLASS_SCRIPT>,
      public IShellExtInit,
      public IContextMenu {
 public:
  static constexpr InterfaceEntry<CCursorPackExt> InterfaceMap[] = {
      ComInterface<CCursorPackExt, IShellExtInit>(IID_IShellExtInit),
      ComInterface<CCursorPackExt, IContextMenu>(IID_IContextMenu)};

  CCursorPackExt() noexcept = default;
  virtual ~CCursorPackExt() = default;

  // IShellExtInit
  HRESULT STDMETHODCALLTYPE Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data,
                                       HKEY progId) override;

  // IContextMenu: install at identifier offset 0, uninstall at offset 1.
  HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst,
                                             UINT idCmdLast, UINT flags) override;
  HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* info) override;
  HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR idCmd, UINT type, UINT* reserved, CHAR* name,
                                             UINT size) override;

 private:
  HRESULT BuildMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT flags);
  HRESULT Install(HWND owner);
  HRESULT Uninstall(HWND owner);

  SelectedPath selectedFile{};
  // What the selected INF installs, read when the menu is built.
  std::optional<PackSource> pack;
  // The installed pack's folder that the selected INF or scheme can uninstall, found with it.
  std::optional<std::u16string> installedFolder;
  // Shown by the menus, never freed by them: it lives as long as the object.
  UniqueBitmap glyph;
};

}  // namespace pivora

// The context-menu handler of cursor packs: "Install Cursor Pack" on the install.inf of a cursor
// pack, and "Uninstall Cursor Pack" beside it once that pack is installed, and on the installed
// pack's own scheme file; nothing on any other INF or scheme. "Install Cursor Pack" too on a
// selection of several pointer files of one folder, which it installs as a pack; nothing on one
// pointer file alone.
#pragma once

#include <windows.h>

#include <shlobj.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/cursor_pack.h"
#include "core/pack_install.h"
#include "core/selection_kind.h"
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
  HRESULT InstallPointerFiles(HWND owner);
  HRESULT Report(HWND owner, const PackInstallation& done, UINT noFilesText);
  HRESULT Uninstall(HWND owner);

  // The one INF or scheme file selected.
  std::u16string_view SelectedFile() const { return selection.front(); }

  // Every path selected (a few more than a pack can have, at most), and what they are.
  std::vector<std::u16string> selection;
  SelectionKind kind = SelectionKind::kNothing;
  // What the selected INF installs, read when the menu is built.
  std::optional<PackSource> pack;
  // The installed pack's folder that the selected INF or scheme can uninstall, found with it.
  std::optional<std::u16string> installedFolder;
  // Shown by the menus, never freed by them: it lives as long as the object.
  UniqueBitmap glyph;
};

}  // namespace pivora

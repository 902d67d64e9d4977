// The context-menu handler of INF files: "Install Cursor Pack" on the install.inf of a cursor
// pack, nothing on any other INF.
#pragma once

#include <windows.h>

#include <shlobj.h>

#include <optional>

#include "core/cursor_pack.h"
#include "server/com_frame.h"
#include "shellext/gdi.h"
#include "shellext/selection.h"
#include "shellext/shell_seams.h"

namespace pivora {

extern const CLSID CLSID_CursorPackExt;

class CCursorPackExt : public CComObjectRootEx<CComMultiThreadModel>,
                       public CComCoClass<CCursorPackExt, &CLSID_CursorPackExt>,
                       public IShellExtInit,
                       public IContextMenu {
 public:
  static constexpr InterfaceEntry<CCursorPackExt> InterfaceMap[] = {
      ComInterface<CCursorPackExt, IShellExtInit>(IID_IShellExtInit),
      ComInterface<CCursorPackExt, IContextMenu>(IID_IContextMenu)};

  CCursorPackExt() noexcept = default;
  virtual ~CCursorPackExt() = default;

  // The library's handlers use the real platform; tests hand a handler recording seams.
  void UseSeams(ShellSeams& testSeams) { seams = &testSeams; }

  static HRESULT UpdateClassRegistry(BOOL doRegister);

  // IShellExtInit
  HRESULT STDMETHODCALLTYPE Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data,
                                       HKEY progId) override;

  // IContextMenu: one item, identifier offset 0.
  HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst,
                                             UINT idCmdLast, UINT flags) override;
  HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* info) override;
  HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR idCmd, UINT type, UINT* reserved, CHAR* name,
                                             UINT size) override;

 private:
  HRESULT BuildMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT flags);
  HRESULT Install(HWND owner);

  SelectedPath selectedFile{};
  // What the selected INF installs, read when the menu is built.
  std::optional<CursorPack> pack;
  // Shown by the menus, never freed by them: it lives as long as the object.
  UniqueBitmap glyph;
  ShellSeams* seams = &Win32ShellSeams();
};

}  // namespace pivora

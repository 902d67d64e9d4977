// The context-menu handler of cursor files: one object per menu the shell builds.
#pragma once

#include <windows.h>

#include <shlobj.h>

#include <array>

#include "core/pointer_roles.h"
#include "server/com_frame.h"
#include "shellext/gdi.h"
#include "shellext/selection.h"
#include "shellext/shell_seams.h"

namespace pivora {

extern const CLSID CLSID_ContextMenuExt;

class CContextMenuExt : public CComObjectRootEx<CComMultiThreadModel>,
                        public CComCoClass<CContextMenuExt, &CLSID_ContextMenuExt>,
                        public IShellExtInit,
                        public IContextMenu {
 public:
  static constexpr InterfaceEntry<CContextMenuExt> InterfaceMap[] = {
      ComInterface<CContextMenuExt, IShellExtInit>(IID_IShellExtInit),
      ComInterface<CContextMenuExt, IContextMenu>(IID_IContextMenu)};

  CContextMenuExt() noexcept = default;
  virtual ~CContextMenuExt() = default;

  // The library's handlers use the real platform; tests hand a handler recording seams.
  void UseSeams(ShellSeams& testSeams) { seams = &testSeams; }

  // Registration runs the class's registry script through this hook.
  static HRESULT UpdateClassRegistry(BOOL doRegister);

  // IShellExtInit
  HRESULT STDMETHODCALLTYPE Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data,
                                       HKEY progId) override;

  // IContextMenu
  HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst,
                                             UINT idCmdLast, UINT flags) override;
  HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* info) override;
  HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR idCmd, UINT type, UINT* reserved, CHAR* name,
                                             UINT size) override;

 private:
  SelectedPath selectedFile{};
  // Shown by the menus, never freed by them: they live as long as the object.
  UniqueBitmap submenuBitmap;
  std::array<UniqueBitmap, kPointerRoleCount> roleBitmaps;
  ShellSeams* seams = &Win32ShellSeams();
};

}  // namespace pivora

#include "shellext/context_menu_ext.h"

#include "shellext/menu.h"

namespace pivora {

// {3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47}
const CLSID CLSID_ContextMenuExt = {
    0x3A7C52E1, 0x9D04, 0x4B8E, {0xA6, 0xF3, 0x1C, 0x2D, 0x8E, 0x90, 0x5B, 0x47}};

HRESULT CContextMenuExt::UpdateClassRegistry(BOOL) {
  // Self-registration and its script interpreter are not part of the library yet.
  return E_NOTIMPL;
}

HRESULT CContextMenuExt::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) {
  return ReadSelection(data, selectedFile);
}

HRESULT CContextMenuExt::QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst,
                                          UINT idCmdLast, UINT flags) {
  return BuildContextMenu(menu, indexMenu, idCmdFirst, idCmdLast, flags);
}

// The commands and their help texts come with the pointer previews.
HRESULT CContextMenuExt::InvokeCommand(CMINVOKECOMMANDINFO*) { return E_NOTIMPL; }

HRESULT CContextMenuExt::GetCommandString(UINT_PTR, UINT, UINT*, CHAR*, UINT) { return E_NOTIMPL; }

}  // namespace pivora

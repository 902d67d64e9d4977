#include "shellext/context_menu_ext.h"

#include "resources/resource_ids.h"
#include "server/registry_script.h"
#include "shellext/command_string.h"
#include "shellext/commands.h"
#include "shellext/menu.h"

namespace pivora {

// {3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47}
const CLSID CLSID_ContextMenuExt = {
    0x3A7C52E1, 0x9D04, 0x4B8E, {0xA6, 0xF3, 0x1C, 0x2D, 0x8E, 0x90, 0x5B, 0x47}};

HRESULT CContextMenuExt::UpdateClassRegistry(BOOL doRegister) {
  return RunRegistryScript(IDR_CLASS_SCRIPT, doRegister != FALSE);
}

HRESULT CContextMenuExt::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) {
  return ReadSelection(data, selectedFile);
}

HRESULT CContextMenuExt::QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst,
                                          UINT idCmdLast, UINT flags) {
  return BuildContextMenu(menu, indexMenu, idCmdFirst, idCmdLast, flags, *seams_,
                          MenuPictures{submenuBitmap, roleBitmaps});
}

HRESULT CContextMenuExt::InvokeCommand(CMINVOKECOMMANDINFO* info) {
  return RunCommand(info, selectedFile, *seams_);
}

HRESULT CContextMenuExt::GetCommandString(UINT_PTR idCmd, UINT type, UINT*, CHAR* name, UINT size) {
  return CommandString(idCmd, type, name, size);
}

}  // namespace pivora

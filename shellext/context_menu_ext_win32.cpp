#include "shellext/context_menu_ext.h"

#include "resources/resource_ids.h"
#include "server/com_barrier.h"
#include "server/identifiers.h"
#include "server/registry_script.h"
#include "shellext/command_string.h"
#include "shellext/commands.h"
#include "shellext/menu.h"

namespace pivora {

const CLSID CLSID_ContextMenuExt = GuidFromText(kContextMenuClassIdText);

HRESULT CContextMenuExt::UpdateClassRegistry(BOOL doRegister) {
  return RunRegistryScript(IDR_CLASS_SCRIPT, doRegister != FALSE);
}

HRESULT CContextMenuExt::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) {
  return ComBarrier(kAlwaysUnexpected, [&] { return InitializeSelection(data, selectedFile); });
}

// The menu reports no failure: whatever happens, the shell's menu keeps what it had.
HRESULT CContextMenuExt::QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst,
                                          UINT idCmdLast, UINT flags) {
  return ComBarrier(kNeverFail, [&] {
    return BuildContextMenu(menu, indexMenu, idCmdFirst, idCmdLast, flags, *seams,
                            MenuPictures{submenuBitmap, roleBitmaps});
  });
}

HRESULT CContextMenuExt::InvokeCommand(CMINVOKECOMMANDINFO* info) {
  return ComBarrier(kOutOfMemoryOrUnexpected,
                    [&] { return RunCommand(info, selectedFile, *seams); });
}

HRESULT CContextMenuExt::GetCommandString(UINT_PTR idCmd, UINT type, UINT*, CHAR* name, UINT size) {
  return ComBarrier(kOutOfMemoryOrUnexpected,
                    [&] { return CommandString(idCmd, type, name, size); });
}

}  // namespace pivora

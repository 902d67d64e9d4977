#include "shellext/menu.h"

#include <shlobj.h>

#include "core/pointer_roles.h"
#include "platform/platform_win32.h"
#include "platform/unique_handle_win32.h"
#include "resources/resource_ids.h"
#include "resources/resource_text.h"
#include "shellext/menu_command.h"
#include "shellext/previews.h"

namespace pivora {
namespace {

struct MenuTraits : Win32Traits {
  using type = HMENU;
  static HMENU invalid() { return nullptr; }
  static void close(HMENU menu) { DestroyMenu(menu); }
};
using UniqueMenu = UniqueHandle<MenuTraits>;

class MenuText {
 public:
  wchar_t* Load(std::uint32_t id) {
    LoadResourceText(id, AsUtf16(units_), kTextUnits);
    return units_;
  }

 private:
  wchar_t units_[kTextUnits] = {};
};

bool RangeHoldsAllCommands(UINT idCmdFirst, UINT idCmdLast) {
  return idCmdLast >= idCmdFirst && idCmdLast - idCmdFirst >= MenuCommandOffset::Count - 1;
}

}  // namespace

HRESULT BuildContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT flags,
                         ShellSeams& seams, MenuPictures pictures) {
  if ((flags & CMF_DEFAULTONLY) != 0) return S_OK;
  // Identifiers past the shell's range belong to other handlers.
  if (!RangeHoldsAllCommands(idCmdFirst, idCmdLast)) return S_OK;

  UniqueMenu submenu(CreatePopupMenu());
  if (!submenu) return S_OK;
  PreviewPainter painter(seams);
  MenuText text;
  for (UINT role = 0; role < kPointerRoleCount; ++role) {
    InsertMenuW(submenu.get(), role, MF_BYPOSITION | MF_STRING, idCmdFirst + role,
                text.Load(PointerRoles[role].displayStringId));
    painter.DrawRole(role, submenu.get(), pictures.roleBitmaps[role]);
  }

  MENUITEMINFOW item{};
  item.cbSize = sizeof(item);
  item.fMask = MIIM_ID | MIIM_TYPE;
  item.fType = MFT_SEPARATOR;
  item.wID = idCmdFirst + MenuCommandOffset::Separator;
  InsertMenuItemW(submenu.get(), MenuCommandOffset::Separator, TRUE, &item);

  item.fMask = MIIM_ID | MIIM_STRING;
  item.wID = idCmdFirst + MenuCommandOffset::SaveScheme;
  item.dwTypeData = text.Load(IDS_SAVE_SCHEME);
  InsertMenuItemW(submenu.get(), MenuCommandOffset::SaveScheme, TRUE, &item);

  item.fMask = MIIM_ID | MIIM_STRING | MIIM_SUBMENU;
  item.wID = idCmdFirst + MenuCommandOffset::ChangeCursor;
  item.hSubMenu = submenu.get();
  item.dwTypeData = text.Load(IDS_CHANGE_CURSOR);
  // Once inserted, the submenu belongs to the shell's menu; if it could not be, it is ours to
  // destroy and nothing was added.
  if (!InsertMenuItemW(menu, indexMenu, TRUE, &item)) return S_OK;
  submenu.release();
  painter.Finish(menu, indexMenu, pictures.submenuBitmap);
  return MAKE_HRESULT(SEVERITY_SUCCESS, 0, MenuCommandOffset::Count);
}

}  // namespace pivora

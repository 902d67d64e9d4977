// Building the handler's part of the shell's context menu: "Change Cursor" with its submenu of
// one item per pointer role, a separator and "Save Scheme...".
#pragma once

#include <windows.h>

#include <array>

#include "core/pointer_roles.h"
#include "shellext/gdi.h"
#include "shellext/shell_seams.h"

namespace pivora {

// The handler's bitmaps, which its menus show and never own.
struct MenuPictures {
  UniqueBitmap& submenuBitmap;
  std::array<UniqueBitmap, kPointerRoleCount>& roleBitmaps;
};

// Inserts "Change Cursor" at `indexMenu` of `menu` and claims the identifiers from idCmdFirst
// on. The result carries the number of identifiers used: 18, or 0 when CMF_DEFAULTONLY is set
// or the shell's range is too small to hold them (nothing is inserted then).
HRESULT BuildContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT flags,
                         ShellSeams& seams, MenuPictures pictures);

}  // namespace pivora

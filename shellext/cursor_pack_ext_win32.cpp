#include "shellext/cursor_pack_ext.h"

#include <string>

#include "core/pack_install.h"
#include "platform/platform_win32.h"
#include "resources/resource_ids.h"
#include "resources/resource_text.h"
#include "server/com_barrier.h"
#include "server/identifiers.h"
#include "shellext/command_string.h"
#include "shellext/previews.h"

namespace pivora {
namespace {

std::u16string_view SelectedPathOf(const SelectedPath& selectedFile) {
  return AsUtf16(selectedFile.data());
}

// The roles' names, one per line.
std::u16string RoleList(const std::vector<std::size_t>& roles) {
  std::u16string list;
  for (const std::size_t role : roles) {
    if (!list.empty()) list += u"\n";
    list += ResourceText(PointerRoles[role].displayStringId, kTextUnits);
  }
  return list;
}

}  // namespace

const CLSID CLSID_CursorPackExt = GuidFromText(kCursorPackClassIdText);

HRESULT CCursorPackExt::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) {
  return ComBarrier(kAlwaysUnexpected, [&] {
    pack.reset();
    return InitializeSelection(data, selectedFile);
  });
}

// Like the cursor files' menu, this one reports no failure: an INF that is no pack, or cannot be
// read, adds nothing.
HRESULT CCursorPackExt::QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst,
                                         UINT idCmdLast, UINT flags) {
  return ComBarrier(kNeverFail,
                    [&] { return BuildMenu(menu, indexMenu, idCmdFirst, idCmdLast, flags); });
}

HRESULT CCursorPackExt::BuildMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast,
                                  UINT flags) {
  if ((flags & CMF_DEFAULTONLY) != 0 || idCmdLast < idCmdFirst || selectedFile[0] == L'\0') {
    return S_OK;
  }
  pack = ReadPackInf(seams->files, SelectedPathOf(selectedFile));
  if (!pack) return S_OK;
  const std::u16string text = ResourceText(IDS_INSTALL_PACK, kTextUnits);
  if (!InsertMenuW(menu, indexMenu, MF_BYPOSITION | MF_STRING, idCmdFirst, AsWide(text.c_str()))) {
    return S_OK;
  }
  PreviewPainter(*seams).Finish(menu, indexMenu, glyph);
  return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1);
}

HRESULT CCursorPackExt::InvokeCommand(CMINVOKECOMMANDINFO* info) {
  return ComBarrier(kOutOfMemoryOrUnexpected, [&]() -> HRESULT {
    if (info == nullptr) return E_INVALIDARG;
    const auto verb = reinterpret_cast<std::uintptr_t>(info->lpVerb);
    // A text verb, or an offset past the one item.
    if (HIWORD(verb) != 0 || LOWORD(verb) != 0) return E_INVALIDARG;
    return Install(info->hwnd);
  });
}

HRESULT CCursorPackExt::Install(HWND owner) {
  if (selectedFile[0] == L'\0') return E_UNEXPECTED;
  if (!pack) pack = ReadPackInf(seams->files, SelectedPathOf(selectedFile));
  const auto window = reinterpret_cast<WindowHandle>(owner);
  const std::u16string caption = ResourceText(IDS_PACK_CAPTION, kTextUnits);
  const PackInstallation done =
      pack ? InstallCursorPack(SelectedPathOf(selectedFile), *pack, seams->Core())
           : PackInstallation{};
  if (!done.installed) {
    seams->windows.ShowMessage(
        window, ResourceText(done.noPointerFiles ? IDS_PACK_NO_FILES : IDS_PACK_FAILED, kTextUnits),
        caption, MessageKind::kError);
    return E_FAIL;
  }
  if (!done.rolesKept.empty()) {
    seams->windows.ShowMessage(
        window, FormatText(ResourceText(IDS_PACK_ROLES_KEPT, kTextUnits), RoleList(done.rolesKept)),
        caption, MessageKind::kWarning);
  }
  return S_OK;
}

HRESULT CCursorPackExt::GetCommandString(UINT_PTR idCmd, UINT type, UINT*, CHAR* name, UINT size) {
  return ComBarrier(kOutOfMemoryOrUnexpected, [&]() -> HRESULT {
    if (type == GCS_VALIDATEA || type == GCS_VALIDATEW) return idCmd == 0 ? S_OK : S_FALSE;
    if (type != GCS_HELPTEXTA && type != GCS_HELPTEXTW) return E_INVALIDARG;
    return CopyHelpText(ResourceText(IDS_INSTALL_PACK_HELP, kTextUnits), type, name, size);
  });
}

}  // namespace pivora

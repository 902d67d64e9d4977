#include "shellext/cursor_pack_ext.h"

#include <string>

#include "core/pack_install.h"
#include "platform/path_rules.h"
#include "platform/platform_win32.h"
#include "resources/resource_ids.h"
#include "resources/resource_text.h"
#include "server/com_barrier.h"
#include "server/identifiers.h"
#include "shellext/command_string.h"
#include "shellext/previews.h"

namespace pivora {
namespace {

// The roles' names, one per line.
std::u16string RoleList(const std::vector<std::size_t>& roles) {
  std::u16string list;
  for (const std::size_t role : roles) {
    if (!list.empty()) list += u"\n";
    list += ResourceText(PointerRoles[role].displayStringId, kTextUnits);
  }
  return list;
}

constexpr UINT kUninstallOffset = 1;

bool AddItem(HMENU menu, UINT position, UINT id, UINT textId) {
  const std::u16string text = ResourceText(textId, kTextUnits);
  return InsertMenuW(menu, position, MF_BYPOSITION | MF_STRING, id, AsWide(text.c_str())) != FALSE;
}

}  // namespace

const CLSID CLSID_CursorPackExt = GuidFromText(kCursorPackClassIdText);

HRESULT CCursorPackExt::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) {
  return ComBarrier(kAlwaysUnexpected, [&] {
    pack.reset();
    installedFolder.reset();
    kind = SelectionKind::kNothing;
    // One name past a pack's largest is enough to tell that a selection is too large.
    PIVORA_RETURN_IF_FAILED(ReadSelectionList(data, kMaxSelectedPointerFiles + 1, selection));
    kind = ClassifySelection(selection);
    // An INF or a scheme is taken as the handler of one file takes it: a path that fits MAX_PATH.
    if ((kind == SelectionKind::kInf || kind == SelectionKind::kScheme) &&
        selection.front().size() >= MAX_PATH) {
      kind = SelectionKind::kNothing;
      selection.clear();
      return E_INVALIDARG;
    }
    if (kind == SelectionKind::kNothing) selection.clear();
    return S_OK;
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
  if ((flags & CMF_DEFAULTONLY) != 0 || idCmdLast < idCmdFirst || kind == SelectionKind::kNothing) {
    return S_OK;
  }
  UINT items = 0;
  if (kind == SelectionKind::kPointerFiles) {
    // Decided from the names alone: the files are read only when the person chooses the item.
    if (!AddItem(menu, indexMenu, idCmdFirst, IDS_INSTALL_PACK)) return S_OK;
    items = 1;
  } else if (kind == SelectionKind::kScheme) {
    installedFolder = InstalledPackForScheme(SelectedFile(), seams->Core());
  } else {
    const std::u16string_view path = SelectedFile();
    pack = ReadPackInf(seams->files, path);
    if (!pack || !AddItem(menu, indexMenu, idCmdFirst, IDS_INSTALL_PACK)) return S_OK;
    items = 1;
    installedFolder = InstalledPackFor(*pack, seams->Core());
  }
  // The identifiers used run to the highest offset: uninstall's, whenever it is there.
  UINT used = items;
  if (installedFolder && idCmdLast > idCmdFirst &&
      AddItem(menu, indexMenu + items, idCmdFirst + kUninstallOffset, IDS_UNINSTALL_PACK)) {
    ++items;
    used = kUninstallOffset + 1;
  }
  if (items == 0) return S_OK;
  PreviewPainter painter(*seams);
  for (UINT item = 0; item < items; ++item) painter.Finish(menu, indexMenu + item, glyph);
  return MAKE_HRESULT(SEVERITY_SUCCESS, 0, used);
}

HRESULT CCursorPackExt::InvokeCommand(CMINVOKECOMMANDINFO* info) {
  return ComBarrier(kOutOfMemoryOrUnexpected, [&]() -> HRESULT {
    if (info == nullptr) return E_INVALIDARG;
    const auto verb = reinterpret_cast<std::uintptr_t>(info->lpVerb);
    // A text verb, or an offset past the items.
    if (HIWORD(verb) != 0 || LOWORD(verb) > kUninstallOffset) return E_INVALIDARG;
    if (kind == SelectionKind::kPointerFiles) {
      return LOWORD(verb) == 0 ? InstallPointerFiles(info->hwnd) : E_INVALIDARG;
    }
    return LOWORD(verb) == kUninstallOffset ? Uninstall(info->hwnd) : Install(info->hwnd);
  });
}

HRESULT CCursorPackExt::Install(HWND owner) {
  if (kind != SelectionKind::kInf) return E_UNEXPECTED;
  // The person chose this: a file a scanner or sync holds for a moment is waited for.
  RetryingFileSystem files(seams->files, seams->pause);
  const Platform core{seams->registry, files, seams->paths, seams->reloader};
  if (!pack) pack = ReadPackInf(files, SelectedFile());
  return Report(owner, pack ? InstallCursorPack(*pack, core) : PackInstallation{},
                IDS_PACK_NO_FILES);
}

// What the person is told of an install: why it failed (`noFilesText` when not one pointer file
// was found), or which roles kept their pointer.
HRESULT CCursorPackExt::Report(HWND owner, const PackInstallation& done, UINT noFilesText) {
  const auto window = reinterpret_cast<WindowHandle>(owner);
  const std::u16string caption = ResourceText(IDS_PACK_CAPTION, kTextUnits);
  if (!done.installed) {
    seams->windows.ShowMessage(
        window, ResourceText(done.noPointerFiles ? noFilesText : IDS_PACK_FAILED, kTextUnits),
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

// The pack is built now, from the whole selection: the menu decided from the names and read
// nothing, and the folder's files may have changed since.
HRESULT CCursorPackExt::InstallPointerFiles(HWND owner) {
  // Every path names a file of the same folder (ClassifySelection).
  std::vector<std::u16string> names;
  names.reserve(selection.size());
  for (const std::u16string& path : selection) names.emplace_back(NameOf(path));
  const std::optional<PackSource> source =
      PackSourceFromPointerFiles(FolderOf(selection.front()).value_or(u""), names);
  RetryingFileSystem files(seams->files, seams->pause);
  const Platform core{seams->registry, files, seams->paths, seams->reloader};
  return Report(owner, source ? InstallCursorPack(*source, core) : PackInstallation{},
                IDS_PACK_SELECTION_NO_FILES);
}

// The pack's folder of the selection, as the menu found it (or as it is found now, for a caller
// that invokes a verb without building the menu), and what uninstalling it kept or failed.
HRESULT CCursorPackExt::Uninstall(HWND owner) {
  if (kind != SelectionKind::kInf && kind != SelectionKind::kScheme) return E_UNEXPECTED;
  const std::u16string_view path = SelectedFile();
  RetryingFileSystem files(seams->files, seams->pause);
  const Platform core{seams->registry, files, seams->paths, seams->reloader};
  if (!installedFolder && kind == SelectionKind::kScheme) {
    installedFolder = InstalledPackForScheme(path, core);
  } else if (!installedFolder) {
    if (!pack) pack = ReadPackInf(files, path);
    if (pack) installedFolder = InstalledPackFor(*pack, core);
  }
  const auto window = reinterpret_cast<WindowHandle>(owner);
  const std::u16string caption = ResourceText(IDS_PACK_CAPTION, kTextUnits);
  const PackUninstallation done =
      installedFolder ? UninstallCursorPack(*installedFolder, core) : PackUninstallation{};
  if (!done.uninstalled) {
    seams->windows.ShowMessage(window, ResourceText(IDS_PACK_UNINSTALL_FAILED, kTextUnits), caption,
                               MessageKind::kError);
    return E_FAIL;
  }
  if (!done.rolesKept.empty() || done.filesKept) {
    std::u16string kept = RoleList(done.rolesKept);
    if (done.filesKept) {
      if (!kept.empty()) kept += u"\n";
      kept += FormatText(ResourceText(IDS_PACK_OWN_FILES, kTextUnits), *installedFolder);
    }
    seams->windows.ShowMessage(window,
                               FormatText(ResourceText(IDS_PACK_UNINSTALL_KEPT, kTextUnits), kept),
                               caption, MessageKind::kWarning);
  }
  installedFolder.reset();
  return S_OK;
}

HRESULT CCursorPackExt::GetCommandString(UINT_PTR idCmd, UINT type, UINT*, CHAR* name, UINT size) {
  return ComBarrier(kOutOfMemoryOrUnexpected, [&]() -> HRESULT {
    if (type == GCS_VALIDATEA || type == GCS_VALIDATEW) {
      return idCmd <= kUninstallOffset ? S_OK : S_FALSE;
    }
    if (type != GCS_HELPTEXTA && type != GCS_HELPTEXTW) return E_INVALIDARG;
    if (idCmd > kUninstallOffset) return E_INVALIDARG;
    return CopyHelpText(
        ResourceText(idCmd == kUninstallOffset ? IDS_UNINSTALL_PACK_HELP : IDS_INSTALL_PACK_HELP,
                     kTextUnits),
        type, name, size);
  });
}

}  // namespace pivora

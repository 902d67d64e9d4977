#include "shellext/commands.h"

#include <new>
#include <string>

#include "core/pointer_roles.h"
#include "core/pointer_settings.h"
#include "core/scheme.h"
#include "core/whole_file.h"
#include "platform/platform_win32.h"
#include "resources/resource_ids.h"
#include "resources/resource_text.h"
#include "shellext/menu_command.h"

namespace pivora {
namespace {

// The buffers of the save dialog's texts.
constexpr int kDialogTextUnits = 128;

HRESULT SetRolePointer(std::size_t role, const SelectedPath& selectedFile, ShellSeams& seams) {
  // Without a selection there is nothing to store, and an empty value would silently reset the
  // role.
  if (selectedFile[0] == L'\0') return E_UNEXPECTED;
  CPointerSettings store(seams.registry, seams.reloader);
  if (!store.OpenForWriting()) return E_FAIL;
  const bool written = store.WriteRolePath(role, AsUtf16(selectedFile.data()));
  store.Close();
  store.NotifyPointersChanged();
  return written ? S_OK : E_FAIL;
}

void ShowExportFailure(HWND owner, ShellSeams& seams) {
  seams.windows.ShowMessage(
      reinterpret_cast<WindowHandle>(owner), ResourceText(IDS_EXPORT_FAILED_TEXT, kTextUnits),
      ResourceText(IDS_EXPORT_FAILED_CAPTION, kTextUnits), MessageKind::kError);
}

// Where the dialog opens: the folder of the selected file, or the path whole without one.
std::u16string InitialFolder(const SelectedPath& selectedFile) {
  const std::u16string_view path(AsUtf16(selectedFile.data()));
  return std::u16string(FolderOf(path).value_or(path));
}

std::u16string DialogFilter() {
  std::u16string filter = ResourceText(IDS_SAVE_FILTER, kDialogTextUnits);
  for (char16_t& c : filter) c = c == u'|' ? u'\0' : c;
  return filter;
}

// Running out of memory anywhere on the way, before the dialog too, is reported like any
// other failure to save.
HRESULT ExportScheme(HWND owner, const SelectedPath& selectedFile, ShellSeams& seams) {
  try {
    const std::optional<std::u16string> chosen = seams.windows.AskSavePath(
        reinterpret_cast<WindowHandle>(owner), InitialFolder(selectedFile),
        ResourceText(IDS_SAVE_TITLE, kDialogTextUnits), DialogFilter(), u"crs");
    if (!chosen) return S_OK;
    CPointerSettings store(seams.registry, seams.reloader);
    const std::string bytes = ComposeScheme(*chosen, store, seams.paths);
    // A synced or scanned folder may hold the file it just saw change for a moment.
    RetryingFileSystem files(seams.files, seams.pause);
    if (WriteFileWhole(files, *chosen, bytes)) return S_OK;
    ShowExportFailure(owner, seams);
    return E_FAIL;
  } catch (const std::bad_alloc&) {
    ShowExportFailure(owner, seams);
    return E_OUTOFMEMORY;
  }
}

}  // namespace

HRESULT RunCommand(const CMINVOKECOMMANDINFO* info, const SelectedPath& selectedFile,
                   ShellSeams& seams) {
  if (info == nullptr) return E_INVALIDARG;
  const auto verb = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(info->lpVerb));
  // A text verb: the handler has none.
  if (HIWORD(verb) != 0) return E_INVALIDARG;
  const UINT offset = LOWORD(verb);
  if (offset <= MenuCommandOffset::RoleLast) return SetRolePointer(offset, selectedFile, seams);
  return ExportScheme(info->hwnd, selectedFile, seams);
}

}  // namespace pivora

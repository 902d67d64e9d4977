#include "core/selection_kind.h"

#include <optional>
#include <string_view>

#include "platform/path_rules.h"
#include "platform/text.h"

namespace pivora {
namespace {

// A name with more than the extension, in a folder.
bool IsPointerFile(std::u16string_view path) {
  if (!FolderOf(path)) return false;
  const std::u16string_view name = NameOf(path);
  return name.size() > 4 &&
         (EndsWithIgnoringAsciiCase(name, u".cur") || EndsWithIgnoringAsciiCase(name, u".ani"));
}

}  // namespace

SelectionKind ClassifySelection(const std::vector<std::u16string>& paths) {
  if (paths.size() == 1) {
    if (EndsWithIgnoringAsciiCase(paths[0], u".inf")) return SelectionKind::kInf;
    if (EndsWithIgnoringAsciiCase(paths[0], u".crs")) return SelectionKind::kScheme;
    return SelectionKind::kNothing;
  }
  if (paths.size() < 2 || paths.size() > kMaxSelectedPointerFiles) return SelectionKind::kNothing;
  const std::optional<std::u16string_view> folder = FolderOf(paths[0]);
  for (const std::u16string& path : paths) {
    if (!IsPointerFile(path) || FolderOf(path) != folder) {
      return SelectionKind::kNothing;
    }
  }
  return SelectionKind::kPointerFiles;
}

}  // namespace pivora

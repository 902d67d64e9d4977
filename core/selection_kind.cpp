#include "core/selection_kind.h"

#include <string_view>

#include "platform/text.h"

namespace pivora {
namespace {

constexpr std::size_t kNoFolder = std::u16string_view::npos;

// Where the file's name starts: after the last separator; kNoFolder when there is none.
std::size_t NameStart(std::u16string_view path) {
  const std::size_t separator = path.rfind(u'\\');
  return separator == kNoFolder ? kNoFolder : separator + 1;
}

bool EndsWith(std::u16string_view text, std::u16string_view extension) {
  return text.size() >= extension.size() &&
         EqualsIgnoringAsciiCase(text.substr(text.size() - extension.size()), extension);
}

// A name with more than the extension, in a folder.
bool IsPointerFile(std::u16string_view path) {
  const std::size_t start = NameStart(path);
  if (start == kNoFolder) return false;
  const std::u16string_view name = path.substr(start);
  return name.size() > 4 && (EndsWith(name, u".cur") || EndsWith(name, u".ani"));
}

}  // namespace

SelectionKind ClassifySelection(const std::vector<std::u16string>& paths) {
  if (paths.size() == 1) {
    if (EndsWith(paths[0], u".inf")) return SelectionKind::kInf;
    if (EndsWith(paths[0], u".crs")) return SelectionKind::kScheme;
    return SelectionKind::kNothing;
  }
  if (paths.size() < 2 || paths.size() > kMaxSelectedPointerFiles) return SelectionKind::kNothing;
  const std::u16string_view first = paths[0];
  const std::u16string_view folder = first.substr(0, NameStart(first));
  for (const std::u16string& path : paths) {
    if (!IsPointerFile(path) || std::u16string_view(path).substr(0, NameStart(path)) != folder) {
      return SelectionKind::kNothing;
    }
  }
  return SelectionKind::kPointerFiles;
}

}  // namespace pivora

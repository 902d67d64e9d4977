// The path rules the scheme files rely on. Only the backslash separates components; a forward
// slash is an ordinary character. Each rule behaves as the shlwapi function named; on Windows the
// relative form is shlwapi's own and the other rules are our own code, as natively.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace pivora {

// The longest path the platform's path functions work with, terminator excluded.
inline constexpr std::size_t kMaxPathUnits = 259;

// The longest path Windows opens, in UTF-16 units; a longer text names no file.
inline constexpr std::size_t kMaxLongPathUnits = 32767;

// Walks the '%' signs of `text` paired from the left: each "%NAME%" pair goes whole to
// `reference`, and the text between pairs, with a lone '%' and what follows it, to `literal`.
// Pairs are made whether a name is known or not: Wine 8 gives "%UNKNOWN%SystemRoot%" unchanged.
// The walk stops as soon as either callback gives false, so a caller that caps what it writes
// caps the walk too.
void ForEachReference(std::u16string_view text,
                      const std::function<bool(std::u16string_view)>& literal,
                      const std::function<bool(std::u16string_view)>& reference);

// The environment's references: each pair of ForEachReference replaced by what `expand` gives
// for it (the pair itself for an unknown name). The expansion stops once the result is longer
// than kMaxLongPathUnits (it is then cut one unit past that), so a text that names one variable
// many times costs no more than the longest path.
std::u16string ExpandEachReference(
    std::u16string_view text, const std::function<std::u16string(std::u16string_view)>& expand);

// The folder of a path: the text before its last backslash; nothing when it has none.
std::optional<std::u16string_view> FolderOf(std::u16string_view path);
// The name after a path's last backslash; the whole path when it has none.
std::u16string_view NameOf(std::u16string_view path);
// `name` in `folder`.
std::u16string JoinPath(std::u16string_view folder, std::u16string_view name);

class PathRules {
 public:
  virtual ~PathRules() = default;

  // PathRelativePathToW from `folder` taken as a directory to `file` taken as a file. Empty when
  // the two share no leading component (another drive, another server, an environment
  // reference) or either path is longer than kMaxPathUnits.
  virtual std::optional<std::u16string> RelativePathTo(std::u16string_view folder,
                                                       std::u16string_view file) const = 0;

  // PathIsRelativeW: neither begins with a backslash nor has a colon as its second unit.
  virtual bool IsRelative(std::u16string_view path) const = 0;

  // PathAppendW: one backslash between the parts, "." and ".." segments resolved. Empty when the
  // result would be longer than kMaxPathUnits.
  virtual std::optional<std::u16string> Append(std::u16string_view folder,
                                               std::u16string_view more) const = 0;

  // ExpandEnvironmentStringsW: %NAME% references replaced; unknown ones are kept as written.
  virtual std::u16string ExpandEnvironment(std::u16string_view text) const = 0;
};

}  // namespace pivora

#include "platform/path_rules.h"

#include <algorithm>

namespace pivora {

std::optional<std::u16string_view> FolderOf(std::u16string_view path) {
  const std::size_t slash = path.rfind(u'\\');
  if (slash == std::u16string_view::npos) return std::nullopt;
  return path.substr(0, slash);
}

std::u16string_view NameOf(std::u16string_view path) { return path.substr(path.rfind(u'\\') + 1); }

std::u16string JoinPath(std::u16string_view folder, std::u16string_view name) {
  return std::u16string(folder) + u'\\' + std::u16string(name);
}

void ForEachReference(std::u16string_view text,
                      const std::function<bool(std::u16string_view)>& literal,
                      const std::function<bool(std::u16string_view)>& reference) {
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t open = text.find(u'%', i);
    const std::size_t close = open == std::u16string_view::npos ? open : text.find(u'%', open + 1);
    if (close == std::u16string_view::npos) {
      literal(text.substr(i));
      return;
    }
    if (!literal(text.substr(i, open - i)) || !reference(text.substr(open, close - open + 1))) {
      return;
    }
    i = close + 1;
  }
}

std::u16string ExpandEachReference(
    std::u16string_view text, const std::function<std::u16string(std::u16string_view)>& expand) {
  constexpr std::size_t kCut = kMaxLongPathUnits + 1;
  std::u16string out;
  out.reserve(std::min(text.size(), kCut));
  const auto append = [&](std::u16string_view more) {
    out += more.substr(0, kCut - out.size());
    return out.size() < kCut;
  };
  ForEachReference(text, append, [&](std::u16string_view pair) { return append(expand(pair)); });
  return out;
}

}  // namespace pivora

#include "core/pack_names.h"

#include <algorithm>
#include <cstddef>

#include "platform/path_reach.h"
#include "platform/text.h"

namespace pivora {
namespace {

constexpr std::size_t kMaxFolderName = 100;

bool NoNameHolds(char16_t c) {
  return c < 0x20 || std::u16string_view(u"<>:\"/\\|?*").find(c) != std::u16string_view::npos;
}

// The one rule for '%' and ',' in every name we give.
char16_t StoredUnit(char16_t c) { return c == u'%' || c == u',' ? u'_' : c; }

}  // namespace

std::u16string FolderNameFor(std::u16string_view schemeName) {
  std::u16string name;
  for (const char16_t c : schemeName) {
    name.push_back(NoNameHolds(c) ? u'_' : StoredUnit(c));
  }
  constexpr std::u16string_view kEnds = u" .";
  const std::size_t first = name.find_first_not_of(kEnds);
  if (first == std::u16string::npos) return {};
  name = name.substr(first, name.find_last_not_of(kEnds) - first + 1);
  if (name.size() > kMaxFolderName) {
    std::size_t cut = kMaxFolderName;
    // Never half a surrogate pair.
    if (name[cut - 1] >= 0xD800 && name[cut - 1] <= 0xDBFF) --cut;
    name.resize(cut);
    name.erase(name.find_last_not_of(kEnds) + 1);
  }
  if (name.empty() || IsDeviceName(name)) return {};
  return name;
}

std::u16string_view Trimmed(std::u16string_view name) {
  while (!name.empty() && (name.back() == u'.' || name.back() == u' ')) name.remove_suffix(1);
  return name;
}

std::optional<std::u16string> StoredName(std::u16string_view name) {
  name = Trimmed(name);
  if (name.empty() || IsDeviceName(name)) return std::nullopt;
  std::u16string stored;
  for (const char16_t c : name) {
    if (NoNameHolds(c)) return std::nullopt;
    stored.push_back(StoredUnit(c));
  }
  return stored;
}

std::optional<std::u16string> FirstCandidate(
    std::u16string_view name, int attempts,
    const std::function<Candidate(const std::u16string&)>& judge, bool beforeExtension) {
  const std::size_t dot = beforeExtension ? name.rfind(u'.') : std::u16string_view::npos;
  const std::u16string_view stem = name.substr(0, dot);
  const std::u16string_view extension =
      dot == std::u16string_view::npos ? std::u16string_view() : name.substr(dot);
  for (int number = 1; number <= attempts; ++number) {
    std::u16string candidate(stem);
    if (number > 1) candidate += u" (" + DecimalText(number) + u")";
    candidate += extension;
    switch (judge(candidate)) {
      case Candidate::kTake:
        return candidate;
      case Candidate::kStop:
        return std::nullopt;
      case Candidate::kNext:
        break;
    }
  }
  return std::nullopt;
}

std::u16string UniqueName(const std::u16string& name, const std::vector<std::u16string>& taken) {
  // Of taken.size() + 1 names one is free.
  return *FirstCandidate(
      name, static_cast<int>(taken.size()) + 1,
      [&](const std::u16string& candidate) {
        return Contains(taken, candidate) ? Candidate::kNext : Candidate::kTake;
      },
      true);
}

bool Contains(const std::vector<std::u16string>& names, std::u16string_view name) {
  return std::any_of(names.begin(), names.end(),
                     [&](const std::u16string& n) { return EqualsIgnoringAsciiCase(n, name); });
}

}  // namespace pivora

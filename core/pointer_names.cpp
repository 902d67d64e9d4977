#include "core/pointer_names.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

namespace pivora {
namespace {

using namespace std::string_view_literals;

// What one unit of a name is to the comparison: a letter or digit (folded: lower case, accents
// set aside), a mark to skip (a combining accent of a decomposed name), or a separator.
constexpr char16_t kSeparator = 0;
constexpr char16_t kSkip = 1;

// Latin Extended-A (U+0100..U+017F) without its accents, in lower case.
constexpr std::u16string_view kLatinExtendedA =
    u"aaaaaaccccccccddddeeeeeeeeeegggggggghhhhiiiiiiiiiiiijjkkklllllll"
    u"lllnnnnnnnnnoooooooorrrrrrssssssssttttttuuuuuuuuuuuuwwyyyzzzzzzs";
static_assert(kLatinExtendedA.size() == 0x80);
// Latin-1 letters (U+00C0..U+00FF) the same way; × and ÷ are separators.
constexpr std::u16string_view kLatin1 =
    u"aaaaaa\u00E6ceeeeiiiidnooooo\0ouuuuy\u00FE\u00DF"
    u"aaaaaa\u00E6ceeeeiiiidnooooo\0ouuuuy\u00FEy"sv;
static_assert(kLatin1.size() == 0x40);

char16_t Fold(char16_t c) {
  if (c >= u'a' && c <= u'z') return c;
  if (c >= u'0' && c <= u'9') return c;
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c - u'A' + u'a');
  if (c < 0xC0) return kSeparator;
  if (c <= 0xFF) return kLatin1[c - 0xC0];
  if (c <= 0x17F) return kLatinExtendedA[c - 0x100];
  if (c == 0x218 || c == 0x219) return u's';  // Romanian comma-below letters
  if (c == 0x21A || c == 0x21B) return u't';
  if (c < 0x250) return c;
  if (c >= 0x300 && c <= 0x36F) return kSkip;
  if (c >= 0x391 && c <= 0x3A9) return static_cast<char16_t>(c + 0x20);
  if (c >= 0x3AA && c <= 0x3FF) return c;
  if (c >= 0x400 && c <= 0x40F) return c == 0x401 ? u'\u0435' : static_cast<char16_t>(c + 0x50);
  if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 0x20);
  if (c == 0x451) return u'\u0435';  // ё is written е as often as not
  if (c >= 0x430 && c <= 0x4FF) return c;
  if (c >= 0x1100 && c <= 0x11FF) return c;  // Hangul jamo
  if (c >= 0x3040 && c <= 0x30FF) return c == 0x30FB || c == 0x30A0 ? kSeparator : c;  // kana
  if (c >= 0x3130 && c <= 0x318F) return c;
  if (c >= 0x3400 && c <= 0x9FFF) return c;  // CJK ideographs
  if (c >= 0xAC00 && c <= 0xD7A3) return c;  // Hangul syllables
  if (c >= 0xF900 && c <= 0xFAFF) return c;
  if (c >= 0xFF10 && c <= 0xFF19) return static_cast<char16_t>(c - 0xFF10 + u'0');  // full width
  if (c >= 0xFF21 && c <= 0xFF3A) return static_cast<char16_t>(c - 0xFF21 + u'a');
  if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 0xFF41 + u'a');
  return kSeparator;  // punctuation, spaces, surrogates, NUL, everything else
}

bool IsAsciiUpper(char16_t c) { return c >= u'A' && c <= u'Z'; }
bool IsAsciiLower(char16_t c) { return c >= u'a' && c <= u'z'; }

// A name as words: `text` holds the folded words one after another, `ends[i]` where word i
// ends. A connector ("and", "&", "+") is a word of its own, empty.
struct Words {
  std::u16string text;
  std::vector<std::size_t> ends;
  std::size_t size() const { return ends.size(); }
  std::u16string_view operator[](std::size_t i) const {
    const std::size_t begin = i == 0 ? 0 : ends[i - 1];
    return std::u16string_view(text).substr(begin, ends[i] - begin);
  }
};

constexpr std::u16string_view kConnectorWords[] = {u"and", u"und", u"et"};

bool IsConnector(std::u16string_view word) {
  return word.empty() || std::find(std::begin(kConnectorWords), std::end(kConnectorWords), word) !=
                             std::end(kConnectorWords);
}

std::u16string_view WithoutExtension(std::u16string_view name) {
  constexpr std::u16string_view kExtensions[] = {u".cur", u".ani"};
  for (const std::u16string_view extension : kExtensions) {
    if (EndsWithIgnoringAsciiCase(name, extension)) {
      return name.substr(0, name.size() - extension.size());
    }
  }
  return name;
}

// Splits at separators and where ASCII case says a new word starts ("AppStarting",
// "SizeNWSE", "IBeam"), so that a shared prefix written without separators is still a word.
Words SplitWords(std::u16string_view name) {
  Words words;
  words.text.reserve(name.size());
  bool inWord = false;
  auto endWord = [&] {
    if (inWord) words.ends.push_back(words.text.size());
    inWord = false;
  };
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char16_t c = name[i];
    if (c == u'&' || c == u'+') {
      endWord();
      words.ends.push_back(words.text.size());  // the empty connector word
      continue;
    }
    const char16_t folded = Fold(c);
    if (folded == kSkip) continue;
    if (folded == kSeparator) {
      endWord();
      continue;
    }
    if (inWord && i > 0 && IsAsciiUpper(c)) {
      const char16_t before = name[i - 1];
      const bool nextLower = i + 1 < name.size() && IsAsciiLower(name[i + 1]);
      if (IsAsciiLower(before) || (IsAsciiUpper(before) && nextLower)) endWord();
    }
    words.text.push_back(folded);
    inWord = true;
  }
  endWord();
  return words;
}

// The table keyed by its names with separators left out: what a run of words is compared with.
using RowIndex = std::unordered_map<std::u16string, const PointerNameRow*>;

std::u16string Joined(const Words& words, std::size_t begin, std::size_t end) {
  std::u16string key;
  for (std::size_t i = begin; i < end; ++i) key += words[i];
  return key;
}

const RowIndex& Index() {
  static const RowIndex index = [] {
    RowIndex built;
    for (const PointerNameRow& row : PointerNameRows()) {
      const Words words = SplitWords(row.name);
      built.emplace(Joined(words, 0, words.size()), &row);
    }
    return built;
  }();
  return index;
}

// The longest row name, in folded units: a run of words longer than that names nothing, so a
// huge name costs one pass and no copies.
std::size_t LongestRowKey() {
  static const std::size_t longest = [] {
    std::size_t length = 0;
    for (const auto& [key, row] : Index()) length = std::max(length, key.size());
    return length;
  }();
  return longest;
}

const PointerNameRow* Find(const Words& words, std::size_t begin, std::size_t end) {
  if (begin >= end) return nullptr;
  const std::size_t first = begin == 0 ? 0 : words.ends[begin - 1];
  if (words.ends[end - 1] - first > LongestRowKey()) return nullptr;
  const auto found = Index().find(Joined(words, begin, end));
  return found == Index().end() ? nullptr : found->second;
}

bool IsNumber(std::u16string_view word) {
  return !word.empty() &&
         std::all_of(word.begin(), word.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

// Words a copy of a file gets at its end ("arrow_old", "Busy - Copy"), in the languages above.
constexpr std::u16string_view kCopyWords[] = {u"copy",  u"old",   u"backup", u"bak",  u"orig",
                                              u"kopie", u"copie", u"copia",  u"kopia"};

bool IsCopyDecoration(std::u16string_view word) {
  return IsNumber(word) ||
         std::find(std::begin(kCopyWords), std::end(kCopyWords), word) != std::end(kCopyWords);
}

// Size tails the system's own files come in ("aero_arrow_xl").
constexpr std::u16string_view kSizeTails[] = {u"l", u"xl"};

enum class Rank : std::uint8_t { kDecorated, kPlain };

struct Hit {
  const PointerNameRow* row;
  Rank rank;
};

// How many words every name of the set starts (or, from the back, ends) with.
struct SharedAffixes {
  std::size_t prefix = 0;
  std::size_t suffix = 0;
};

SharedAffixes SharedWords(const std::vector<Words>& names) {
  SharedAffixes shared;
  if (names.size() < 2) return shared;
  const Words& first = names.front();
  shared.prefix = shared.suffix = first.size();
  for (const Words& other : names) {
    std::size_t prefix = 0;
    while (prefix < shared.prefix && prefix < other.size() && other[prefix] == first[prefix]) {
      ++prefix;
    }
    shared.prefix = prefix;
    std::size_t suffix = 0;
    while (suffix < shared.suffix && suffix < other.size() &&
           other[other.size() - 1 - suffix] == first[first.size() - 1 - suffix]) {
      ++suffix;
    }
    shared.suffix = suffix;
  }
  return shared;
}

// The words [begin, end) as a table name: as they are, then without a leading number, then
// without a size tail, then without copy decorations at the end.
std::optional<Hit> FindRun(const Words& words, std::size_t begin, std::size_t end) {
  if (const PointerNameRow* row = Find(words, begin, end)) return Hit{row, Rank::kPlain};
  if (end - begin > 1 && IsNumber(words[begin])) {
    ++begin;
    if (const PointerNameRow* row = Find(words, begin, end)) return Hit{row, Rank::kPlain};
  }
  if (end - begin > 1 && std::find(std::begin(kSizeTails), std::end(kSizeTails), words[end - 1]) !=
                             std::end(kSizeTails)) {
    const PointerNameRow* row = Find(words, begin, end - 1);
    if (row && row->convention == NameConvention::kSystemFile) return Hit{row, Rank::kPlain};
  }
  // One decoration at a time, so that "Diagonal Resize 2 (2)" keeps its own number.
  while (end - begin > 1 && IsCopyDecoration(words[end - 1])) {
    --end;
    if (const PointerNameRow* row = Find(words, begin, end)) return Hit{row, Rank::kDecorated};
  }
  return std::nullopt;
}

// The hits of one name: one table name, or several joined by connectors.
std::vector<Hit> FindHits(const Words& words, std::size_t begin, std::size_t end) {
  if (const std::optional<Hit> hit = FindRun(words, begin, end)) return {*hit};
  std::vector<Hit> hits;
  std::size_t part = begin;
  for (std::size_t i = begin; i <= end; ++i) {
    if (i < end && !IsConnector(words[i])) continue;
    const std::optional<Hit> hit = FindRun(words, part, i);
    if (!hit) return {};
    hits.push_back(*hit);
    part = i + 1;
  }
  if (hits.size() < 2) return {};
  return hits;
}

std::vector<Hit> HitsOf(const Words& words, const SharedAffixes& shared) {
  std::vector<Hit> hits = FindHits(words, 0, words.size());
  if (hits.empty() && shared.prefix + shared.suffix < words.size()) {
    hits = FindHits(words, shared.prefix, words.size() - shared.suffix);
  }
  return hits;
}

}  // namespace

PointerNameMatch MatchPointerNames(const std::vector<std::u16string>& names) {
  const std::size_t count = std::min(names.size(), kMaxPointerNames);
  std::vector<Words> words;
  words.reserve(count);
  for (std::size_t i = 0; i < count; ++i) words.push_back(SplitWords(WithoutExtension(names[i])));
  const SharedAffixes shared = SharedWords(words);

  std::vector<std::vector<Hit>> hits(count);
  // How many files name each role with a word of one meaning: what decides a word of two.
  std::array<std::size_t, kAllPointerRoleCount> clearly{};
  for (std::size_t i = 0; i < count; ++i) {
    hits[i] = HitsOf(words[i], shared);
    for (const Hit& hit : hits[i]) {
      if (hit.row->otherRole == kNoOtherRole) ++clearly[hit.row->role];
    }
  }

  PointerNameMatch match;
  std::array<Rank, kAllPointerRoleCount> rank{};
  for (std::size_t i = 0; i < count; ++i) {
    auto clearlyElsewhere = [&](std::size_t role) {
      const bool own = std::any_of(hits[i].begin(), hits[i].end(), [&](const Hit& hit) {
        return hit.row->otherRole == kNoOtherRole && hit.row->role == role;
      });
      return clearly[role] > (own ? 1u : 0u);
    };
    for (const Hit& hit : hits[i]) {
      std::size_t role = hit.row->role;
      if (hit.row->otherRole != kNoOtherRole && clearlyElsewhere(role)) {
        if (clearlyElsewhere(hit.row->otherRole)) continue;
        role = hit.row->otherRole;
      }
      std::optional<std::size_t>& file = match.files[role];
      const bool better = !file || hit.rank > rank[role] ||
                          (hit.rank == rank[role] && names[i].size() < names[*file].size());
      if (!better) continue;
      file = i;
      rank[role] = hit.rank;
      match.conventions[role] = hit.row->convention;
    }
  }
  return match;
}

}  // namespace pivora

// Our own implementation of the path rules, following what Wine 8's shlwapi does for the same
// input, quirks included, so that the native tests and the Windows build agree.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/portable_path_rules.h"

namespace pivora {

namespace {

constexpr char16_t kSeparator = u'\\';

// The buffer size of the platform's path functions, terminator included.
constexpr std::size_t kPathBufferUnits = kMaxPathUnits + 1;

// Upper-case mapping of single UTF-16 units, as runs of units that move by the same distance:
// every unit from `first` to `last` in steps of `step` maps to itself plus `delta` (modulo
// 2^16). Taken from towupper over every unit under Wine 8, which is what shlwapi compares paths
// with; it leaves some letters alone that fuller mappings change (U+0131, U+017F, U+00B5, U+00DF).
struct CaseRun {
  char16_t first;
  char16_t last;
  std::int32_t delta;
  std::uint8_t step;
};

constexpr CaseRun kUpperRuns[] = {
    {0x0061, 0x007A, -32, 1},    {0x00E0, 0x00F6, -32, 1},    {0x00F8, 0x00FE, -32, 1},
    {0x00FF, 0x00FF, 121, 1},    {0x0101, 0x012F, -1, 2},     {0x0133, 0x0137, -1, 2},
    {0x013A, 0x0148, -1, 2},     {0x014B, 0x0177, -1, 2},     {0x017A, 0x017E, -1, 2},
    {0x0180, 0x0180, 195, 1},    {0x0183, 0x0185, -1, 2},     {0x0188, 0x0188, -1, 1},
    {0x018C, 0x018C, -1, 1},     {0x0192, 0x0192, -1, 1},     {0x0195, 0x0195, 97, 1},
    {0x0199, 0x0199, -1, 1},     {0x019A, 0x019A, 163, 1},    {0x019E, 0x019E, 130, 1},
    {0x01A1, 0x01A5, -1, 2},     {0x01A8, 0x01A8, -1, 1},     {0x01AD, 0x01AD, -1, 1},
    {0x01B0, 0x01B0, -1, 1},     {0x01B4, 0x01B6, -1, 2},     {0x01B9, 0x01B9, -1, 1},
    {0x01BD, 0x01BD, -1, 1},     {0x01BF, 0x01BF, 56, 1},     {0x01C6, 0x01C6, -2, 1},
    {0x01C9, 0x01C9, -2, 1},     {0x01CC, 0x01CC, -2, 1},     {0x01CE, 0x01DC, -1, 2},
    {0x01DD, 0x01DD, -79, 1},    {0x01DF, 0x01EF, -1, 2},     {0x01F3, 0x01F3, -2, 1},
    {0x01F5, 0x01F5, -1, 1},     {0x01F9, 0x021F, -1, 2},     {0x0223, 0x0233, -1, 2},
    {0x023C, 0x023C, -1, 1},     {0x023F, 0x0240, 10815, 1},  {0x0242, 0x0242, -1, 1},
    {0x0247, 0x024F, -1, 2},     {0x0250, 0x0250, 10783, 1},  {0x0251, 0x0251, 10780, 1},
    {0x0252, 0x0252, 10782, 1},  {0x0253, 0x0253, -210, 1},   {0x0254, 0x0254, -206, 1},
    {0x0256, 0x0257, -205, 1},   {0x0259, 0x0259, -202, 1},   {0x025B, 0x025B, -203, 1},
    {0x025C, 0x025C, 42319, 1},  {0x0260, 0x0260, -205, 1},   {0x0261, 0x0261, 42315, 1},
    {0x0263, 0x0263, -207, 1},   {0x0265, 0x0265, 42280, 1},  {0x0266, 0x0266, 42308, 1},
    {0x0268, 0x0268, -209, 1},   {0x0269, 0x0269, -211, 1},   {0x026A, 0x026A, 42308, 1},
    {0x026B, 0x026B, 10743, 1},  {0x026C, 0x026C, 42305, 1},  {0x026F, 0x026F, -211, 1},
    {0x0271, 0x0271, 10749, 1},  {0x0272, 0x0272, -213, 1},   {0x0275, 0x0275, -214, 1},
    {0x027D, 0x027D, 10727, 1},  {0x0280, 0x0280, -218, 1},   {0x0282, 0x0282, 42307, 1},
    {0x0283, 0x0283, -218, 1},   {0x0287, 0x0287, 42282, 1},  {0x0288, 0x0288, -218, 1},
    {0x0289, 0x0289, -69, 1},    {0x028A, 0x028B, -217, 1},   {0x028C, 0x028C, -71, 1},
    {0x0292, 0x0292, -219, 1},   {0x029D, 0x029D, 42261, 1},  {0x029E, 0x029E, 42258, 1},
    {0x0371, 0x0373, -1, 2},     {0x0377, 0x0377, -1, 1},     {0x037B, 0x037D, 130, 1},
    {0x03AC, 0x03AC, -38, 1},    {0x03AD, 0x03AF, -37, 1},    {0x03B1, 0x03C1, -32, 1},
    {0x03C3, 0x03CB, -32, 1},    {0x03CC, 0x03CC, -64, 1},    {0x03CD, 0x03CE, -63, 1},
    {0x03D7, 0x03D7, -8, 1},     {0x03D9, 0x03EF, -1, 2},     {0x03F2, 0x03F2, 7, 1},
    {0x03F3, 0x03F3, -116, 1},   {0x03F8, 0x03F8, -1, 1},     {0x03FB, 0x03FB, -1, 1},
    {0x0430, 0x044F, -32, 1},    {0x0450, 0x045F, -80, 1},    {0x0461, 0x0481, -1, 2},
    {0x048B, 0x04BF, -1, 2},     {0x04C2, 0x04CE, -1, 2},     {0x04CF, 0x04CF, -15, 1},
    {0x04D1, 0x052F, -1, 2},     {0x0561, 0x0586, -48, 1},    {0x10D0, 0x10FA, 3008, 1},
    {0x10FD, 0x10FF, 3008, 1},   {0x13F8, 0x13FD, -8, 1},     {0x1D79, 0x1D79, 35332, 1},
    {0x1D7D, 0x1D7D, 3814, 1},   {0x1D8E, 0x1D8E, 35384, 1},  {0x1E01, 0x1E95, -1, 2},
    {0x1EA1, 0x1EFF, -1, 2},     {0x1F00, 0x1F07, 8, 1},      {0x1F10, 0x1F15, 8, 1},
    {0x1F20, 0x1F27, 8, 1},      {0x1F30, 0x1F37, 8, 1},      {0x1F40, 0x1F45, 8, 1},
    {0x1F51, 0x1F57, 8, 2},      {0x1F60, 0x1F67, 8, 1},      {0x1F70, 0x1F71, 74, 1},
    {0x1F72, 0x1F75, 86, 1},     {0x1F76, 0x1F77, 100, 1},    {0x1F78, 0x1F79, 128, 1},
    {0x1F7A, 0x1F7B, 112, 1},    {0x1F7C, 0x1F7D, 126, 1},    {0x1F80, 0x1F87, 8, 1},
    {0x1F90, 0x1F97, 8, 1},      {0x1FA0, 0x1FA7, 8, 1},      {0x1FB0, 0x1FB1, 8, 1},
    {0x1FB3, 0x1FB3, 9, 1},      {0x1FC3, 0x1FC3, 9, 1},      {0x1FD0, 0x1FD1, 8, 1},
    {0x1FE0, 0x1FE1, 8, 1},      {0x1FE5, 0x1FE5, 7, 1},      {0x1FF3, 0x1FF3, 9, 1},
    {0x214E, 0x214E, -28, 1},    {0x2170, 0x217F, -16, 1},    {0x2184, 0x2184, -1, 1},
    {0x24D0, 0x24E9, -26, 1},    {0x2C30, 0x2C5F, -48, 1},    {0x2C61, 0x2C61, -1, 1},
    {0x2C65, 0x2C65, -10795, 1}, {0x2C66, 0x2C66, -10792, 1}, {0x2C68, 0x2C6C, -1, 2},
    {0x2C73, 0x2C73, -1, 1},     {0x2C76, 0x2C76, -1, 1},     {0x2C81, 0x2CE3, -1, 2},
    {0x2CEC, 0x2CEE, -1, 2},     {0x2CF3, 0x2CF3, -1, 1},     {0x2D00, 0x2D25, -7264, 1},
    {0x2D27, 0x2D27, -7264, 1},  {0x2D2D, 0x2D2D, -7264, 1},  {0xA641, 0xA66D, -1, 2},
    {0xA681, 0xA69B, -1, 2},     {0xA723, 0xA72F, -1, 2},     {0xA733, 0xA76F, -1, 2},
    {0xA77A, 0xA77C, -1, 2},     {0xA77F, 0xA787, -1, 2},     {0xA78C, 0xA78C, -1, 1},
    {0xA791, 0xA793, -1, 2},     {0xA794, 0xA794, 48, 1},     {0xA797, 0xA7A9, -1, 2},
    {0xA7B5, 0xA7C3, -1, 2},     {0xA7C8, 0xA7CA, -1, 2},     {0xA7D1, 0xA7D1, -1, 1},
    {0xA7D7, 0xA7D9, -1, 2},     {0xA7F6, 0xA7F6, -1, 1},     {0xAB53, 0xAB53, -928, 1},
    {0xAB70, 0xABBF, -38864, 1}, {0xFF41, 0xFF5A, -32, 1},
};

char16_t ToUpper(char16_t unit) {
  if (unit < 0x80) return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 32) : unit;
  const auto after = std::upper_bound(std::begin(kUpperRuns), std::end(kUpperRuns), unit,
                                      [](char16_t u, const CaseRun& run) { return u < run.first; });
  if (after == std::begin(kUpperRuns)) return unit;
  const CaseRun& run = *std::prev(after);
  if (unit > run.last || (unit - run.first) % run.step != 0) return unit;
  return static_cast<char16_t>(static_cast<std::uint32_t>(unit + run.delta) & 0xFFFFu);
}

std::u16string ToUpper(std::u16string_view text) {
  std::u16string upper(text);
  for (char16_t& unit : upper) unit = ToUpper(unit);
  return upper;
}

// The Windows functions see a string up to its first zero unit; so do we.
std::u16string_view UpToZero(std::u16string_view text) { return text.substr(0, text.find(u'\0')); }

// Unit `i` of `text`, reading past the end as the terminator.
char16_t At(std::u16string_view text, std::size_t i) { return i < text.size() ? text[i] : u'\0'; }

bool IsUnc(std::u16string_view path) {
  return At(path, 0) == kSeparator && At(path, 1) == kSeparator;
}

bool IsRelativeUpToZero(std::u16string_view path) {
  return !(At(path, 0) == kSeparator || (!path.empty() && At(path, 1) == u':'));
}

// "\\server" or "\\server\share" with nothing after the share.
bool IsUncServerShare(std::u16string_view path) {
  if (!IsUnc(path)) return false;
  return std::count(path.begin() + 2, path.end(), kSeparator) == 1;
}

// PathRemoveFileSpec: the path up to, not including, the separator before the last component;
// roots ("C:\", "\", "\\") keep their separators.
std::u16string_view RemoveFileSpec(std::u16string_view path) {
  std::size_t i = 0;
  std::size_t cut = 0;
  if (At(path, i) == kSeparator) cut = ++i;
  if (At(path, i) == kSeparator) cut = ++i;
  for (; i < path.size(); ++i) {
    if (path[i] == kSeparator) {
      cut = i;
    } else if (path[i] == u':') {
      cut = ++i;
      if (At(path, i) == kSeparator) ++cut;
      // Wine 8 steps past the terminator after a path ending in ':' and reads on into the rest
      // of its buffer; the path itself stays whole.
      if (i >= path.size()) return path;
    }
  }
  return path.substr(0, cut);
}

// PathCommonPrefix: the length of the leading components the two paths share, compared without
// case. A shared drive "C:" counts as three units, its separator included.
std::size_t CommonPrefix(std::u16string_view a, std::u16string_view b) {
  std::size_t i = 0;
  if (IsUnc(a)) {
    if (!IsUnc(b)) return 0;
    i = 2;
  } else if (IsUnc(b)) {
    return 0;
  }
  std::size_t common = 0;
  for (;; ++i) {
    const char16_t x = At(a, i);
    const char16_t y = At(b, i);
    if ((x == u'\0' || x == kSeparator) && (y == u'\0' || y == kSeparator)) common = i;
    if (x == u'\0' || ToUpper(x) != ToUpper(y)) break;
  }
  return common == 2 ? 3 : common;
}

// PathFindNextComponent: the position after the next separator (a doubled one counts as one), or
// the end.
std::size_t NextComponent(std::u16string_view path, std::size_t from) {
  const std::size_t separator = path.find(kSeparator, from);
  if (separator == std::u16string_view::npos) return path.size();
  return At(path, separator + 1) == kSeparator ? separator + 2 : separator + 1;
}

// PathCanonicalize: "." segments dropped, ".." segments take the previous component with them but
// never climb above a drive root, and a UNC server keeps its name.
std::u16string Canonicalize(std::u16string_view path) {
  if (path.empty()) return std::u16string(1, kSeparator);
  std::u16string out(path.size() + 2, u'\0');
  // The unit before the output buffer; the Windows build keeps a zero there.
  const auto out_at = [&out](std::size_t i, std::size_t back) {
    return i >= back ? out[i - back] : u'\0';
  };
  std::size_t src = 0;
  std::size_t dst = 0;
  if (path[0] == kSeparator) {
    out[dst++] = path[src++];
  } else if (At(path, 1) == u':') {
    out[dst++] = path[src++];
    out[dst++] = path[src++];
    if (At(path, src) == kSeparator) out[dst++] = path[src++];
  }

  while (src < path.size()) {
    const bool dot = path[src] == u'.';
    if (dot && At(path, src + 1) == kSeparator &&
        (src == 0 || path[src - 1] == kSeparator || path[src - 1] == u':')) {
      src += 2;
    } else if (dot && At(path, src + 1) == u'.' && dst != 0 && out[dst - 1] == kSeparator) {
      out[dst] = u'\0';
      if (dst > 1 && (out[dst - 2] != kSeparator || dst > 2)) {
        if (out[dst - 2] == u':' && (dst > 3 || out_at(dst, 3) == u':')) {
          // "X:\.." deeper in the path: back over that component as well.
          dst -= 2;
          while (dst > 0 && out[dst] != kSeparator) --dst;
          dst = out[dst] == kSeparator ? dst + 1 : 0;
        } else if (out[dst - 2] != u':' &&
                   !IsUncServerShare(std::u16string_view(out).substr(0, dst))) {
          dst -= 2;
        }
      }
      while (dst > 0 && out[dst] != kSeparator) --dst;
      if (dst == 0) {
        // Climbed out of a relative path: it starts again from "\", and the separator after the
        // ".." is skipped. Wine 8 reads past the end when ".." was the last segment ("a\.."
        // gives "\" followed by whatever its buffer held); we stop at the end.
        out[dst++] = kSeparator;
        ++src;
      }
      src += 2;
    } else {
      out[dst++] = path[src++];
    }
  }
  if (dst == 2 && out[1] == u':') out[dst++] = kSeparator;
  out.resize(dst);
  return out;
}

}  // namespace

PortablePathRules::PortablePathRules(std::map<std::u16string, std::u16string> environment) {
  for (auto& [name, value] : environment) environment_[ToUpper(name)] = std::move(value);
}

std::optional<std::u16string> PortablePathRules::RelativePathTo(std::u16string_view folder,
                                                                std::u16string_view file) const {
  folder = UpToZero(folder);
  file = UpToZero(file);
  if (folder.size() > kMaxPathUnits || file.size() > kMaxPathUnits) return std::nullopt;

  const std::size_t common = CommonPrefix(folder, RemoveFileSpec(file));
  if (common == 0) return std::nullopt;

  // One ".." for every folder component past the shared part.
  std::u16string result;
  std::size_t rest = common;
  if (rest >= folder.size()) result = u".";
  if (At(folder, rest) == kSeparator) ++rest;
  while (rest < folder.size()) {
    rest = NextComponent(folder, rest);
    result += rest < folder.size() ? u"..\\" : u"..";
  }

  // Then the file's own components past the shared part, from the separator that starts them.
  if (common < file.size()) {
    std::size_t tail = common;
    if (file[tail] != kSeparator) --tail;
    if (result.size() + (file.size() - tail) >= kPathBufferUnits) return std::nullopt;
    result += file.substr(tail);
  }
  if (result.size() > kMaxPathUnits) return std::nullopt;
  return result;
}

bool IsRelativePath(std::u16string_view path) { return IsRelativeUpToZero(UpToZero(path)); }

bool PortablePathRules::IsRelative(std::u16string_view path) const { return IsRelativePath(path); }

std::optional<std::u16string> PortablePathRules::Append(std::u16string_view folder,
                                                        std::u16string_view more) const {
  return AppendPath(folder, more);
}

std::optional<std::u16string> AppendPath(std::u16string_view folder, std::u16string_view more) {
  folder = UpToZero(folder);
  more = UpToZero(more);
  if (folder.size() > kMaxPathUnits || more.size() > kMaxPathUnits) return std::nullopt;

  // Leading separators of `more` are dropped unless it names a UNC path, so "\x" goes below
  // `folder` rather than to the root of its drive.
  if (!IsUnc(more)) more.remove_prefix(std::min(more.find_first_not_of(kSeparator), more.size()));

  std::u16string joined;
  if (more.empty()) {
    joined = folder;
  } else if (folder.empty() || !IsRelativeUpToZero(more)) {
    joined = more;
  } else {
    joined = folder;
    if (joined.back() != kSeparator) joined += kSeparator;
    if (joined.size() + more.size() >= kPathBufferUnits) return std::nullopt;
    joined += more;
  }
  std::u16string result = Canonicalize(joined);
  if (result.size() > kMaxPathUnits) return std::nullopt;
  return result;
}

std::u16string PortablePathRules::ExpandEnvironment(std::u16string_view text) const {
  return ExpandEachReference(UpToZero(text), [this](std::u16string_view reference) {
    const auto found = environment_.find(ToUpper(reference.substr(1, reference.size() - 2)));
    return found != environment_.end() ? found->second : std::u16string(reference);
  });
}

}  // namespace pivora

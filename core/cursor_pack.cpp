#include "core/cursor_pack.h"

#include <algorithm>
#include <map>
#include <unordered_set>
#include <vector>

#include "platform/path_reach.h"
#include "platform/path_rules.h"
#include "platform/text.h"

namespace pivora {
namespace {

constexpr std::u16string_view kBlanks = u" \t";
constexpr std::size_t kMaxFolderName = 100;
// The system's INF line limit: no substituted field grows past it.
constexpr std::size_t kMaxFieldUnits = 4096;
// What walking the sections and substituting may do in all, in units walked or written:
// references that repeat a long string in every field, or name one long section many times,
// would otherwise grow the work far past the file's size.
constexpr std::size_t kWorkSlack = 64 * 1024;
constexpr std::size_t kWorkPerUnit = 4;

// The roles in the order of a scheme value in HKCU\Control Panel\Cursors\Schemes, which is the
// roles' own order.
constexpr std::u16string_view kCursorsKey = u"Control Panel\\Cursors";
constexpr std::u16string_view kSchemesKey = u"Control Panel\\Cursors\\Schemes";

std::u16string_view Trim(std::u16string_view text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::u16string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::u16string Folded(std::u16string_view text) {
  std::u16string folded(text);
  std::transform(folded.begin(), folded.end(), folded.begin(), AsciiUpper);
  return folded;
}

// A line without its comment: a semicolon outside quotes starts one.
std::u16string_view WithoutComment(std::u16string_view line) {
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == u'"') quoted = !quoted;
    if (line[i] == u';' && !quoted) return line.substr(0, i);
  }
  return line;
}

// A quoted text: a doubled quote is one quote, the closing quote ends it. Unquoted: a lone quote
// is dropped, as the system's reader does.
std::u16string Unquoted(std::u16string_view text) {
  std::u16string out;
  if (!text.empty() && text.front() == u'"') {
    for (std::size_t i = 1; i < text.size(); ++i) {
      if (text[i] != u'"') {
        out.push_back(text[i]);
      } else if (i + 1 < text.size() && text[i + 1] == u'"') {
        out.push_back(u'"');
        ++i;
      } else {
        break;
      }
    }
    return out;
  }
  for (const char16_t c : text) {
    if (c != u'"') out.push_back(c);
  }
  return out;
}

// The comma-separated fields of a line, commas inside quotes included in their field.
std::vector<std::u16string_view> Fields(std::u16string_view line) {
  std::vector<std::u16string_view> fields;
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= line.size(); ++i) {
    if (i < line.size() && line[i] == u'"') quoted = !quoted;
    if (i == line.size() || (line[i] == u',' && !quoted)) {
      fields.push_back(Trim(line.substr(start, i - start)));
      start = i + 1;
    }
  }
  return fields;
}

class InfFile {
 public:
  explicit InfFile(std::u16string_view text) : budget_(kWorkPerUnit * text.size() + kWorkSlack) {
    std::vector<std::u16string_view>* section = nullptr;
    std::size_t start = 0;
    while (start <= text.size()) {
      std::size_t end = text.find_first_of(u"\r\n", start);
      if (end == std::u16string_view::npos) end = text.size();
      const std::u16string_view line = Trim(WithoutComment(text.substr(start, end - start)));
      start = end + 1;
      if (line.empty()) continue;
      if (line.front() == u'[') {
        const std::size_t close = line.find(u']');
        const std::u16string name =
            Folded(Trim(line.substr(1, close == std::u16string_view::npos ? close : close - 1)));
        section = &sections_[name];
        order_.push_back(name);
      } else if (section != nullptr) {
        section->push_back(line);
      }
    }
    for (const std::u16string_view line : Lines(u"STRINGS")) {
      const std::size_t equals = line.find(u'=');
      if (equals == std::u16string_view::npos) continue;
      const std::u16string key = Folded(Trim(line.substr(0, equals)));
      strings_.emplace(key, Unquoted(Trim(line.substr(equals + 1))));
    }
  }

  const std::vector<std::u16string_view>& Lines(std::u16string_view folded) const {
    static const std::vector<std::u16string_view> kNone;
    const auto found = sections_.find(std::u16string(folded));
    return found == sections_.end() ? kNone : found->second;
  }

  // The section the pack installs from: DefaultInstall, or the first of its decorated forms
  // (DefaultInstall.NT, DefaultInstall.NTamd64, ...).
  std::optional<std::u16string> InstallSection() const {
    if (sections_.count(u"DEFAULTINSTALL") != 0) return u"DEFAULTINSTALL";
    for (const std::u16string& name : order_) {
      if (name.starts_with(u"DEFAULTINSTALL.")) return name;
    }
    return std::nullopt;
  }

  // Charges a section's line to the budget before it is read: false once the INF is spent.
  bool Visit(std::u16string_view line) {
    budget_ -= std::min(line.size() + 1, budget_);
    return !Spent();
  }

  // %key% replaced from [Strings] (keys compare without case), %% by a percent sign; an unknown
  // key, such as a folder number, stays as written. A field stops at kMaxFieldUnits; what is
  // written is charged to the budget, and stops when it is spent.
  std::u16string Substituted(std::u16string_view text) {
    std::u16string out;
    const auto append = [&](std::u16string_view more) {
      more = more.substr(0, std::min(kMaxFieldUnits - out.size(), budget_));
      out.append(more);
      budget_ -= more.size();
      return out.size() < kMaxFieldUnits && budget_ > 0;
    };
    ForEachReference(text, append, [&](std::u16string_view pair) {
      const std::u16string_view key = pair.substr(1, pair.size() - 2);
      if (key.empty()) return append(u"%");
      const auto found = strings_.find(Folded(key));
      return append(found != strings_.end() ? std::u16string_view(found->second) : pair);
    });
    return out;
  }

  // Whether reading did all it may: what the INF says can no longer be read whole.
  bool Spent() const { return budget_ == 0; }

  // A field's value: unquoted, then substituted.
  std::u16string Value(std::u16string_view field) { return Substituted(Unquoted(field)); }

 private:
  std::map<std::u16string, std::vector<std::u16string_view>> sections_;  // by folded name
  std::vector<std::u16string> order_;
  std::map<std::u16string, std::u16string> strings_;  // by folded key
  std::size_t budget_;
};

// The file name of a path, whichever separator it uses.
std::u16string FileNameOf(std::u16string_view path) {
  path = Trim(path);
  const std::size_t slash = path.find_last_of(u"\\/");
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

bool IsCurrentUser(std::u16string_view root) {
  return EqualsIgnoringAsciiCase(root, u"HKCU") ||
         EqualsIgnoringAsciiCase(root, u"HKEY_CURRENT_USER");
}

// What one AddReg section sets: the scheme list, and roles named one by one.
struct Settings {
  std::optional<std::u16string> schemeName;
  std::optional<std::u16string> defaultName;  // the Cursors key's own value
  std::array<std::optional<std::u16string>, kAllPointerRoleCount> listed;
  std::array<std::optional<std::u16string>, kAllPointerRoleCount> named;
};

// The AddReg sections the install section names, by folded name, each once: where a name
// repeats, only its last place is kept, since reading the section there again would leave the
// last word to it anyway.
std::vector<std::u16string> AddRegSections(InfFile& inf, std::u16string_view install) {
  std::vector<std::u16string> named;
  for (const std::u16string_view line : inf.Lines(install)) {
    if (!inf.Visit(line)) return {};
    const std::size_t equals = line.find(u'=');
    if (equals == std::u16string_view::npos ||
        !EqualsIgnoringAsciiCase(Trim(line.substr(0, equals)), u"AddReg")) {
      continue;
    }
    for (const std::u16string_view section : Fields(line.substr(equals + 1))) {
      if (section.empty()) continue;
      named.push_back(Folded(inf.Value(section)));
      if (inf.Spent()) return {};
    }
  }
  std::vector<std::u16string> once;
  std::unordered_set<std::u16string_view> later;
  for (auto name = named.rbegin(); name != named.rend(); ++name) {
    if (later.insert(*name).second) once.push_back(*name);
  }
  std::reverse(once.begin(), once.end());
  return once;
}

void ReadAddReg(InfFile& inf, std::u16string_view folded, Settings& settings) {
  for (const std::u16string_view line : inf.Lines(folded)) {
    if (!inf.Visit(line)) return;
    const std::vector<std::u16string_view> fields = Fields(line);
    if (fields.size() < 3 || !IsCurrentUser(inf.Value(fields[0]))) continue;
    const std::u16string key = inf.Value(fields[1]);
    const std::u16string name = inf.Value(fields[2]);
    const std::u16string value = fields.size() > 4 ? inf.Value(fields[4]) : std::u16string();
    if (EqualsIgnoringAsciiCase(key, kSchemesKey)) {
      settings.schemeName = name;
      const std::vector<std::u16string_view> paths = Fields(value);
      for (std::size_t role = 0; role < kAllPointerRoleCount && role < paths.size(); ++role) {
        settings.listed[role] = FileNameOf(paths[role]);
      }
    } else if (EqualsIgnoringAsciiCase(key, kCursorsKey)) {
      if (name.empty()) {
        settings.defaultName = value;
      } else if (const std::optional<std::size_t> role = RoleNamed(name)) {
        settings.named[*role] = FileNameOf(value);
      }
    }
  }
}

bool MentionsCursors(std::u16string_view text) {
  constexpr std::u16string_view kWord = u"cursors";
  for (std::size_t at = text.find_first_of(u"cC"); at != std::u16string_view::npos;
       at = text.find_first_of(u"cC", at + 1)) {
    if (EqualsIgnoringAsciiCase(text.substr(at, kWord.size()), kWord)) return true;
  }
  return false;
}

// Whether `bytes` are well-formed UTF-8 (no overlong forms, no surrogates, nothing past
// U+10FFFF) with at least one byte outside ASCII: text in a single-byte code page is almost
// never that.
bool IsUtf8BeyondAscii(std::string_view bytes) {
  bool beyond = false;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    beyond = true;
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (i + length > bytes.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) return false;
    }
    i += length;
  }
  return beyond;
}

}  // namespace

std::u16string DecodeInfText(std::string_view bytes) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    std::u16string text((bytes.size() - 2) / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
      text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                      static_cast<unsigned char>(bytes[3 + 2 * i]) << 8);
    }
    return text;
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) return Utf8ToUtf16(bytes.substr(3));
  // Some packs are UTF-8 without a mark.
  if (IsUtf8BeyondAscii(bytes)) return Utf8ToUtf16(bytes);
  return AnsiToUtf16(bytes);
}

std::optional<CursorPack> ReadCursorPack(std::u16string_view text) {
  // Every pack names the Cursors key, in a line or a string: an INF that never says "cursors"
  // is decided on at once, without reading its sections.
  if (!MentionsCursors(text)) return std::nullopt;
  InfFile inf(text);
  const std::optional<std::u16string> install = inf.InstallSection();
  if (!install) return std::nullopt;
  Settings settings;
  for (const std::u16string& section : AddRegSections(inf, *install)) {
    ReadAddReg(inf, section, settings);
  }
  // An INF whose reading grows past what any pack needs is not taken for one.
  if (inf.Spent()) return std::nullopt;
  CursorPack pack;
  bool namesAFile = false;
  for (std::size_t role = 0; role < kAllPointerRoleCount; ++role) {
    // A role named on its own line wins over the scheme's list.
    pack.files[role] = settings.named[role] ? settings.named[role] : settings.listed[role];
    if (pack.files[role] && !pack.files[role]->empty()) namesAFile = true;
  }
  if (!namesAFile) return std::nullopt;
  pack.schemeName = settings.schemeName.value_or(settings.defaultName.value_or(u""));
  return pack;
}

PackSource PackSourceOf(std::u16string_view infPath, const CursorPack& pack) {
  const std::u16string_view folder = FolderOf(infPath).value_or(u"");
  PackSource source;
  source.key = infPath;
  source.schemeName = pack.schemeName;
  if (FolderNameFor(source.schemeName).empty()) {
    source.schemeName = folder.substr(folder.rfind(u'\\') + 1);
  }
  for (std::size_t role = 0; role < kAllPointerRoleCount; ++role) {
    const std::optional<std::u16string>& name = pack.files[role];
    if (!name) continue;
    if (name->find_first_of(u"\\/") != std::u16string::npos) {
      source.rolesLeft.push_back(role);
      continue;
    }
    source.files[role] = name->empty() ? u"" : std::u16string(folder) + u'\\' + *name;
  }
  return source;
}

std::optional<PackSource> ReadPackInf(FileSystem& files, std::u16string_view infPath) {
  if (!FolderOf(infPath)) return std::nullopt;
  const std::optional<std::string> bytes = ReadWholeFile(files, infPath, kMaxPackInfBytes);
  if (!bytes) return std::nullopt;
  const std::optional<CursorPack> pack = ReadCursorPack(DecodeInfText(*bytes));
  if (!pack) return std::nullopt;
  return PackSourceOf(infPath, *pack);
}

std::u16string FolderNameFor(std::u16string_view schemeName) {
  std::u16string name;
  for (const char16_t c : schemeName) {
    // '%' and ',' can be in a name, but the folder's paths are stored where '%' names a variable
    // and ',' separates the system's scheme list.
    const bool forbidden =
        c < 0x20 || std::u16string_view(u"<>:\"/\\|?*%,").find(c) != std::u16string_view::npos;
    name.push_back(forbidden ? u'_' : c);
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

}  // namespace pivora

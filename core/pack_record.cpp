#include "core/pack_record.h"

#include "platform/path_rules.h"
#include "platform/text.h"

namespace pivora {
namespace {

// The record's lines: the source's key first, then each file the install wrote, a line each, then
// after kBeforeLine the settings the first install found, a line each (the default value's name
// is empty; an absent value has no line): "Name=text" for a value of the name's usual type,
// "Name:type=text" for a string of another type, "Name#type=hex bytes" for anything else. Last
// the pack's entry in the system's scheme list and the paths written there (kListLine,
// kListPathsLine; an empty entry when none was written). Readers of the first records, which had
// only "Name=text" lines, pass over the lines they do not know.
constexpr std::u16string_view kBeforeLine = u":before";
constexpr std::u16string_view kListLine = u":list=";
constexpr std::u16string_view kListPathsLine = u":list paths=";

// Values are the person's own text: a line break in one must not end its line.
std::u16string Escaped(std::u16string_view text) {
  std::u16string out;
  for (const char16_t c : text) {
    out += c == u'|' ? u"||" : c == u'\r' ? u"|r" : c == u'\n' ? u"|n" : std::u16string(1, c);
  }
  return out;
}

std::u16string Unescaped(std::u16string_view text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'|' || i + 1 == text.size()) {
      out.push_back(text[i]);
      continue;
    }
    const char16_t next = text[++i];
    out.push_back(next == u'r' ? u'\r' : next == u'n' ? u'\n' : next);
  }
  return out;
}

std::optional<std::uint32_t> NumberIn(std::u16string_view digits) {
  std::uint64_t number = 0;
  if (digits.empty() || digits.size() > 10) return std::nullopt;
  for (const char16_t c : digits) {
    if (c < u'0' || c > u'9') return std::nullopt;
    number = number * 10 + (c - u'0');
  }
  if (number > UINT32_MAX) return std::nullopt;
  return static_cast<std::uint32_t>(number);
}

// The type a value is recorded as when its line names none.
std::uint32_t UsualType(std::u16string_view name) {
  return name.empty()                 ? value_type::kString
         : name == kSchemeSourceValue ? value_type::kDword
                                      : value_type::kExpandString;
}

// The text of a string value when the text and the type give back its bytes exactly: one zero
// unit, at the end, and no half of a surrogate pair (UTF-8 cannot hold one).
std::optional<std::u16string> WholeText(const RegistryValue& value) {
  if (value.type != value_type::kString && value.type != value_type::kExpandString) {
    return std::nullopt;
  }
  std::u16string text = TextOf(value);
  if ((text.size() + 1) * sizeof(char16_t) != value.bytes.size()) return std::nullopt;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool high = text[i] >= 0xD800 && text[i] <= 0xDBFF;
    const bool low = text[i] >= 0xDC00 && text[i] <= 0xDFFF;
    if (low || (high && (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF))) {
      return std::nullopt;
    }
    if (high) ++i;
  }
  return text;
}

// The record's line for a value: the first of the three forms that gives it back whole.
std::u16string ValueLine(std::u16string_view name, const RegistryValue& value) {
  const std::uint32_t usual = UsualType(name);
  const std::u16string line(name);
  if (usual == value_type::kDword && value.type == usual && value.bytes.size() == 4) {
    std::uint32_t number = 0;
    for (std::size_t byte = 4; byte-- > 0;) {
      number = number << 8 | static_cast<unsigned char>(value.bytes[byte]);
    }
    return line + u"=" + DecimalText(number);
  }
  if (const std::optional<std::u16string> whole = WholeText(value)) {
    return line + (value.type == usual ? u"" : u":" + DecimalText(value.type)) + u"=" +
           Escaped(*whole);
  }
  constexpr std::u16string_view kDigits = u"0123456789ABCDEF";
  std::u16string hex;
  hex.reserve(value.bytes.size() * 2);
  for (const char byte : value.bytes) {
    hex.push_back(kDigits[static_cast<unsigned char>(byte) >> 4]);
    hex.push_back(kDigits[static_cast<unsigned char>(byte) & 0xF]);
  }
  return line + u"#" + DecimalText(value.type) + u"=" + hex;
}

std::optional<RegistryValue> BytesIn(std::uint32_t type, std::u16string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  RegistryValue value{type, {}};
  value.bytes.reserve(hex.size() / 2);
  const auto digit = [](char16_t c) -> int {
    return c >= u'0' && c <= u'9' ? c - u'0' : c >= u'A' && c <= u'F' ? c - u'A' + 10 : -1;
  };
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = digit(hex[i]);
    const int low = digit(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    value.bytes.push_back(static_cast<char>(high << 4 | low));
  }
  return value;
}

void ReadBeforeLine(std::u16string_view line, Before& before) {
  const std::size_t equals = line.find(u'=');
  if (equals == std::u16string_view::npos) return;
  std::u16string_view name = line.substr(0, equals);
  const std::u16string_view data = line.substr(equals + 1);
  std::optional<RegistryValue> value;
  if (const std::size_t mark = name.find_first_of(u":#"); mark != std::u16string_view::npos) {
    const std::optional<std::uint32_t> type = NumberIn(name.substr(mark + 1));
    if (!type) return;
    value = name[mark] == u':' ? StringValue(*type, Unescaped(data)) : BytesIn(*type, data);
    name = name.substr(0, mark);
  } else if (UsualType(name) == value_type::kDword) {
    if (const std::optional<std::uint32_t> number = NumberIn(data)) value = NumberValue(*number);
  } else {
    value = StringValue(UsualType(name), Unescaped(data));
  }
  if (!value) return;
  if (name.empty()) {
    before.scheme = std::move(value);
  } else if (name == kSchemeSourceValue) {
    before.source = std::move(value);
  } else if (const std::optional<std::size_t> role = RoleNamed(name)) {
    before.roles[*role] = std::move(value);
  }
}

}  // namespace

Record ParseRecord(std::string_view bytes) {
  const std::u16string text = Utf8ToUtf16(bytes);
  Record record;
  std::size_t start = 0;
  for (std::size_t end = 0; start <= text.size(); start = end + 2) {
    end = text.find(u"\r\n", start);
    if (end == std::u16string::npos) end = text.size();
    const std::u16string_view line = std::u16string_view(text).substr(start, end - start);
    if (start == 0) {
      record.key = line;
    } else if (record.before && line.starts_with(kListLine)) {
      record.listEntry = Unescaped(line.substr(kListLine.size()));
    } else if (record.before && line.starts_with(kListPathsLine)) {
      record.listPaths = Unescaped(line.substr(kListPathsLine.size()));
    } else if (record.before) {
      ReadBeforeLine(line, *record.before);
    } else if (line == kBeforeLine) {
      record.before.emplace();
    } else if (!line.empty() && line != u"." && line != u".." &&
               line.find_first_of(u"\\/:") == std::u16string_view::npos) {
      // Only a name inside the folder: whatever the record says, nothing outside it is ours.
      record.files.emplace_back(line);
    }
  }
  record.files.emplace_back(kRecordFile);
  return record;
}

std::optional<Record> ReadRecord(FileSystem& files, std::u16string_view folder) {
  const std::optional<std::string> bytes =
      ReadWholeFile(files, JoinPath(folder, kRecordFile), kMaxRecordBytes);
  if (!bytes) return std::nullopt;
  return ParseRecord(*bytes);
}

std::string RecordBytes(const Record& record) {
  std::u16string text = record.key;
  for (const std::u16string& file : record.files) text += u"\r\n" + file;
  if (const std::optional<Before>& before = record.before) {
    text += u"\r\n" + std::u16string(kBeforeLine);
    const auto line = [&](std::u16string_view name, const std::optional<RegistryValue>& value) {
      if (value) text += u"\r\n" + ValueLine(name, *value);
    };
    for (std::size_t role = 0; role < kAllPointerRoleCount; ++role) {
      line(PointerRoles[role].valueName, before->roles[role]);
    }
    line(u"", before->scheme);
    line(kSchemeSourceValue, before->source);
    text += u"\r\n" + std::u16string(kListLine) + Escaped(record.listEntry.value_or(u""));
    text += u"\r\n" + std::u16string(kListPathsLine) + Escaped(record.listPaths);
  }
  return Utf16ToUtf8(text);
}

}  // namespace pivora

#include "core/pack_install.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <new>
#include <string>

#include "core/apply.h"
#include "core/beside.h"
#include "core/cursor_pack.h"
#include "core/pointer_settings.h"
#include "core/scheme.h"
#include "core/whole_file.h"
#include "platform/path_reach.h"
#include "platform/text.h"

namespace pivora {
namespace {

constexpr std::u16string_view kLocalAppData = u"%LOCALAPPDATA%";
// The install's record in the pack's folder: the source's key on the first line (the same source
// installed again replaces what it wrote), then each file the install wrote, a line each,
// then after kBeforeLine the settings the first install found, a line each (the default value's
// name is empty; an absent value has no line): "Name=text" for a value of the name's usual type,
// "Name:type=text" for a string of another type, "Name#type=hex bytes" for anything else. Last
// the pack's entry in the system's scheme list and the paths written there (kListLine,
// kListPathsLine; an empty entry when none was written). Readers of the first records, which had
// only "Name=text" lines, pass over the lines they do not know.
constexpr std::u16string_view kSourceFile = u"Pivora.source";
constexpr std::u16string_view kBeforeLine = u":before";
constexpr std::u16string_view kListLine = u":list=";
constexpr std::u16string_view kListPathsLine = u":list paths=";
constexpr std::u16string_view kSchemeSource = u"Scheme Source";
constexpr std::uint64_t kMaxSourceBytes = 64 * 1024;
// A pointer file is a few kilobytes, an animated one with many large frames a few megabytes.
constexpr std::uint64_t kMaxPointerFileBytes = 32u << 20;
constexpr std::u16string_view kFallbackName = u"Cursor Pack";
constexpr std::u16string_view kForbidden = u"<>:\"/\\|?*";

std::u16string Number(std::uint64_t number) {
  std::u16string digits;
  for (const char c : std::to_string(number)) digits.push_back(static_cast<char16_t>(c));
  return digits;
}

std::u16string Join(std::u16string_view folder, std::u16string_view name) {
  return std::u16string(folder) + u'\\' + std::u16string(name);
}

// A folder of ours, with the files in it (it holds no folders). A file or the folder that will
// not go stays; the acts a person chose pass a RetryingFileSystem, which waits for a scanner.
void RemoveTree(FileSystem& files, const std::u16string& folder) {
  std::vector<std::u16string> names;
  if (files.FilesIn(folder, names) != status::kSuccess) names.clear();
  for (const std::u16string& name : names) RemoveFile(files, Join(folder, name));
  files.RemoveFolder(folder);
}

// A folder, removed with its files.
class NewFolder {
 public:
  explicit NewFolder(FileSystem& files) : files_(files) {}

 protected:
  Status Make(const std::u16string& name) { return files_.CreateFolder(name); }
  void Remove(const std::u16string& name) {
    // Clearing up allocates; out of memory, it is tried once more, and should that fail too the
    // folder stays beside the pack's, named as ours.
    for (int attempt = 0; attempt < 2; ++attempt) {
      try {
        RemoveTree(files_, name);
        return;
      } catch (const std::bad_alloc&) {
      }
    }
  }

 private:
  FileSystem& files_;
};
using FolderBeside = Beside<NewFolder>;

// The settings a pack's first install found, as stored: each role's value, the scheme in use
// (the key's default value) and "Scheme Source"; nothing where a value was absent.
struct Before {
  std::array<std::optional<RegistryValue>, kAllPointerRoleCount> roles;
  std::optional<RegistryValue> scheme;
  std::optional<RegistryValue> source;
};

// What an install recorded in the pack's folder. A record from before files were listed names
// only the INF: nothing but the record itself is known to be ours then. One from before the
// settings were recorded cannot be uninstalled: what was there before is not known.
struct Record {
  std::u16string inf;
  std::vector<std::u16string> files;
  std::optional<Before> before;
  // The pack's entry in the scheme list (empty when the install wrote none) and the paths it
  // wrote there. A record from before entries were recorded has none: its entry is the folder's
  // name, with paths not known.
  std::optional<std::u16string> listEntry;
  std::u16string listPaths;
};

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
  return name.empty()            ? value_type::kString
         : name == kSchemeSource ? value_type::kDword
                                 : value_type::kExpandString;
}

RegistryValue StringValue(std::uint32_t type, std::u16string_view text) {
  RegistryValue value{type, {}};
  value.bytes.reserve((text.size() + 1) * sizeof(char16_t));
  for (const char16_t c : text) {
    value.bytes.push_back(static_cast<char>(c & 0xFF));
    value.bytes.push_back(static_cast<char>(c >> 8));
  }
  value.bytes.append(2, '\0');
  return value;
}

RegistryValue NumberValue(std::uint32_t number) {
  RegistryValue value{value_type::kDword, std::string(4, '\0')};
  for (std::size_t byte = 0; byte < 4; ++byte) {
    value.bytes[byte] = static_cast<char>(number >> (8 * byte) & 0xFF);
  }
  return value;
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
    return line + u"=" + Number(number);
  }
  if (const std::optional<std::u16string> whole = WholeText(value)) {
    return line + (value.type == usual ? u"" : u":" + Number(value.type)) + u"=" + Escaped(*whole);
  }
  constexpr std::u16string_view kDigits = u"0123456789ABCDEF";
  std::u16string hex;
  hex.reserve(value.bytes.size() * 2);
  for (const char byte : value.bytes) {
    hex.push_back(kDigits[static_cast<unsigned char>(byte) >> 4]);
    hex.push_back(kDigits[static_cast<unsigned char>(byte) & 0xF]);
  }
  return line + u"#" + Number(value.type) + u"=" + hex;
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
  } else if (name == kSchemeSource) {
    before.source = std::move(value);
  } else if (const std::optional<std::size_t> role = RoleNamed(name)) {
    before.roles[*role] = std::move(value);
  }
}

std::optional<Record> ReadRecord(FileSystem& files, std::u16string_view folder) {
  const std::optional<std::string> bytes =
      ReadWholeFile(files, Join(folder, kSourceFile), kMaxSourceBytes);
  if (!bytes) return std::nullopt;
  const std::u16string text = Utf8ToUtf16(*bytes);
  Record record;
  std::size_t start = 0;
  for (std::size_t end = 0; start <= text.size(); start = end + 2) {
    end = text.find(u"\r\n", start);
    if (end == std::u16string::npos) end = text.size();
    const std::u16string_view line = std::u16string_view(text).substr(start, end - start);
    if (start == 0) {
      record.inf = line;
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
  record.files.emplace_back(kSourceFile);
  return record;
}

std::string RecordBytes(const Record& record) {
  std::u16string text = record.inf;
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
    line(kSchemeSource, before->source);
    text += u"\r\n" + std::u16string(kListLine) + Escaped(record.listEntry.value_or(u""));
    text += u"\r\n" + std::u16string(kListPathsLine) + Escaped(record.listPaths);
  }
  return Utf16ToUtf8(text);
}

// The settings as they are now; nothing when one of them cannot be read.
std::optional<Before> SettingsNow(const Platform& platform) {
  CPointerSettings store(platform.registry, platform.reloader);
  Before now;
  bool missing = false;
  if (!store.OpenForReading(&missing)) return missing ? std::optional<Before>(now) : std::nullopt;
  for (std::size_t role = 0; role < kAllPointerRoleCount; ++role) {
    if (!store.ReadValue(PointerRoles[role].valueName, now.roles[role])) return std::nullopt;
  }
  if (!store.ReadValue(u"", now.scheme) || !store.ReadValue(kSchemeSource, now.source)) {
    return std::nullopt;
  }
  return now;
}

// The pack's entry in the system's scheme list: the one its last install wrote, while it is
// absent or holds what that install wrote (an entry of an earlier version's record, whose paths
// are not known, always), or else the first of Name, Name (2), ... that no entry has, so that no
// scheme of the person's is overwritten. Empty when none could be had.
std::u16string ListEntryFor(std::u16string_view name, const std::optional<Record>& last,
                            const Platform& platform) {
  const std::u16string own =
      last && last->before ? last->listEntry.value_or(std::u16string(name)) : u"";
  CPointerSettings store(platform.registry, platform.reloader);
  bool missing = false;
  if (!store.OpenForReading(&missing)) {
    return !missing ? u"" : own.empty() ? std::u16string(name) : own;
  }
  std::optional<RegistryValue> held;
  if (!own.empty()) {
    if (!store.ReadSchemeListEntry(own, held)) return u"";
    if (!held || !last->listEntry ||
        *held == StringValue(value_type::kExpandString, last->listPaths)) {
      return own;
    }
  }
  for (int number = 1; number <= kNameAttempts; ++number) {
    std::u16string candidate(name);
    if (number > 1) candidate += u" (" + Number(number) + u")";
    if (!store.ReadSchemeListEntry(candidate, held)) return u"";
    if (!held) return candidate;
  }
  return u"";
}

// The paths of the pack's entry in the scheme list: each role as applying the pack's scheme
// leaves it, the others as they are now. A path with a comma would shift every role after it in
// the list, so it is left out.
std::u16string ListPaths(
    const std::array<std::optional<std::u16string>, kAllPointerRoleCount>& entries,
    std::u16string_view schemePath, const Before& now, const PathRules& paths) {
  std::u16string list;
  for (std::size_t role = 0; role < kAllPointerRoleCount; ++role) {
    if (role > 0) list += u',';
    std::u16string path = now.roles[role] ? TextOf(*now.roles[role]) : u"";
    if (const std::optional<std::u16string>& entry = entries[role]) {
      path = entry->empty() ? u"" : ResolveEntryPath(*entry, schemePath, paths).value_or(path);
    }
    if (path.find(u',') == std::u16string::npos) list += path;
  }
  return list;
}

// The pack in the system's scheme list, and selected there, as the system's mouse settings leave
// a scheme a person picked.
void SelectInSchemeList(const Record& record, const Platform& platform) {
  CPointerSettings store(platform.registry, platform.reloader);
  const std::u16string name = record.listEntry.value_or(u"");
  if (name.empty() || !store.OpenForWriting()) return;
  if (store.WriteSchemeListEntry(name, record.listPaths) &&
      store.WriteText(u"", name, value_type::kString)) {
    store.WriteNumber(kSchemeSource, 1);
  }
}

bool Contains(const std::vector<std::u16string>& names, std::u16string_view name) {
  return std::any_of(names.begin(), names.end(),
                     [&](const std::u16string& n) { return EqualsIgnoringAsciiCase(n, name); });
}

// A pack's file name as Windows takes it: without trailing dots and blanks.
std::u16string_view Trimmed(std::u16string_view name) {
  while (!name.empty() && (name.back() == u'.' || name.back() == u' ')) name.remove_suffix(1);
  return name;
}

// The name a pack's pointer file is stored under: trimmed, and '%' and ',' made '_', so that no
// stored path names a variable or splits the system's scheme list. Nothing for a name that no file
// of the pack's folder can have: a device, dots alone, a character names cannot hold.
std::optional<std::u16string> StoredName(std::u16string_view name) {
  name = Trimmed(name);
  if (name.empty() || IsDeviceName(name)) return std::nullopt;
  std::u16string stored;
  for (const char16_t c : name) {
    if (c < 0x20 || kForbidden.find(c) != std::u16string_view::npos) return std::nullopt;
    stored.push_back(c == u'%' || c == u',' ? u'_' : c);
  }
  return stored;
}

// `name`, or "name (2).ext", "name (3).ext", ... : the first that none of `taken` has.
std::u16string UniqueName(const std::u16string& name, const std::vector<std::u16string>& taken) {
  if (!Contains(taken, name)) return name;
  const std::size_t dot = name.rfind(u'.');
  const std::u16string stem = dot == std::u16string::npos ? name : name.substr(0, dot);
  const std::u16string extension = dot == std::u16string::npos ? u"" : name.substr(dot);
  for (int number = 2;; ++number) {
    std::u16string candidate = stem + u" (" + Number(number) + u")" + extension;
    if (!Contains(taken, candidate)) return candidate;
  }
}

// Whether the pack's file is one to copy: not a folder, and not larger than a pointer file can be.
// One that cannot be opened is left to the copy, as it was before sizes were checked.
bool IsCopyable(FileSystem& files, const std::u16string& path) {
  std::uint32_t attributes = 0;
  if (files.Attributes(path, attributes) != status::kSuccess ||
      (attributes & file_attribute::kDirectory) != 0) {
    return false;
  }
  OpenFile file(files);
  std::uint64_t size = 0;
  return files.OpenForReading(path, file.put()) != status::kSuccess ||
         files.Size(file.get(), size) != status::kSuccess || size <= kMaxPointerFileBytes;
}

// Whether a file is there; nothing when that cannot be told.
std::optional<bool> IsThere(FileSystem& files, std::u16string_view path) {
  std::uint32_t attributes = 0;
  const Status found = files.Attributes(path, attributes);
  if (found == status::kFileNotFound || found == status::kPathNotFound) return false;
  return found == status::kSuccess ? std::optional<bool>(true) : std::nullopt;
}

Status EnsureFolder(FileSystem& files, std::u16string_view path) {
  const Status created = files.CreateFolder(path);
  return created == status::kAlreadyExists ? status::kSuccess : created;
}

// The pack's folder: the one an earlier installation of the same source made, or the first free
// one of Name, Name (2), Name (3), ... A folder whose source cannot be read ends the search:
// better no installation than a second copy of the same pack.
std::optional<std::u16string> PackFolder(FileSystem& files, std::u16string_view base,
                                         std::u16string_view name, std::u16string_view key) {
  for (int number = 1; number <= kNameAttempts; ++number) {
    std::u16string candidate = Join(base, name);
    if (number > 1) candidate += u" (" + Number(number) + u")";
    if (!files.Exists(candidate)) return candidate;
    const std::u16string source = Join(candidate, kSourceFile);
    {
      // A folder without a source is not a pack's of ours: the next name is tried.
      OpenFile probe(files);
      const Status opened = files.OpenForReading(source, probe.put());
      if (opened == status::kFileNotFound || opened == status::kPathNotFound) continue;
    }
    const std::optional<Record> record = ReadRecord(files, candidate);
    if (!record) return std::nullopt;
    if (EqualsIgnoringAsciiCase(record->inf, key)) return candidate;
  }
  return std::nullopt;
}

// Where packs are installed: %LOCALAPPDATA%\Pivora\Cursors.
std::optional<std::u16string> PacksFolder(const PathRules& paths) {
  // Unset, the reference comes back as written. A '%' in the folder's own name is no reason to
  // refuse; but the pointers' paths are stored for the system to expand, so a folder they name
  // must be one that expanding leaves as it is.
  const std::u16string local = paths.ExpandEnvironment(kLocalAppData);
  if (local.empty() || local == kLocalAppData || paths.ExpandEnvironment(local) != local) {
    return std::nullopt;
  }
  return Join(Join(local, u"Pivora"), u"Cursors");
}

std::u16string_view NameOf(std::u16string_view folder) {
  return folder.substr(folder.rfind(u'\\') + 1);
}

std::u16string PackName(const PackSource& source) {
  const std::u16string name = FolderNameFor(source.schemeName);
  return name.empty() ? std::u16string(kFallbackName) : name;
}

// A first install: the staged folder becomes the pack's folder in one step.
Status PutInPlace(FileSystem& files, FolderBeside& staged, const std::u16string& target) {
  if (const Status moved = files.Move(staged.name(), target, false)) return moved;
  staged.Keep();
  return status::kSuccess;
}

// Puts the staged files in place of the ones the last install wrote, leaving every other file
// and folder of the pack's folder where it is: the old ones go to a folder of ours beside it
// first, and on any failure everything moves back. Every path is made before the first move, so
// that running out of memory cannot stop it halfway. The code of the move that failed, if one did.
Status ReplaceRecorded(FileSystem& files, FolderBeside& staged, const std::u16string& target,
                       const std::vector<std::u16string>& ours,
                       const std::vector<std::u16string>& written) {
  FolderBeside aside(files);
  if (!aside.Create(target)) return aside.failure();
  std::vector<std::pair<std::u16string, std::u16string>> out;  // from the pack's folder, aside
  std::vector<std::pair<std::u16string, std::u16string>> in;   // from the staged folder, in
  out.reserve(ours.size());
  in.reserve(written.size());
  for (const std::u16string& name : ours)
    out.emplace_back(Join(target, name), Join(aside.name(), name));
  for (const std::u16string& name : written) {
    in.emplace_back(Join(staged.name(), name), Join(target, name));
  }
  std::size_t movedOut = 0;
  std::size_t movedIn = 0;
  Status failure = status::kSuccess;
  while (movedOut < out.size() && (failure = files.Move(out[movedOut].first, out[movedOut].second,
                                                        false)) == status::kSuccess) {
    ++movedOut;
  }
  if (movedOut == out.size()) {
    while (movedIn < in.size() && (failure = files.Move(in[movedIn].first, in[movedIn].second,
                                                        false)) == status::kSuccess) {
      ++movedIn;
    }
    if (movedIn == in.size()) return status::kSuccess;
  }
  // Back as it was: the new files out, the old ones in; what cannot come back stays in the
  // folders of ours, which are then kept.
  while (movedIn > 0) {
    --movedIn;
    if (files.Move(in[movedIn].second, in[movedIn].first, false) != status::kSuccess) {
      RemoveFile(files, in[movedIn].second);
    }
  }
  while (movedOut > 0) {
    --movedOut;
    if (files.Move(out[movedOut].second, out[movedOut].first, false) != status::kSuccess) {
      aside.Keep();
    }
  }
  return failure;
}

}  // namespace

PackInstallation InstallCursorPack(const PackSource& source, const Platform& platform) {
  FileSystem& files = platform.files;
  PackInstallation result;
  const auto left = [&](std::size_t role) {
    return std::find(source.rolesLeft.begin(), source.rolesLeft.end(), role) !=
           source.rolesLeft.end();
  };

  // The pointer files the pack has, each named no more than once, before anything is made.
  std::array<std::optional<std::u16string>, kAllPointerRoleCount> sources;
  bool anyFile = false;
  for (std::size_t role = 0; role < kAllPointerRoleCount; ++role) {
    const std::optional<std::u16string>& file = source.files[role];
    if (left(role)) {
      result.rolesKept.push_back(role);
      continue;
    }
    if (!file || file->empty()) continue;
    // A name no file can have (a device among them) is never looked for.
    if (!StoredName(NameOf(*file)) || !IsCopyable(files, std::u16string(Trimmed(*file)))) {
      result.rolesKept.push_back(role);
      continue;
    }
    sources[role] = *file;
    anyFile = true;
  }
  if (!anyFile) {
    result.noPointerFiles = true;
    return result;
  }

  const std::optional<std::u16string> base = PacksFolder(platform.paths);
  if (!base) return result;
  for (const std::u16string_view folder : {*FolderOf(*base), std::u16string_view(*base)}) {
    if ((result.failure = EnsureFolder(files, folder)) != status::kSuccess) return result;
  }
  const std::u16string name = PackName(source);
  const std::optional<std::u16string> target = PackFolder(files, *base, name, source.key);
  if (!target) return result;

  // In the folder of an earlier install: the files it recorded are ours to replace; every other
  // one is the user's, and keeps its name. The settings it found stay the ones recorded: now the
  // pack's own pointers may be in use.
  std::vector<std::u16string> ours;
  std::vector<std::u16string> taken{std::u16string(kSourceFile)};
  Record record{source.key, {}, {}, {}, {}};
  const std::optional<Before> now = SettingsNow(platform);
  if (!now) return result;
  const bool again = files.Exists(*target);
  std::optional<Record> last;
  if (again) {
    std::vector<std::u16string> present;
    last = ReadRecord(files, *target);
    if (!last) return result;
    if ((result.failure = files.FilesIn(*target, present)) != status::kSuccess) return result;
    for (std::u16string& file : present) {
      (Contains(last->files, file) ? ours : taken).push_back(std::move(file));
    }
    record.before = last->before;
  } else {
    record.before = now;
  }
  record.listEntry = ListEntryFor(NameOf(*target), last, platform);

  FolderBeside staged(files);
  if (!staged.Create(*target)) {
    result.failure = staged.failure();
    return result;
  }
  const std::u16string schemeFile = UniqueName(name + u".crs", taken);
  taken.push_back(schemeFile);
  std::vector<std::u16string> written;
  std::vector<std::pair<std::u16string, std::u16string>> stored;  // the file, its name in ours
  std::array<std::optional<std::u16string>, kAllPointerRoleCount> entries;
  for (std::size_t role = 0; role < kAllPointerRoleCount; ++role) {
    const std::optional<std::u16string>& file = source.files[role];
    if (file && file->empty() && !left(role)) entries[role] = u"";
    if (!sources[role]) continue;
    // One file however the pack spells it: "arrow.cur." is "arrow.cur".
    const std::u16string_view from = Trimmed(*sources[role]);
    const auto same = std::find_if(stored.begin(), stored.end(), [&](const auto& known) {
      return EqualsIgnoringAsciiCase(known.first, from);
    });
    if (same != stored.end()) {
      // In the role's own spelling where that names the same stored file.
      const std::u16string own = *StoredName(NameOf(*sources[role]));
      entries[role] = EqualsIgnoringAsciiCase(own, same->second) ? own : same->second;
      continue;
    }
    const std::u16string storedName = UniqueName(*StoredName(NameOf(*sources[role])), taken);
    result.failure = files.Copy(std::u16string(from), Join(staged.name(), storedName));
    if (result.failure != status::kSuccess) return result;
    taken.push_back(storedName);
    written.push_back(storedName);
    stored.emplace_back(from, storedName);
    entries[role] = storedName;
  }
  written.push_back(schemeFile);
  record.files = written;
  written.emplace_back(kSourceFile);
  record.listPaths = ListPaths(entries, Join(*target, schemeFile), *now, platform.paths);
  // A record too large to be read back would leave a pack that cannot be uninstalled.
  const std::string recordBytes = RecordBytes(record);
  if (recordBytes.size() > kMaxSourceBytes ||
      !WriteFileWhole(files, Join(staged.name(), schemeFile), ComposeSchemeOf(entries),
                      result.failure) ||
      !WriteFileWhole(files, Join(staged.name(), kSourceFile), recordBytes, result.failure)) {
    return result;
  }
  result.failure = again ? ReplaceRecorded(files, staged, *target, ours, written)
                         : PutInPlace(files, staged, *target);
  if (result.failure != status::kSuccess) return result;
  result.folder = *target;
  ApplySchemeFile(Join(*target, schemeFile), platform);
  SelectInSchemeList(record, platform);
  result.installed = true;
  return result;
}

std::optional<std::u16string> InstalledPackFor(const PackSource& source, const Platform& platform) {
  const std::optional<std::u16string> base = PacksFolder(platform.paths);
  if (!base) return std::nullopt;
  // The names an install of this source may have taken, as it chose them.
  const std::u16string name = PackName(source);
  for (int number = 1; number <= kNameAttempts; ++number) {
    std::u16string candidate = Join(*base, name);
    if (number > 1) candidate += u" (" + Number(number) + u")";
    if (!platform.files.Exists(candidate)) return std::nullopt;
    const std::optional<Record> record = ReadRecord(platform.files, candidate);
    if (record && EqualsIgnoringAsciiCase(record->inf, source.key)) {
      return record->before ? std::optional<std::u16string>(candidate) : std::nullopt;
    }
  }
  return std::nullopt;
}

std::optional<std::u16string> InstalledPackForScheme(std::u16string_view schemePath,
                                                     const Platform& platform) {
  const std::optional<std::u16string_view> folder = FolderOf(schemePath);
  const std::optional<std::u16string> base = PacksFolder(platform.paths);
  if (!folder || !base || !EqualsIgnoringAsciiCase(FolderOf(*folder).value_or(u""), *base)) {
    return std::nullopt;
  }
  // The scheme the install wrote, not one the person saved there.
  const std::optional<Record> record = ReadRecord(platform.files, *folder);
  if (!record || !record->before || !Contains(record->files, NameOf(schemePath))) {
    return std::nullopt;
  }
  return std::u16string(*folder);
}

PackUninstallation UninstallCursorPack(std::u16string_view packFolder, const Platform& platform) {
  FileSystem& files = platform.files;
  PackUninstallation result;
  const std::optional<Record> record = ReadRecord(files, packFolder);
  // A recorded name is removed only as a long name the folder holds: one that is no such name
  // could be the short name of a file the person made there since.
  std::vector<std::u16string> listing;
  if (!record || !record->before) return result;
  if ((result.failure = files.FilesIn(packFolder, listing)) != status::kSuccess) return result;
  const Before& before = *record->before;
  // The roles the install gave back to the system: its scheme has them empty.
  SchemeEntries scheme = ParseScheme("");
  for (const std::u16string& file : record->files) {
    constexpr std::u16string_view kExtension = u".crs";
    if (file.size() < kExtension.size() ||
        !EqualsIgnoringAsciiCase(std::u16string_view(file).substr(file.size() - kExtension.size()),
                                 kExtension)) {
      continue;
    }
    const std::optional<std::string> bytes =
        ReadWholeFile(files, Join(packFolder, file), kMaxSchemeFileBytes);
    scheme = ParseScheme(bytes.value_or(""));
  }

  CPointerSettings store(platform.registry, platform.reloader);
  if (!store.OpenForWriting()) return result;
  bool changed = false;
  bool failed = false;
  try {
    for (std::size_t role = 0; role < kAllPointerRoleCount && !failed; ++role) {
      const std::u16string_view name = PointerRoles[role].valueName;
      std::optional<RegistryValue> now;
      if (!store.ReadValue(name, now)) {
        failed = true;
        break;
      }
      const std::u16string text = now ? TextOf(*now) : u"";
      const bool ours =
          !text.empty() ? EqualsIgnoringAsciiCase(
                              FolderOf(EntryTarget(text, platform.paths)).value_or(u""), packFolder)
                        : scheme[role].state == EntryState::kEmpty;
      const std::optional<RegistryValue>& was = before.roles[role];
      if (!ours) {
        if (now != was) result.rolesKept.push_back(role);
        continue;
      }
      // As it was, whether or not its file is there now: a missing file shows the system's
      // pointer by itself, and a share that is offline today may be back tomorrow.
      failed = !(was ? store.WriteValue(name, *was) : store.DeleteValue(name));
      changed = true;
    }
    // The pack's entry goes only while it holds what the install wrote; an earlier version's
    // record does not say what that was, and its entry goes as it did then.
    const std::u16string entry = record->listEntry.value_or(std::u16string(NameOf(packFolder)));
    std::optional<RegistryValue> held;
    if (!failed && !entry.empty() && record->listEntry) {
      failed = !store.ReadSchemeListEntry(entry, held);
    }
    if (!failed && !entry.empty() &&
        (!record->listEntry || held == StringValue(value_type::kExpandString, record->listPaths))) {
      failed = !store.DeleteSchemeListEntry(entry);
    }
    std::optional<std::u16string> selected;
    failed = failed || !store.ReadText(u"", selected);
    if (!failed && !entry.empty() && selected && EqualsIgnoringAsciiCase(*selected, entry)) {
      failed = !(before.scheme ? store.WriteValue(u"", *before.scheme) : store.DeleteValue(u"")) ||
               !(before.source ? store.WriteValue(kSchemeSource, *before.source)
                               : store.DeleteValue(kSchemeSource));
    }
  } catch (const std::bad_alloc&) {
    // What was put back is announced below; the files stay for another try.
    failed = true;
  }
  store.Close();
  if (changed) store.NotifyPointersChanged();
  if (failed) return result;

  // The pack's files go, the record last, so that a file that stays can be removed another time.
  bool allGone = true;
  for (const std::u16string& file : record->files) {
    const auto listed = std::find_if(listing.begin(), listing.end(), [&](const auto& name) {
      return EqualsIgnoringAsciiCase(name, file);
    });
    if (file == kSourceFile || listed == listing.end()) continue;
    const Status removed = RemoveFile(files, Join(packFolder, *listed));
    if (result.failure == status::kSuccess) result.failure = removed;
    if (IsThere(files, Join(packFolder, *listed)) != false) allGone = false;
  }
  if (allGone) {
    const Status removed = RemoveFile(files, Join(packFolder, kSourceFile));
    if (result.failure == status::kSuccess) result.failure = removed;
  }
  result.uninstalled = true;
  const Status removed = files.RemoveFolder(packFolder);
  result.filesKept = removed != status::kSuccess && removed != status::kFileNotFound;
  return result;
}

}  // namespace pivora

#include "core/scheme.h"

#include "platform/text.h"

namespace pivora {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::u16string_view kLineEnd = u"\r\n";
constexpr std::u16string_view kPathKey = u"Path=";

std::u16string EntryFor(std::u16string_view stored, std::u16string_view folder,
                        const PathRules& paths) {
  // The path functions stop at MAX_PATH; a longer path is kept exactly as stored rather than
  // risk a wrong relative form.
  if (stored.size() > kMaxPathUnits) return std::u16string(stored);
  std::optional<std::u16string> relative = paths.RelativePathTo(folder, stored);
  if (!relative) return std::u16string(stored);
  if (relative->starts_with(u".\\")) relative->erase(0, 2);
  // Keep a relative form only if applying it leads back to the stored path. Wine 8 gives a
  // rooted "\name" for a folder that ends in a backslash, and garbage for a bare "D:".
  const std::optional<std::u16string> back = paths.Append(folder, *relative);
  if (!paths.IsRelative(*relative) || !back || !EqualsIgnoringAsciiCase(*back, stored)) {
    return std::u16string(stored);
  }
  return std::move(*relative);
}

// One role's section: its header and its "Path=" line, then an empty line unless `tight` (the
// template written for an unreadable store has none).
void AppendSection(std::u16string& text, std::size_t role, std::u16string_view path,
                   bool tight = false) {
  text.append(u"[").append(PointerRoles[role].valueName).append(u"]").append(kLineEnd);
  text.append(kPathKey).append(path).append(kLineEnd);
  if (!tight) text.append(kLineEnd);
}

// The file's bytes: a byte order mark, the text in UTF-8 and a zero byte after it.
std::string FileBytes(std::u16string& text) {
  text.push_back(u'\0');
  std::string bytes(kByteOrderMark);
  bytes.append(Utf16ToUtf8(text));
  return bytes;
}

constexpr std::size_t kNoRole = kAllPointerRoleCount;

}  // namespace

SchemeEntry SchemeEntries::operator[](std::size_t role) const {
  const Slot& slot = slots_.at(role);
  if (slot.state != EntryState::kText) return SchemeEntry{slot.state, {}};
  return SchemeEntry{slot.state, std::u16string_view(text_).substr(slot.offset, slot.length)};
}

std::string ComposeScheme(std::u16string_view schemePath, CPointerSettings& store,
                          const PathRules& paths) {
  // A bare name is its own folder: nothing is relative to it.
  const std::u16string_view folder = FolderOf(schemePath).value_or(schemePath);
  std::u16string text;
  if (!store.OpenForReading()) {
    for (std::size_t role = 0; role < kPointerRoleCount; ++role)
      AppendSection(text, role, u"", true);
  } else {
    text.reserve(4096);
    for (std::size_t role = 0; role < kPointerRoleCount; ++role) {
      const std::u16string stored = store.ReadRolePath(role);
      AppendSection(text, role, stored.empty() ? u"" : EntryFor(stored, folder, paths));
    }
    store.Close();
  }
  return FileBytes(text);
}

std::string ComposeSchemeOf(
    const std::array<std::optional<std::u16string>, kAllPointerRoleCount>& paths) {
  std::u16string text;
  for (std::size_t role = 0; role < kAllPointerRoleCount; ++role) {
    if (paths[role]) AppendSection(text, role, *paths[role]);
  }
  return FileBytes(text);
}

SchemeEntries ParseScheme(std::string_view bytes) {
  if (bytes.starts_with(kByteOrderMark)) bytes.remove_prefix(kByteOrderMark.size());
  SchemeEntries entries;
  std::u16string& text = entries.text_;
  text = Utf8ToUtf16(bytes);
  if (const std::size_t zero = text.find(u'\0'); zero != std::u16string::npos) text.resize(zero);

  std::size_t pending = kNoRole;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of(u"\r\n", start);
    if (end == std::u16string::npos) end = text.size();  // a last line with no line end
    const std::u16string_view line = std::u16string_view(text).substr(start, end - start);
    start = end + 1;
    if (line.empty()) continue;
    if (line.front() == u'[' && line.back() == u']') {
      // A header that names no role ("[]", "[Size]") selects nothing.
      if (const std::optional<std::size_t> role = RoleNamed(line.substr(1, line.size() - 2))) {
        pending = *role;
      }
    } else if (pending != kNoRole &&
               EqualsIgnoringAsciiCase(line.substr(0, kPathKey.size()), kPathKey)) {
      auto& slot = entries.slots_[pending];
      slot.offset = static_cast<std::size_t>(line.data() - text.data()) + kPathKey.size();
      slot.length = line.size() - kPathKey.size();
      slot.state = slot.length == 0 ? EntryState::kEmpty : EntryState::kText;
      pending = kNoRole;
    }
  }
  return entries;
}

}  // namespace pivora

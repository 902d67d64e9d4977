#include "core/pointer_settings.h"

#include <algorithm>
#include <limits>

#include "core/pointer_roles.h"

namespace pivora {
namespace {

constexpr std::u16string_view kControlPanelKey = u"Control Panel";
constexpr std::u16string_view kCursorsSubKey = u"Cursors";
constexpr std::u16string_view kCursorsKey = u"Control Panel\\Cursors";
constexpr std::u16string_view kSchemesSubKey = u"Schemes";

}  // namespace

CPointerSettings::CPointerSettings(Registry& registry, PointerReloader& reloader)
    : registry_(registry), reloader_(reloader), key_(registry) {}

bool CPointerSettings::OpenForReading(bool* missing) {
  const Status opened =
      registry_.Open(root_key::kCurrentUser, kCursorsKey, key_access::kRead, key_.put());
  if (missing != nullptr) *missing = opened == status::kFileNotFound;
  return opened == status::kSuccess;
}

bool CPointerSettings::OpenForWriting() {
  if (registry_.Open(root_key::kCurrentUser, kCursorsKey, key_access::kReadWrite, key_.put()) ==
      status::kSuccess) {
    return true;
  }
  key_.Reset();
  RegistryKey controlPanel(registry_);
  if (registry_.Open(root_key::kCurrentUser, kControlPanelKey, key_access::kReadWrite,
                     controlPanel.put()) != status::kSuccess) {
    return false;
  }
  if (registry_.Create(controlPanel.get(), kCursorsSubKey, key_access::kReadWrite, key_.put()) !=
      status::kSuccess) {
    key_.Reset();
    return false;
  }
  return true;
}

std::u16string CPointerSettings::ReadRolePath(std::size_t role) const {
  std::optional<std::u16string> text;
  ReadText(PointerRoles.at(role).valueName, text);
  return text.value_or(u"");
}

std::u16string TextOf(const RegistryValue& value) {
  std::u16string text(value.bytes.size() / sizeof(char16_t), u'\0');
  for (std::size_t unit = 0; unit < text.size(); ++unit) {
    text[unit] = static_cast<char16_t>(static_cast<unsigned char>(value.bytes[2 * unit]) |
                                       static_cast<unsigned char>(value.bytes[2 * unit + 1]) << 8);
  }
  if (const std::size_t zero = text.find(u'\0'); zero != std::u16string::npos) text.resize(zero);
  return text;
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

bool CPointerSettings::ReadText(std::u16string_view name,
                                std::optional<std::u16string>& text) const {
  text.reset();
  std::optional<RegistryValue> value;
  if (!ReadValue(name, value)) return false;
  if (value) text = TextOf(*value);
  return true;
}

bool CPointerSettings::ReadValue(std::u16string_view name,
                                 std::optional<RegistryValue>& value) const {
  value.reset();
  // Most values fit MAX_PATH units; a longer one is read whole with the size the registry reports.
  RegistryValue read;
  read.bytes.assign(260 * sizeof(char16_t), '\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    auto byteCount = static_cast<std::uint32_t>(read.bytes.size());
    const Status result =
        registry_.QueryValue(key_.get(), name, &read.type, read.bytes.data(), byteCount);
    if (result == status::kMoreData) {
      // The value may change between the calls: grow and ask again.
      read.bytes.assign(std::size_t{byteCount} + 4, '\0');
      continue;
    }
    if (result == status::kFileNotFound) return true;
    if (result != status::kSuccess) return false;
    read.bytes.resize(std::min<std::size_t>(read.bytes.size(), byteCount));
    value = std::move(read);
    return true;
  }
  return false;
}

bool CPointerSettings::WriteValue(std::u16string_view name, const RegistryValue& value) {
  if (value.bytes.size() > std::numeric_limits<std::uint32_t>::max()) return false;
  return registry_.SetValue(key_.get(), name, value.type, value.bytes.data(),
                            static_cast<std::uint32_t>(value.bytes.size())) == status::kSuccess;
}

bool CPointerSettings::WriteText(std::u16string_view name, std::u16string_view text,
                                 std::uint32_t type) {
  const std::size_t units = text.size() + 1;
  if (units > std::numeric_limits<std::uint32_t>::max() / sizeof(char16_t)) return false;
  std::u16string data(text);  // with the terminating zero unit that c_str() provides
  return registry_.SetValue(key_.get(), name, type, data.c_str(),
                            static_cast<std::uint32_t>(units * sizeof(char16_t))) ==
         status::kSuccess;
}

bool CPointerSettings::WriteNumber(std::u16string_view name, std::uint32_t number) {
  return registry_.SetValue(key_.get(), name, value_type::kDword, &number, sizeof(number)) ==
         status::kSuccess;
}

bool CPointerSettings::DeleteValue(std::u16string_view name) {
  const Status deleted = registry_.DeleteValue(key_.get(), name);
  return deleted == status::kSuccess || deleted == status::kFileNotFound;
}

bool CPointerSettings::WriteSchemeListEntry(std::u16string_view name, std::u16string_view paths) {
  CPointerSettings list(registry_, reloader_);
  return registry_.Create(key_.get(), kSchemesSubKey, key_access::kReadWrite, list.key_.put()) ==
             status::kSuccess &&
         list.WriteText(name, paths, value_type::kExpandString);
}

bool CPointerSettings::ReadSchemeListEntry(std::u16string_view name,
                                           std::optional<RegistryValue>& value) const {
  value.reset();
  CPointerSettings list(registry_, reloader_);
  const Status opened =
      registry_.Open(key_.get(), kSchemesSubKey, key_access::kRead, list.key_.put());
  if (opened == status::kFileNotFound) return true;
  return opened == status::kSuccess && list.ReadValue(name, value);
}

bool CPointerSettings::DeleteSchemeListEntry(std::u16string_view name) {
  CPointerSettings list(registry_, reloader_);
  const Status opened =
      registry_.Open(key_.get(), kSchemesSubKey, key_access::kReadWrite, list.key_.put());
  if (opened == status::kFileNotFound) return true;
  return opened == status::kSuccess && list.DeleteValue(name);
}

bool CPointerSettings::SelectSchemeListEntry(std::u16string_view name, std::u16string_view paths) {
  return WriteSchemeListEntry(name, paths) && WriteText(u"", name, value_type::kString) &&
         WriteNumber(kSchemeSourceValue, 1);
}

bool CPointerSettings::RestoreSchemeList(std::u16string_view name,
                                         const std::optional<std::u16string>& paths,
                                         const std::optional<RegistryValue>& scheme,
                                         const std::optional<RegistryValue>& source) {
  std::optional<RegistryValue> held;
  if (!name.empty() && paths && !ReadSchemeListEntry(name, held)) return false;
  if (!name.empty() && (!paths || held == StringValue(value_type::kExpandString, *paths)) &&
      !DeleteSchemeListEntry(name)) {
    return false;
  }
  std::optional<std::u16string> selected;
  if (!ReadText(u"", selected)) return false;
  if (name.empty() || !selected || !EqualsIgnoringAsciiCase(*selected, name)) return true;
  return (scheme ? WriteValue(u"", *scheme) : DeleteValue(u"")) &&
         (source ? WriteValue(kSchemeSourceValue, *source) : DeleteValue(kSchemeSourceValue));
}

bool CPointerSettings::WriteRolePath(std::size_t role, std::u16string_view path) {
  return WriteText(PointerRoles.at(role).valueName, path, value_type::kExpandString);
}

void CPointerSettings::DeleteRolePath(std::size_t role) {
  registry_.DeleteValue(key_.get(), PointerRoles.at(role).valueName);
}

void CPointerSettings::NotifyPointersChanged() { reloader_.ReloadPointers(); }

void CPointerSettings::Close() { key_.Reset(); }

}  // namespace pivora

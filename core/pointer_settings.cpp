#include "core/pointer_settings.h"

#include <limits>

#include "core/pointer_roles.h"

namespace pivora {
namespace {

constexpr std::u16string_view kControlPanelKey = u"Control Panel";
constexpr std::u16string_view kCursorsSubKey = u"Cursors";
constexpr std::u16string_view kCursorsKey = u"Control Panel\\Cursors";

}  // namespace

CPointerSettings::CPointerSettings(Registry& registry, PointerReloader& reloader)
    : registry_(registry), reloader_(reloader), key_(registry) {}

bool CPointerSettings::OpenForReading() {
  return registry_.Open(root_key::kCurrentUser, kCursorsKey, key_access::kRead, key_.put()) ==
         status::kSuccess;
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
  const std::u16string_view name = PointerRoles.at(role).valueName;
  // Most paths fit MAX_PATH; a longer value is read whole with the size the registry reports.
  std::u16string buffer(260, u'\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    auto byteCount = static_cast<std::uint32_t>(buffer.size() * sizeof(char16_t));
    const Status result = registry_.QueryValue(key_.get(), name, nullptr, buffer.data(), byteCount);
    if (result == status::kMoreData) {
      // The value may change between the calls: grow and ask again.
      buffer.assign(byteCount / sizeof(char16_t) + 2, u'\0');
      continue;
    }
    if (result != status::kSuccess) return {};
    // The type is not checked and the data need not be terminated: the text ends at the first
    // zero unit or at the end of the bytes, an odd trailing byte dropped.
    buffer.resize(std::min<std::size_t>(buffer.size(), byteCount / sizeof(char16_t)));
    if (const std::size_t zero = buffer.find(u'\0'); zero != std::u16string::npos) {
      buffer.resize(zero);
    }
    return buffer;
  }
  return {};
}

bool CPointerSettings::WriteRolePath(std::size_t role, std::u16string_view path) {
  const std::size_t units = path.size() + 1;
  if (units > std::numeric_limits<std::uint32_t>::max() / sizeof(char16_t)) return false;
  std::u16string data(path);  // with the terminating zero unit that c_str() provides
  return registry_.SetValue(key_.get(), PointerRoles.at(role).valueName, value_type::kExpandString,
                            data.c_str(), static_cast<std::uint32_t>(units * sizeof(char16_t))) ==
         status::kSuccess;
}

void CPointerSettings::DeleteRolePath(std::size_t role) {
  registry_.DeleteValue(key_.get(), PointerRoles.at(role).valueName);
}

void CPointerSettings::NotifyPointersChanged() { reloader_.ReloadPointers(); }

void CPointerSettings::Close() { key_.Reset(); }

}  // namespace pivora

// The per-user pointer settings: HKEY_CURRENT_USER\Control Panel\Cursors, one REG_EXPAND_SZ
// value per pointer role, and the notification that makes the desktop reload them. Nothing
// else touches the key. A store is opened per operation sequence and closed at its end (or
// when the object goes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/registry.h"
#include "platform/reloader.h"

namespace pivora {

// A registry value as it is stored: its type and its bytes, whatever they are.
struct RegistryValue {
  std::uint32_t type = 0;
  std::string bytes;
  bool operator==(const RegistryValue&) const = default;
};

// The text a value holds, its type not looked at: up to the first zero unit or the end of the
// bytes, an odd trailing byte dropped.
std::u16string TextOf(const RegistryValue& value);
// A string value of `type` holding `text` and its terminating zero unit.
RegistryValue StringValue(std::uint32_t type, std::u16string_view text);
RegistryValue NumberValue(std::uint32_t number);

// The value that tells the system's mouse settings how the scheme in use was chosen.
inline constexpr std::u16string_view kSchemeSourceValue = u"Scheme Source";

class CPointerSettings {
 public:
  CPointerSettings(Registry& registry, PointerReloader& reloader);
  CPointerSettings(const CPointerSettings&) = delete;
  CPointerSettings& operator=(const CPointerSettings&) = delete;

  // Opens the key with read access; never creates anything. `missing`, when given, tells a key
  // that is not there from one that could not be opened.
  bool OpenForReading(bool* missing = nullptr);
  // Opens the key for writing, creating "Cursors" under an existing "Control Panel" (which is
  // itself never created).
  bool OpenForWriting();
  // The role's stored path, read whole whatever its length; empty when the value is absent,
  // empty or unreadable.
  std::u16string ReadRolePath(std::size_t role) const;
  // Stores the path as REG_EXPAND_SZ with its terminating zero unit.
  bool WriteRolePath(std::size_t role, std::u16string_view path);
  // The result is of no interest: a value that is not there counts as deleted.
  void DeleteRolePath(std::size_t role);

  // Any value of the key by name (a role's, the default "" that names the scheme in use, "Scheme
  // Source"): nothing when it is absent; false when it is there but cannot be read.
  bool ReadText(std::u16string_view name, std::optional<std::u16string>& text) const;
  // The value as stored, read whole whatever its type and size; the same outcomes as ReadText.
  bool ReadValue(std::u16string_view name, std::optional<RegistryValue>& value) const;
  bool WriteValue(std::u16string_view name, const RegistryValue& value);
  bool WriteText(std::u16string_view name, std::u16string_view text, std::uint32_t type);
  bool WriteNumber(std::u16string_view name, std::uint32_t number);
  // True once the value is gone, whether or not it was there.
  bool DeleteValue(std::u16string_view name);
  // One entry of the system's scheme list (the "Schemes" key under this one): the roles' paths
  // comma-separated in role order.
  bool WriteSchemeListEntry(std::u16string_view name, std::u16string_view paths);
  // The entry as stored; nothing when it or the list is absent, false when it cannot be read.
  bool ReadSchemeListEntry(std::u16string_view name, std::optional<RegistryValue>& value) const;
  bool DeleteSchemeListEntry(std::u16string_view name);
  // The entry `name` holding `paths`, selected as the system's mouse settings leave a scheme a
  // person picked: the default value names it and "Scheme Source" is 1.
  bool SelectSchemeListEntry(std::u16string_view name, std::u16string_view paths);
  // Undoes SelectSchemeListEntry: the entry goes while it holds `paths` (whatever it holds when
  // they are not known), and while it is the one selected, `scheme` and `source` are the default
  // value and "Scheme Source" again (each deleted where it is nothing). An empty name touches no
  // entry. False when a value could not be read or changed.
  bool RestoreSchemeList(std::u16string_view name, const std::optional<std::u16string>& paths,
                         const std::optional<RegistryValue>& scheme,
                         const std::optional<RegistryValue>& source);

  void NotifyPointersChanged();
  void Close();

 private:
  Registry& registry_;
  PointerReloader& reloader_;
  RegistryKey key_;
};

}  // namespace pivora

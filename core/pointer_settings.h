// The per-user pointer settings: HKEY_CURRENT_USER\Control Panel\Cursors, one REG_EXPAND_SZ
// value per pointer role, and the notification that makes the desktop reload them. Nothing
// else touches the key. A store is opened per operation sequence and closed at its end (or
// when the object goes).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/registry.h"
#include "platform/reloader.h"

namespace pivora {

class CPointerSettings {
 public:
  CPointerSettings(Registry& registry, PointerReloader& reloader);
  CPointerSettings(const CPointerSettings&) = delete;
  CPointerSettings& operator=(const CPointerSettings&) = delete;

  // Opens the key with read access; never creates anything.
  bool OpenForReading();
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
  void NotifyPointersChanged();
  void Close();

 private:
  Registry& registry_;
  PointerReloader& reloader_;
  RegistryKey key_;
};

}  // namespace pivora

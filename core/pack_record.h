// The record an install keeps in the pack's folder: which source it came from, which files it
// wrote, and the settings the pack's first install found, so that a reinstall replaces only its
// own files and an uninstall puts back what was there. The file is in the person's folder and
// may be edited: reading it is bounded and takes any bytes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/pointer_roles.h"
#include "core/pointer_settings.h"
#include "platform/files.h"

namespace pivora {

inline constexpr std::u16string_view kRecordFile = u"Pivora.source";
// A record larger than this is not read: a pack with such a record cannot be uninstalled, so an
// install never writes one.
inline constexpr std::uint64_t kMaxRecordBytes = 64 * 1024;

// The settings a pack's first install found, as stored: each role's value, the scheme in use
// (the key's default value) and "Scheme Source"; nothing where a value was absent.
struct Before {
  std::array<std::optional<RegistryValue>, kAllPointerRoleCount> roles;
  std::optional<RegistryValue> scheme;
  std::optional<RegistryValue> source;
};

// What an install recorded. A record from before files were listed names only the source: nothing
// but the record itself is known to be ours then. One from before the settings were recorded
// cannot be uninstalled: what was there before is not known.
struct Record {
  // The source's key (core/pack_source.h): an INF's path in every earlier version's records.
  std::u16string key;
  // Names inside the pack's folder, the record's own last when read.
  std::vector<std::u16string> files;
  std::optional<Before> before;
  // The pack's entry in the scheme list (empty when the install wrote none) and the paths it
  // wrote there. A record from before entries were recorded has none: its entry is the folder's
  // name, with paths not known.
  std::optional<std::u16string> listEntry;
  std::u16string listPaths;
};

// The record these bytes hold, whatever they are: lines it does not know are passed over, and a
// file name that leads out of the folder is not taken. Linear in the bytes' size.
Record ParseRecord(std::string_view bytes);
// The record file in `folder`; nothing when it cannot be read or is larger than kMaxRecordBytes.
std::optional<Record> ReadRecord(FileSystem& files, std::u16string_view folder);
// The bytes ParseRecord reads back as `record` (its files, without the record's own name).
std::string RecordBytes(const Record& record);

}  // namespace pivora

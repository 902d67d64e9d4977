// What a pack is, whatever it came from: an identity, a scheme's name and a pointer file for
// some roles. Each source only reads and decides; one install takes any of them.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/pointer_roles.h"

namespace pivora {

// A selection of more pointer files than this is no pack: a person picks a set, not a library.
inline constexpr std::size_t kMaxSelectedPointerFiles = 1000;

struct PackSource {
  // Who the pack is: installing the same key again replaces what its last install wrote, and
  // finds that install for uninstalling. An INF's path for an INF (as every earlier version
  // recorded it), the folder's path for a selection of pointer files.
  std::u16string key;
  // The scheme's name; the pack's folder, scheme file and scheme list entry are named after it.
  std::u16string schemeName;
  // For each role: nothing when the pack leaves the role alone, empty for the system's own
  // pointer, or the full path of the pointer file.
  std::array<std::optional<std::u16string>, kAllPointerRoleCount> files;
  // Roles the source has no usable file for that the person is told of: they keep their pointer.
  // In role order.
  std::vector<std::size_t> rolesLeft;
};

// The pack a selection of pointer files of one folder makes: `names` are the files' names in
// `folder`, as selected. The scheme is named after the folder; each role takes the file its name
// tells (core/pointer_names.h), every other role is left as it was and reported; a file that fits
// no role is not part of the pack. Nothing when more than kMaxSelectedPointerFiles are given.
std::optional<PackSource> PackSourceFromPointerFiles(std::u16string_view folder,
                                                     const std::vector<std::u16string>& names);

}  // namespace pivora

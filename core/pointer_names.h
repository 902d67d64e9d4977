// Pointer files that come without an INF: which role each file is for, told from the names of
// the whole set alone (no file is read).
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/pointer_roles.h"

namespace pivora {

struct PointerNameMatch {
  // For each role, the index in the names given of the file that role takes; nothing when no
  // name clearly names the role (the role is left as it is).
  std::array<std::optional<std::size_t>, kAllPointerRoleCount> files;
};

// Matches a set of pointer file names (names only, no folders, extensions included) to roles.
// Every index returned is an index of `names`.
PointerNameMatch MatchPointerNames(const std::vector<std::u16string>& names);

}  // namespace pivora

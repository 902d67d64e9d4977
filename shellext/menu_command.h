// Command identifiers of the context menu, as offsets from the first identifier the shell
// gives. The shell reports a chosen item, and asks for its help text, by this offset.
#pragma once

#include <cstdint>

namespace pivora {

enum MenuCommandOffset : std::uint32_t {
  RoleFirst = 0,  // one item per pointer role, in role order
  RoleLast = 14,
  Separator = 15,
  SaveScheme = 16,
  ChangeCursor = 17,
  Count = 18,  // identifiers claimed
};

}  // namespace pivora

#include "core/pointer_names.h"

#include <string_view>

namespace pivora {

PointerNameMatch MatchPointerNames(const std::vector<std::u16string>& names) {
  PointerNameMatch match;
  for (std::size_t index = 0; index < names.size(); ++index) {
    std::u16string_view stem = names[index];
    if (const std::size_t dot = stem.rfind(u'.'); dot != std::u16string_view::npos) {
      stem = stem.substr(0, dot);
    }
    // The registry's value names, whole: the first file naming a role takes it.
    if (const auto role = RoleNamed(stem); role && !match.files[*role]) match.files[*role] = index;
  }
  return match;
}

}  // namespace pivora

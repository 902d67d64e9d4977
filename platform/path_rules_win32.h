// The path rules on Windows: shlwapi for the relative form, the process environment, and our own
// code for the rest.
#pragma once

#include "platform/path_rules.h"

namespace pivora {

class Win32PathRules final : public PathRules {
 public:
  std::optional<std::u16string> RelativePathTo(std::u16string_view folder,
                                               std::u16string_view file) const override;
  bool IsRelative(std::u16string_view path) const override;
  std::optional<std::u16string> Append(std::u16string_view folder,
                                       std::u16string_view more) const override;
  std::u16string ExpandEnvironment(std::u16string_view text) const override;
};

}  // namespace pivora

// Our own path rules, which follow the platform's quirks included: the native build's binding of
// the path seam, and the fuzzer's. Plain portable code, so it compiles on both builds; the Win32
// binding uses two of the rules too, so that applying a scheme needs no shlwapi.
#pragma once

#include <map>
#include <string>

#include "platform/path_rules.h"

namespace pivora {

// PathIsRelativeW: neither begins with a backslash nor has a colon as its second unit.
bool IsRelativePath(std::u16string_view path);
// PathAppendW, as PathRules::Append describes it.
std::optional<std::u16string> AppendPath(std::u16string_view folder, std::u16string_view more);

class PortablePathRules final : public PathRules {
 public:
  // `environment` holds the variables ExpandEnvironment knows; names compare without case.
  explicit PortablePathRules(std::map<std::u16string, std::u16string> environment = {});

  std::optional<std::u16string> RelativePathTo(std::u16string_view folder,
                                               std::u16string_view file) const override;
  bool IsRelative(std::u16string_view path) const override;
  std::optional<std::u16string> Append(std::u16string_view folder,
                                       std::u16string_view more) const override;
  std::u16string ExpandEnvironment(std::u16string_view text) const override;

 private:
  std::map<std::u16string, std::u16string> environment_;  // keys upper-cased
};

}  // namespace pivora

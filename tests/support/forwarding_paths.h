// Path rules that pass every call on to others: tests derive from it and change one rule.
#pragma once

#include "platform/path_rules.h"

namespace pivora::testing {

class ForwardingPaths : public PathRules {
 public:
  explicit ForwardingPaths(const PathRules& inner) : inner_(inner) {}
  std::optional<std::u16string> RelativePathTo(std::u16string_view folder,
                                               std::u16string_view file) const override {
    return inner_.RelativePathTo(folder, file);
  }
  bool IsRelative(std::u16string_view path) const override { return inner_.IsRelative(path); }
  std::optional<std::u16string> Append(std::u16string_view folder,
                                       std::u16string_view more) const override {
    return inner_.Append(folder, more);
  }
  std::u16string ExpandEnvironment(std::u16string_view text) const override {
    return inner_.ExpandEnvironment(text);
  }

 private:
  const PathRules& inner_;
};

}  // namespace pivora::testing

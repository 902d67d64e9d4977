#include "platform/portable_path_rules.h"
#include "tests/support/paths_under_test.h"

namespace pivora::testing {

const PathRules& PathRulesUnderTest() {
  static const PortablePathRules rules({{u"SystemRoot", u"C:\\windows"}, {u"PIVORA_EMPTY", u""}});
  return rules;
}

}  // namespace pivora::testing

#include <windows.h>

#include "platform/path_rules_win32.h"
#include "tests/support/paths_under_test.h"

namespace pivora::testing {

const PathRules& PathRulesUnderTest() {
  static const Win32PathRules rules = [] {
    SetEnvironmentVariableW(L"PIVORA_EMPTY", L"");
    return Win32PathRules();
  }();
  return rules;
}

}  // namespace pivora::testing

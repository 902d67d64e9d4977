// The path rules the tests run against: natively our own, under Wine shlwapi's.
#pragma once

#include "platform/path_rules.h"

namespace pivora::testing {

// Natively the environment holds SystemRoot=C:\windows and PIVORA_EMPTY= (empty); under Wine
// the process's own environment, where SystemRoot is C:\windows as well.
const PathRules& PathRulesUnderTest();

}  // namespace pivora::testing

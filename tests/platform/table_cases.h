// The platform tests' tables of cases: each case is a struct whose `name` names its test, and a
// failing case is shown by that name while the assertion shows the values. A test file brings
// both functions into its own namespace (`using testing::CaseName;`, `using testing::PrintTo;`),
// where GoogleTest finds PrintTo next to the case types.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace pivora::testing {

template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  return info.param.name;
}

template <typename Case>
requires requires(const Case& c) { c.name; }
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

}  // namespace pivora::testing

// The language the test programs expect the library's texts in: the Czech runs set
// PIVORA_EXPECT_LANGUAGE=cs (see tests/CMakeLists.txt), every other run expects English.
#pragma once

#include <cstdlib>
#include <string_view>

namespace pivora::testing {

inline bool CzechExpected() {
  const char* language = std::getenv("PIVORA_EXPECT_LANGUAGE");
  return language != nullptr && std::string_view(language) == "cs";
}

}  // namespace pivora::testing

// Any bytes are a set of pointer file names to the name matcher (UTF-16LE, one name a line, so
// that NULs, lone surrogates and huge names all reach it): it must not crash, and every file
// it gives a role must be one of the names, with the convention that named it.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/pointer_names.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::u16string> names(1);
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const auto unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
    if (unit == u'\n') {
      names.emplace_back();
    } else {
      names.back().push_back(unit);
    }
  }
  const pivora::PointerNameMatch match = pivora::MatchPointerNames(names);
  for (std::size_t role = 0; role < pivora::kAllPointerRoleCount; ++role) {
    Check(match.files[role].has_value() == match.conventions[role].has_value());
    if (match.files[role]) {
      Check(*match.files[role] < names.size());
      Check(*match.files[role] < pivora::kMaxPointerNames);
    }
  }
  return 0;
}

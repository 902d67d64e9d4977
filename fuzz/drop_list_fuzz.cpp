// Any bytes are a file list to the selection reader: it must not crash, read no further than
// the block, and give only names within the limits it is given.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/drop_list.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view block(reinterpret_cast<const char*>(data), size);
  constexpr std::size_t kLimit = 5;
  constexpr std::size_t kMaxUnits = 64;
  std::vector<std::u16string> paths;
  const bool read = pivora::ReadDropList(block, kLimit, kMaxUnits, paths);
  Check(read == !paths.empty());
  Check(paths.size() <= kLimit);
  for (const std::u16string& path : paths) Check(!path.empty() && path.size() <= kMaxUnits);
  return 0;
}

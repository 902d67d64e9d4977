#include "core/drop_list.h"

#include <cstdint>

#include "platform/text.h"

namespace pivora {
namespace {

std::uint32_t Field(std::string_view block, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t byte = 4; byte-- > 0;) {
    value = value << 8 | static_cast<unsigned char>(block[at + byte]);
  }
  return value;
}

// The name at `at`, up to its zero; `at` moves past the zero. False when no zero comes within
// the block and `maxUnits` units.
bool NextWideName(std::string_view block, std::size_t& at, std::size_t maxUnits,
                  std::u16string& name) {
  name.clear();
  for (; at + 1 < block.size(); at += 2) {
    const auto unit = static_cast<char16_t>(static_cast<unsigned char>(block[at]) |
                                            static_cast<unsigned char>(block[at + 1]) << 8);
    if (unit == u'\0') {
      at += 2;
      return true;
    }
    if (name.size() == maxUnits) return false;
    name.push_back(unit);
  }
  return false;
}

bool NextAnsiName(std::string_view block, std::size_t& at, std::size_t maxUnits,
                  std::u16string& name) {
  const std::size_t end = block.find('\0', at);
  if (end == std::string_view::npos || end - at > 2 * maxUnits) return false;
  name = AnsiToUtf16(block.substr(at, end - at));
  at = end + 1;
  return name.size() <= maxUnits;
}

}  // namespace

bool ReadDropList(std::string_view block, std::size_t limit, std::size_t maxUnits,
                  std::vector<std::u16string>& paths) {
  paths.clear();
  if (block.size() < kDropHeaderBytes) return false;
  std::size_t at = Field(block, 0);
  const bool wide = Field(block, 16) != 0;
  if (at < kDropHeaderBytes || at >= block.size()) return false;
  std::u16string name;
  while (paths.size() < limit) {
    if (!(wide ? NextWideName(block, at, maxUnits, name)
               : NextAnsiName(block, at, maxUnits, name))) {
      paths.clear();
      return false;
    }
    if (name.empty()) break;
    paths.push_back(name);
  }
  return !paths.empty();
}

}  // namespace pivora

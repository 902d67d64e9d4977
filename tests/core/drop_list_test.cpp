// The shell's file list read from its bytes, as another program's data object may hand them.
#include "core/drop_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/platform/table_cases.h"

namespace pivora {
namespace {

using testing::CaseName;
using testing::PrintTo;

// A DROPFILES header with the list at `offset`, then `list` as it is.
std::string Block(std::uint32_t offset, bool wide, const std::string& list) {
  std::string block(offset < kDropHeaderBytes ? kDropHeaderBytes : offset, '\0');
  for (int byte = 0; byte < 4; ++byte) block[byte] = static_cast<char>(offset >> (8 * byte));
  block[16] = wide ? 1 : 0;
  return block + list;
}

// The names in UTF-16LE, each with its zero, and the list's own zero.
std::string Wide(const std::vector<std::u16string>& names) {
  std::string bytes;
  for (const std::u16string& name : names) {
    for (const char16_t unit : name + u'\0') {
      bytes += static_cast<char>(unit & 0xFF);
      bytes += static_cast<char>(unit >> 8);
    }
  }
  return bytes + std::string(2, '\0');
}

struct DropCase {
  const char* name;
  std::string block;
  std::vector<std::u16string> paths;  // empty: refused
};

class DropListTest : public ::testing::TestWithParam<DropCase> {};

TEST_P(DropListTest, ReadsTheNamesOrRefusesTheBlock) {
  std::vector<std::u16string> paths{u"left from before"};
  EXPECT_EQ(ReadDropList(GetParam().block, 3, 12, paths), !GetParam().paths.empty());
  EXPECT_EQ(paths, GetParam().paths);
}

const std::u16string kLongest(12, u'x');
INSTANTIATE_TEST_SUITE_P(
    Blocks, DropListTest,
    ::testing::Values(
        DropCase{"TwoWideNames",
                 Block(20, true, Wide({u"C:\\a.cur", u"C:\\\u0159.ani"})),
                 {u"C:\\a.cur", u"C:\\\u0159.ani"}},
        DropCase{"AnsiNames",
                 Block(20, false, std::string("C:\\a.cur\0C:\\b.ani\0\0", 19)),
                 {u"C:\\a.cur", u"C:\\b.ani"}},
        DropCase{"AListAfterPadding", Block(28, true, Wide({u"C:\\a"})), {u"C:\\a"}},
        DropCase{"TheLimitStopsTheReading",
                 Block(20, true, Wide({u"1", u"2", u"3", u"4"}).substr(0, 13)),
                 {u"1", u"2", u"3"}},
        DropCase{"TheLongestName", Block(20, true, Wide({kLongest})), {kLongest}},
        DropCase{"ANameTooLong", Block(20, true, Wide({kLongest + u"x"})), {}},
        DropCase{"AnAnsiNameTooLong", Block(20, false, std::string(13, 'x') + '\0' + '\0'), {}},
        DropCase{"NoNames", Block(20, true, Wide({})), {}},
        DropCase{"ANameWithoutItsEnd", Block(20, true, Wide({u"C:\\a"}).substr(0, 7)), {}},
        DropCase{"AnAnsiNameWithoutItsEnd", Block(20, false, "C:\\a"), {}},
        DropCase{"AListOutsideTheBlock", Block(20, true, "") + std::string(4, 'x'), {}},
        DropCase{"AListInsideTheHeader", Block(8, true, Wide({u"C:\\a"})), {}},
        DropCase{"AShortHeader", std::string(19, '\0'), {}}),
    CaseName<DropCase>);

}  // namespace
}  // namespace pivora

// Which selections the pack handler serves, told from their paths alone.
#include "core/selection_kind.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/platform/table_cases.h"

namespace pivora {
namespace {

using testing::CaseName;
using testing::PrintTo;

struct SelectionCase {
  const char* name;
  std::vector<std::u16string> paths;
  SelectionKind kind;
};

// `count` pointer files of one folder.
std::vector<std::u16string> PointerFiles(std::size_t count) {
  std::vector<std::u16string> paths;
  for (std::size_t i = 0; i < count; ++i) {
    paths.push_back(u"C:\\Set\\" + std::u16string(i % 7 + 1, u'p') + u"-" +
                    std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) +
                    (i % 2 == 0 ? u".cur" : u".ani"));
  }
  return paths;
}

class ClassifySelectionTest : public ::testing::TestWithParam<SelectionCase> {};

TEST_P(ClassifySelectionTest, TellsTheKindFromThePaths) {
  EXPECT_EQ(ClassifySelection(GetParam().paths), GetParam().kind);
}

using enum SelectionKind;
INSTANTIATE_TEST_SUITE_P(
    Selections, ClassifySelectionTest,
    ::testing::Values(
        SelectionCase{"Nothing", {}, kNothing},
        SelectionCase{"OneINF", {u"C:\\Pack\\install.inf"}, kInf},
        SelectionCase{"OneINFInCapitals", {u"C:\\Pack\\INSTALL.INF"}, kInf},
        SelectionCase{"OneScheme", {u"C:\\Pack\\Blue.Crs"}, kScheme},
        SelectionCase{"OnePointerFileAlone", {u"C:\\Set\\Arrow.cur"}, kNothing},
        SelectionCase{"OneOtherFile", {u"C:\\Set\\notes.txt"}, kNothing},
        SelectionCase{
            "TwoPointerFiles", {u"C:\\Set\\Arrow.cur", u"C:\\Set\\Wait.ANI"}, kPointerFiles},
        SelectionCase{"TwoINFs", {u"C:\\a\\install.inf", u"C:\\a\\other.inf"}, kNothing},
        SelectionCase{"PointerFilesAndTheirINF",
                      {u"C:\\Set\\Arrow.cur", u"C:\\Set\\Wait.ani", u"C:\\Set\\install.inf"},
                      kNothing},
        SelectionCase{"TwoFolders", {u"C:\\Set\\Arrow.cur", u"C:\\Other\\Wait.ani"}, kNothing},
        SelectionCase{"ASubfolder", {u"C:\\Set\\Arrow.cur", u"C:\\Set\\x\\Wait.ani"}, kNothing},
        SelectionCase{"ForwardSlashes", {u"C:/Set/Arrow.cur", u"C:/Set/Wait.ani"}, kNothing},
        SelectionCase{"NoFolder", {u"Arrow.cur", u"Wait.ani"}, kNothing},
        SelectionCase{
            "ANameThatIsOnlyAnExtension", {u"C:\\Set\\.cur", u"C:\\Set\\a.ani"}, kNothing},
        SelectionCase{
            "AnExtensionInTheMiddle", {u"C:\\Set\\a.cur.txt", u"C:\\Set\\b.ani"}, kNothing},
        SelectionCase{
            "AFolderNamedLikeAPointer", {u"C:\\Set.cur\\", u"C:\\Set.cur\\a.cur"}, kNothing},
        SelectionCase{"LongPaths",
                      {u"\\\\?\\C:\\" + std::u16string(40000, u'l') + u"\\Arrow.cur",
                       u"\\\\?\\C:\\" + std::u16string(40000, u'l') + u"\\Hand.cur"},
                      kPointerFiles},
        SelectionCase{"AThousandPointerFiles", PointerFiles(kMaxSelectedPointerFiles),
                      kPointerFiles},
        SelectionCase{"OneMore", PointerFiles(kMaxSelectedPointerFiles + 1), kNothing}),
    CaseName<SelectionCase>);

}  // namespace
}  // namespace pivora

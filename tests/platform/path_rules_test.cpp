// The path rules scheme files rely on. Natively they run against our own rules, under Wine against
// shlwapi; the expected values are what Wine 8 gives.
#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/path_rules.h"
#include "tests/platform/table_cases.h"
#include "tests/support/paths_under_test.h"

namespace pivora {
namespace {

using testing::CaseName;
using testing::PrintTo;
using namespace std::string_literals;

const PathRules& Rules() { return testing::PathRulesUnderTest(); }

// `prefix` followed by `fill` repeated until the whole is `length` units long.
std::u16string Padded(std::u16string_view prefix, std::size_t length, char16_t fill = u'x') {
  std::u16string path(prefix);
  path.resize(length, fill);
  return path;
}

// ---------------------------------------------------------------------------------------------
// RelativePathTo

struct RelativeCase {
  const char* name;
  std::u16string folder;
  std::u16string file;
  std::optional<std::u16string> expected;
};

class RelativePathToTest : public ::testing::TestWithParam<RelativeCase> {};

TEST_P(RelativePathToTest, GivesThePlatformsRelativePath) {
  EXPECT_EQ(Rules().RelativePathTo(GetParam().folder, GetParam().file), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, RelativePathToTest,
    ::testing::Values(
        RelativeCase{"SameFolder", u"C:\\Cursors", u"C:\\Cursors\\arrow.cur", u".\\arrow.cur"},
        RelativeCase{"DriveRoot", u"C:\\", u"C:\\arrow.cur", u".\\arrow.cur"},
        RelativeCase{"Subfolder", u"C:\\Cursors", u"C:\\Cursors\\Blue\\arrow.cur",
                     u".\\Blue\\arrow.cur"},
        RelativeCase{"Parent", u"C:\\Cursors\\Blue", u"C:\\Cursors\\arrow.cur", u"..\\arrow.cur"},
        RelativeCase{"Grandparent", u"C:\\Cursors\\Blue\\Dark", u"C:\\Cursors\\arrow.cur",
                     u"..\\..\\arrow.cur"},
        RelativeCase{"Sibling", u"C:\\Cursors\\Blue", u"C:\\Cursors\\Red\\arrow.cur",
                     u"..\\Red\\arrow.cur"},
        RelativeCase{"UpToDriveRoot", u"C:\\a\\b\\c", u"C:\\arrow.cur", u"..\\..\\..\\arrow.cur"},
        RelativeCase{"FileIsDriveRoot", u"C:\\a\\b", u"C:\\", u"..\\.."},
        // Only whole components are shared: "Cursor" is not a prefix of "Cursors".
        RelativeCase{"PartialComponent", u"C:\\Cursor", u"C:\\Cursors\\arrow.cur",
                     u"..\\Cursors\\arrow.cur"},
        RelativeCase{"ForwardSlashIsOrdinary", u"C:\\Cursors/Blue", u"C:\\Cursors\\Blue\\a.cur",
                     u"..\\Cursors\\Blue\\a.cur"},
        // Wine 8 gives "\arrow.cur" when the folder ends in a backslash; callers pass folders
        // without one.
        RelativeCase{"FolderWithTrailingBackslash", u"C:\\Cursors\\", u"C:\\Cursors\\arrow.cur",
                     u"\\arrow.cur"}),
    CaseName<RelativeCase>);

// Components compare as towupper leaves them under Wine 8: letters with a one-unit capital match
// it, but neither dotless i nor sharp s is folded into anything.
INSTANTIATE_TEST_SUITE_P(
    Case, RelativePathToTest,
    ::testing::Values(
        RelativeCase{"Ascii", u"C:\\CURSORS", u"c:\\cursors\\arrow.cur", u".\\arrow.cur"},
        RelativeCase{"Latin1", u"C:\\Curseurs\\\u00C9t\u00C9",
                     u"C:\\curseurs\\\u00E9t\u00E9\\a.cur", u".\\a.cur"},
        RelativeCase{"Greek", u"C:\\\u0394\u03B5\u03AF\u03BA\u03C4\u03B5\u03C2",
                     u"C:\\\u03B4\u0395\u038A\u039A\u03A4\u0395\u03C2\\a.cur", u".\\a.cur"},
        RelativeCase{"Cyrillic", u"C:\\\u041A\u0443\u0440\u0441\u043E\u0440\u044B",
                     u"C:\\\u043A\u0423\u0420\u0421\u041E\u0420\u042B\\a.cur", u".\\a.cur"},
        RelativeCase{"DotlessI", u"C:\\\u0131", u"C:\\I\\a.cur", u"..\\I\\a.cur"},
        RelativeCase{"SharpS", u"C:\\stra\u00DFe", u"C:\\STRASSE\\a.cur", u"..\\STRASSE\\a.cur"}),
    CaseName<RelativeCase>);

INSTANTIATE_TEST_SUITE_P(
    Roots, RelativePathToTest,
    ::testing::Values(
        RelativeCase{"OtherDrive", u"C:\\Cursors", u"D:\\Cursors\\arrow.cur", std::nullopt},
        RelativeCase{"SameShare", u"\\\\server\\share\\Cursors",
                     u"\\\\server\\share\\Cursors\\arrow.cur", u".\\arrow.cur"},
        // The server name alone is a shared component under Wine 8.
        RelativeCase{"OtherShare", u"\\\\server\\share\\Cursors", u"\\\\server\\other\\arrow.cur",
                     u"..\\..\\other\\arrow.cur"},
        RelativeCase{"OtherServer", u"\\\\server\\share", u"\\\\other\\share\\arrow.cur",
                     std::nullopt},
        RelativeCase{"ShareAndDrive", u"\\\\server\\share", u"C:\\share\\arrow.cur", std::nullopt},
        RelativeCase{"DriveAndShare", u"C:\\share", u"\\\\server\\share\\arrow.cur", std::nullopt},
        // References are not expanded: only the same text is shared.
        RelativeCase{"EnvironmentReference", u"%SystemRoot%\\Cursors",
                     u"C:\\windows\\Cursors\\arrow.cur", std::nullopt},
        RelativeCase{"SameEnvironmentReference", u"%SystemRoot%\\Cursors",
                     u"%SYSTEMROOT%\\Cursors\\arrow.cur", u".\\arrow.cur"},
        // A view is read up to its first zero unit.
        RelativeCase{"ZeroUnitEndsTheText", u"C:\\Cursors\0\\Blue"s, u"C:\\Cursors\\a.cur\0x"s,
                     u".\\a.cur"}),
    CaseName<RelativeCase>);

INSTANTIATE_TEST_SUITE_P(
    Lengths, RelativePathToTest,
    ::testing::Values(
        RelativeCase{"Folder259", Padded(u"C:\\Cursors\\", 259), u"C:\\Cursors\\arrow.cur",
                     u"..\\arrow.cur"},
        RelativeCase{"Folder260", Padded(u"C:\\Cursors\\", 260), u"C:\\Cursors\\arrow.cur",
                     std::nullopt},
        RelativeCase{"File259", u"C:\\Cursors", Padded(u"C:\\Cursors\\", 259),
                     u".\\" + Padded(u"", 248)},
        RelativeCase{"File260", u"C:\\Cursors", Padded(u"C:\\Cursors\\", 260), std::nullopt},
        // "..\..\" and 253 units of name: 259 in all.
        RelativeCase{"Result259", u"C:\\a\\b", Padded(u"C:\\", 256, u'n'),
                     u"..\\..\\" + Padded(u"", 253, u'n')},
        RelativeCase{"Result260", u"C:\\a\\b", Padded(u"C:\\", 257, u'n'), std::nullopt}),
    CaseName<RelativeCase>);

// ---------------------------------------------------------------------------------------------
// IsRelative

struct IsRelativeCase {
  const char* name;
  std::u16string path;
  bool expected;
};

class IsRelativeTest : public ::testing::TestWithParam<IsRelativeCase> {};

TEST_P(IsRelativeTest, FollowsThePlatform) {
  EXPECT_EQ(Rules().IsRelative(GetParam().path), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, IsRelativeTest,
    ::testing::Values(IsRelativeCase{"Empty", u"", true},
                      IsRelativeCase{"FileName", u"arrow.cur", true},
                      IsRelativeCase{"Folders", u"Cursors\\arrow.cur", true},
                      IsRelativeCase{"Dot", u".\\arrow.cur", true},
                      IsRelativeCase{"DotDot", u"..\\arrow.cur", true},
                      IsRelativeCase{"ForwardSlash", u"/Cursors/arrow.cur", true},
                      IsRelativeCase{"EnvironmentReference", u"%SystemRoot%\\arrow.cur", true},
                      IsRelativeCase{"DriveRoot", u"C:\\arrow.cur", false},
                      IsRelativeCase{"DriveOnly", u"C:", false},
                      IsRelativeCase{"DriveRelative", u"C:arrow.cur", false},
                      IsRelativeCase{"AnyUnitBeforeColon", u"1:arrow.cur", false},
                      IsRelativeCase{"RootOfDrive", u"\\Cursors\\arrow.cur", false},
                      IsRelativeCase{"Unc", u"\\\\server\\share\\arrow.cur", false},
                      IsRelativeCase{"ZeroUnitFirst", u"\0C:\\arrow.cur"s, true}),
    CaseName<IsRelativeCase>);

// ---------------------------------------------------------------------------------------------
// Append

struct AppendCase {
  const char* name;
  std::u16string folder;
  std::u16string more;
  std::optional<std::u16string> expected;
};

class AppendTest : public ::testing::TestWithParam<AppendCase> {};

TEST_P(AppendTest, GivesThePlatformsPath) {
  EXPECT_EQ(Rules().Append(GetParam().folder, GetParam().more), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Joining, AppendTest,
    ::testing::Values(AppendCase{"Name", u"C:\\Cursors", u"arrow.cur", u"C:\\Cursors\\arrow.cur"},
                      AppendCase{"FolderWithTrailingBackslash", u"C:\\Cursors\\", u"arrow.cur",
                                 u"C:\\Cursors\\arrow.cur"},
                      AppendCase{"DriveRoot", u"C:\\", u"arrow.cur", u"C:\\arrow.cur"},
                      AppendCase{"EmptyMore", u"C:\\Cursors", u"", u"C:\\Cursors"},
                      AppendCase{"EmptyFolder", u"", u"arrow.cur", u"arrow.cur"},
                      AppendCase{"BothEmpty", u"", u"", u"\\"},
                      AppendCase{"ForwardSlashIsOrdinary", u"C:\\Cursors", u"Blue/arrow.cur",
                                 u"C:\\Cursors\\Blue/arrow.cur"},
                      AppendCase{"ZeroUnitEndsTheText", u"C:\\Cursors\0junk"s, u"arrow.cur\0junk"s,
                                 u"C:\\Cursors\\arrow.cur"}),
    CaseName<AppendCase>);

// A leading backslash does not lead to the root of the drive: the part goes below the folder.
// A part that starts with two backslashes or a drive replaces the folder.
INSTANTIATE_TEST_SUITE_P(
    AbsoluteParts, AppendTest,
    ::testing::Values(AppendCase{"LeadingBackslash", u"C:\\Cursors", u"\\Blue\\arrow.cur",
                                 u"C:\\Cursors\\Blue\\arrow.cur"},
                      AppendCase{"ThreeBackslashesAreUnc", u"C:\\Cursors", u"\\\\\\Blue",
                                 u"\\\\\\Blue"},
                      AppendCase{"Unc", u"C:\\Cursors", u"\\\\server\\share\\arrow.cur",
                                 u"\\\\server\\share\\arrow.cur"},
                      AppendCase{"OtherDrive", u"C:\\Cursors", u"D:\\arrow.cur", u"D:\\arrow.cur"},
                      AppendCase{"DriveRelative", u"C:\\Cursors", u"D:arrow.cur", u"D:arrow.cur"}),
    CaseName<AppendCase>);

INSTANTIATE_TEST_SUITE_P(
    DotSegments, AppendTest,
    ::testing::Values(
        AppendCase{"Dots", u"C:\\Cursors", u".\\Blue\\.\\arrow.cur",
                   u"C:\\Cursors\\Blue\\arrow.cur"},
        AppendCase{"Parent", u"C:\\Cursors\\Blue", u"..\\arrow.cur", u"C:\\Cursors\\arrow.cur"},
        AppendCase{"ParentInside", u"C:\\Cursors", u"Blue\\..\\Red\\arrow.cur",
                   u"C:\\Cursors\\Red\\arrow.cur"},
        AppendCase{"ParentInFolder", u"C:\\Cursors\\Blue\\..", u"arrow.cur",
                   u"C:\\Cursors\\arrow.cur"},
        AppendCase{"ToDriveRoot", u"C:\\Cursors", u"..", u"C:\\"},
        AppendCase{"AboveDriveRoot", u"C:\\Cursors", u"..\\..\\..\\arrow.cur", u"C:\\arrow.cur"},
        // Wine 8 keeps a last "." segment.
        AppendCase{"TrailingDot", u"C:\\Cursors", u"Blue\\.", u"C:\\Cursors\\Blue\\."},
        AppendCase{"UncStopsAtServer", u"\\\\server\\share\\Cursors", u"..\\..\\..\\arrow.cur",
                   u"\\\\server\\arrow.cur"}),
    CaseName<AppendCase>);

INSTANTIATE_TEST_SUITE_P(
    Lengths, AppendTest,
    ::testing::Values(
        // 200 + "\" + 58 units.
        AppendCase{"Result259", Padded(u"C:\\", 200), Padded(u"", 58, u'm'),
                   Padded(Padded(u"C:\\", 200) + u"\\", 259, u'm')},
        AppendCase{"Result260", Padded(u"C:\\", 200), Padded(u"", 59, u'm'), std::nullopt},
        AppendCase{"Folder259", Padded(u"C:\\", 259), u"", Padded(u"C:\\", 259)},
        AppendCase{"Folder260", Padded(u"C:\\", 260), u"", std::nullopt},
        AppendCase{"FolderWithBackslash259", Padded(u"C:\\", 258) + u"\\", u"",
                   Padded(u"C:\\", 258) + u"\\"},
        // The length counts before ".." segments are resolved.
        AppendCase{"LongBeforeDots", Padded(u"C:\\", 240), u"..\\" + Padded(u"", 20, u'm'),
                   std::nullopt},
        AppendCase{"AbsoluteMore259", u"C:\\Cursors", Padded(u"D:\\", 259), Padded(u"D:\\", 259)},
        AppendCase{"AbsoluteMore260", u"C:\\Cursors", Padded(u"D:\\", 260), std::nullopt}),
    CaseName<AppendCase>);

// ---------------------------------------------------------------------------------------------
// ExpandEnvironment

struct ExpandCase {
  const char* name;
  std::u16string text;
  std::u16string expected;
};

class ExpandEnvironmentTest : public ::testing::TestWithParam<ExpandCase> {};

TEST_P(ExpandEnvironmentTest, ReplacesKnownReferences) {
  EXPECT_EQ(Rules().ExpandEnvironment(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    References, ExpandEnvironmentTest,
    ::testing::Values(
        ExpandCase{"NoReference", u"C:\\Cursors\\arrow.cur", u"C:\\Cursors\\arrow.cur"},
        ExpandCase{"Empty", u"", u""},
        ExpandCase{"Known", u"%SystemRoot%\\Cursors", u"C:\\windows\\Cursors"},
        ExpandCase{"KnownLowerCase", u"%systemroot%\\Cursors", u"C:\\windows\\Cursors"},
        ExpandCase{"KnownUpperCase", u"%SYSTEMROOT%", u"C:\\windows"},
        ExpandCase{"KnownTwice", u"%SystemRoot%;%SystemRoot%", u"C:\\windows;C:\\windows"},
        ExpandCase{"EmptyValue", u"a%PIVORA_EMPTY%b", u"ab"},
        ExpandCase{"Unknown", u"%PIVORA_UNKNOWN%\\arrow.cur", u"%PIVORA_UNKNOWN%\\arrow.cur"},
        ExpandCase{"UnknownThenKnown", u"%PIVORA_UNKNOWN%x%SystemRoot%",
                   u"%PIVORA_UNKNOWN%xC:\\windows"},
        // Both '%' of an unknown reference are used up: the second does not open another.
        ExpandCase{"UnknownBeforeName", u"%PIVORA_UNKNOWN%SystemRoot%",
                   u"%PIVORA_UNKNOWN%SystemRoot%"},
        ExpandCase{"EmptyName", u"a%%b", u"a%%b"},
        ExpandCase{"ZeroUnitEndsTheText", u"%SystemRoot%\0%SystemRoot%"s, u"C:\\windows"}),
    CaseName<ExpandCase>);

INSTANTIATE_TEST_SUITE_P(
    Unterminated, ExpandEnvironmentTest,
    ::testing::Values(ExpandCase{"LonePercent", u"100%", u"100%"},
                      ExpandCase{"OpenReference", u"%SystemRoot", u"%SystemRoot"},
                      ExpandCase{"OpenAfterKnown", u"%SystemRoot%%SystemRoot",
                                 u"C:\\windows%SystemRoot"},
                      ExpandCase{"PercentInText", u"50% of %SystemRoot%", u"50% of %SystemRoot%"}),
    CaseName<ExpandCase>);

TEST(ExpandEnvironmentLength, WholeUpToTheLongestPathThenCut) {
  // Wine 8 cuts a single ExpandEnvironmentStringsW result at 32766 units; a path may have 32767.
  std::u16string text = u"x";
  std::u16string expected = u"x";
  for (int i = 0; i < 2978; ++i) {
    text += u"%SystemRoot%|";
    expected += u"C:\\windows|";
  }
  text += u"abcdefgh";
  expected += u"abcdefgh";
  ASSERT_EQ(expected.size(), 32767u);
  EXPECT_TRUE(Rules().ExpandEnvironment(text) == expected);
  // More stops one unit past the longest path, whatever the rest of the text holds.
  const std::u16string cut = Rules().ExpandEnvironment(text + u"%SystemRoot%%SystemRoot%");
  ASSERT_EQ(cut.size(), 32768u);
  EXPECT_TRUE(cut == expected + u"C");
}

}  // namespace
}  // namespace pivora

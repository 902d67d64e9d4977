// Writing scheme files from the store and reading them back.
#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "core/pointer_roles.h"
#include "core/scheme.h"
#include "tests/support/test_platform.h"

namespace pivora {
namespace {

using testing::TestPlatform;

std::string Section(std::string_view name, std::string_view entry) {
  return "[" + std::string(name) + "]\r\nPath=" + std::string(entry) + "\r\n\r\n";
}

// The sections a scheme file has, in the order it has them.
constexpr const char* kSectionNames[] = {
    "Arrow",  "Help",   "AppStarting", "Wait",     "Crosshair", "IBeam",   "NWPen", "No",
    "SizeNS", "SizeWE", "SizeNWSE",    "SizeNESW", "SizeAll",   "UpArrow", "Hand"};

std::string AllEmptySections(std::size_t from) {
  std::string text;
  for (std::size_t role = from; role < std::size(kSectionNames); ++role) {
    text += Section(kSectionNames[role], "");
  }
  return text;
}

std::string FileOf(std::string_view text) {
  return "\xEF\xBB\xBF" + std::string(text) + std::string(1, '\0');
}

void ExpectAllRoles(const SchemeEntries& entries, EntryState state) {
  for (std::size_t role = 0; role < kPointerRoleCount; ++role) {
    EXPECT_EQ(entries[role].state, state) << role;
  }
}

class ComposeSchemeTest : public ::testing::Test {
 protected:
  std::string Compose(std::u16string_view schemePath) {
    CPointerSettings store(bed.registry(), bed.reloader());
    return ComposeScheme(schemePath, store, bed.paths());
  }
  TestPlatform bed;
};

TEST_F(ComposeSchemeTest, UnreadableStoreGivesTheTemplate) {
  ASSERT_FALSE(bed.CursorsKeyExists());
  const std::string bytes = Compose(u"D:\\Pointers\\Blue.crs");
  EXPECT_EQ(bytes.size(), 260u);
  EXPECT_EQ(bytes.substr(0, 3 + 31), "\xEF\xBB\xBF[Arrow]\r\nPath=\r\n[Help]\r\nPath=\r\n");
  EXPECT_TRUE(bytes.ends_with(std::string("[Hand]\r\nPath=\r\n") + '\0'));
  ExpectAllRoles(ParseScheme(bytes), EntryState::kEmpty);
}

TEST_F(ComposeSchemeTest, EmptyStoreGivesFifteenEmptySections) {
  bed.Store(u"Arrow", u"");
  const std::string bytes = Compose(u"D:\\Pointers\\Blue.crs");
  EXPECT_EQ(bytes.size(), 290u);
  EXPECT_EQ(bytes, FileOf(AllEmptySections(0)));
  ExpectAllRoles(ParseScheme(bytes), EntryState::kEmpty);
  EXPECT_EQ(bed.registry().openHandles, 0);
}

TEST_F(ComposeSchemeTest, PathsAreWrittenRelativeToTheSchemeFolderWhereTheyCan) {
  bed.Store(u"Arrow", u"D:\\Pointers\\Blue\\arrow.cur");
  bed.Store(u"Help", u"d:\\pointers\\help.ani");
  bed.Store(u"AppStarting", u"D:\\Shared\\busy.ani");
  bed.Store(u"Wait", u"E:\\Other\\wait.ani");
  bed.Store(u"Crosshair", u"%SystemRoot%\\cursors\\cross_r.cur");
  bed.Store(u"IBeam", u"\\\\server\\share\\beam.cur");
  const std::string bytes = Compose(u"D:\\Pointers\\Blue.crs");
  EXPECT_EQ(bytes, FileOf(Section("Arrow", "Blue\\arrow.cur") + Section("Help", "help.ani") +
                          Section("AppStarting", "..\\Shared\\busy.ani") +
                          Section("Wait", "E:\\Other\\wait.ani") +
                          Section("Crosshair", "%SystemRoot%\\cursors\\cross_r.cur") +
                          Section("IBeam", "\\\\server\\share\\beam.cur") + AllEmptySections(6)));
}

TEST_F(ComposeSchemeTest, EveryEntryLeadsBackToItsStoredPath) {
  // Schemes at a drive's root or behind a doubled backslash, where a relative form is easy to
  // get wrong: whatever is written must resolve to the stored path again.
  const std::u16string stored[] = {u"D:\\Pointers\\arrow.cur", u"D:\\help.cur",
                                   u"D:\\Pointers\\Deep\\wait.ani", u"E:\\x.cur"};
  for (std::size_t role = 0; role < std::size(stored); ++role) {
    bed.Store(PointerRoles[role].valueName, stored[role]);
  }
  for (std::u16string_view schemePath :
       {u"D:\\Blue.crs", u"D:\\Pointers\\\\Blue.crs", u"D:\\Pointers\\Deep\\Blue.crs"}) {
    const SchemeEntries entries = ParseScheme(Compose(schemePath));
    const std::u16string_view folder = schemePath.substr(0, schemePath.rfind(u'\\'));
    for (std::size_t role = 0; role < std::size(stored); ++role) {
      const std::u16string_view entry = entries[role].text;
      const std::u16string resolved = bed.paths().IsRelative(entry)
                                          ? bed.paths().Append(folder, entry).value_or(u"?")
                                          : std::u16string(entry);
      EXPECT_EQ(resolved, stored[role]) << testing::Narrow(schemePath) << " " << role;
    }
  }
}

TEST_F(ComposeSchemeTest, TextIsUtf8) {
  bed.Store(u"Arrow", u"E:\\Kurzory\\\u0161ipka \u010dern\u00e1.cur");
  const std::string bytes = Compose(u"D:\\x.crs");
  EXPECT_EQ(bytes, FileOf(Section("Arrow",
                                  "E:\\Kurzory\\\xC5\xA1ipka \xC4\x8D"
                                  "ern\xC3\xA1.cur") +
                          AllEmptySections(1)));
  EXPECT_EQ(ParseScheme(bytes)[0].text, u"E:\\Kurzory\\\u0161ipka \u010dern\u00e1.cur");
}

TEST_F(ComposeSchemeTest, PathsBeyondThePathLimitAreWrittenWhole) {
  // A long stored path inside the scheme's own folder is kept absolute rather than risk a
  // wrong relative form.
  const std::u16string longPath = u"D:\\Pointers\\" + std::u16string(300, u'n') + u".cur";
  bed.Store(u"Arrow", longPath);
  // And a scheme in a folder beyond the limit keeps even a short path as stored.
  const std::u16string deepFolder = u"D:\\" + std::u16string(270, u'f');
  bed.Store(u"Help", deepFolder + u"\\help.cur");
  const std::string bytes = Compose(u"D:\\Pointers\\Blue.crs");
  const SchemeEntries entries = ParseScheme(bytes);
  EXPECT_EQ(entries[0].text, longPath);
  const SchemeEntries deep = ParseScheme(Compose(deepFolder + u"\\Blue.crs"));
  EXPECT_EQ(deep[1].text, deepFolder + u"\\help.cur");
}

TEST_F(ComposeSchemeTest, FifteenLongPathsAreAllWritten) {
  std::vector<std::u16string> paths;
  for (std::size_t role = 0; role < kPointerRoleCount; ++role) {
    paths.push_back(u"E:\\" + std::u16string(250, static_cast<char16_t>(u'a' + role)) + u".cur");
    bed.Store(PointerRoles[role].valueName, paths.back());
  }
  const SchemeEntries entries = ParseScheme(Compose(u"D:\\Blue.crs"));
  for (std::size_t role = 0; role < kPointerRoleCount; ++role) {
    EXPECT_EQ(entries[role].text, paths[role]) << role;
  }
}

struct ParseCase {
  const char* name;
  std::string file;
  // Expected entry per role index: nullptr for absent, else the text ("" for empty).
  std::vector<std::pair<std::size_t, const char16_t*>> entries;
};

class ParseSchemeTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseSchemeTest, GivesTheEntries) {
  const ParseCase& c = GetParam();
  const SchemeEntries entries = ParseScheme(c.file);
  std::vector<const char16_t*> expected(kPointerRoleCount, nullptr);
  for (const auto& [role, text] : c.entries) expected[role] = text;
  for (std::size_t role = 0; role < kPointerRoleCount; ++role) {
    const SchemeEntry entry = entries[role];
    if (expected[role] == nullptr) {
      EXPECT_EQ(entry.state, EntryState::kAbsent) << "role " << role;
    } else if (std::u16string_view(expected[role]).empty()) {
      EXPECT_EQ(entry.state, EntryState::kEmpty) << "role " << role;
    } else {
      EXPECT_EQ(entry.state, EntryState::kText) << "role " << role;
      EXPECT_EQ(entry.text, expected[role]) << "role " << role;
    }
  }
}

const std::string kBom = "\xEF\xBB\xBF";

INSTANTIATE_TEST_SUITE_P(
    Files, ParseSchemeTest,
    ::testing::Values(
        ParseCase{"Empty", "", {}}, ParseCase{"OnlyByteOrderMark", kBom, {}},
        ParseCase{"NoSection", kBom + "Path=C:\\a.cur\r\nhello\r\n", {}},
        ParseCase{"HeaderCaseIgnored",
                  "[arrow]\r\nPath=a\r\n[HELP]\r\nPath=b\r\n[AppStarting]\r\nPath=c\r\n",
                  {{0, u"a"}, {1, u"b"}, {2, u"c"}}},
        ParseCase{"KeyCaseIgnored", "[Arrow]\r\npAtH=x.cur\r\n", {{0, u"x.cur"}}},
        ParseCase{"NoSelectsUnavailable", "[No]\r\nPath=no.cur\r\n", {{7, u"no.cur"}}},
        ParseCase{"LineEndsLfOnly", "[Arrow]\nPath=a\n\n[Hand]\nPath=h\n", {{0, u"a"}, {14, u"h"}}},
        ParseCase{"LineEndsCrOnly", "[Arrow]\rPath=a\r\r[Hand]\rPath=h\r", {{0, u"a"}, {14, u"h"}}},
        ParseCase{
            "FirstPathLineOfASectionCounts", "[Arrow]\r\nPath=one\r\nPath=two\r\n", {{0, u"one"}}},
        ParseCase{"LastSectionForARoleWins",
                  "[Arrow]\r\nPath=one\r\n[Help]\r\nPath=h\r\n[Arrow]\r\nPath=two\r\n",
                  {{0, u"two"}, {1, u"h"}}},
        ParseCase{"SectionWithoutPathKeepsEarlierEntry",
                  "[Arrow]\r\nPath=one\r\n[Arrow]\r\n",
                  {{0, u"one"}}},
        ParseCase{
            "UnknownHeaderKeepsThePendingRole", "[Arrow]\r\n[Other]\r\nPath=x\r\n", {{0, u"x"}}},
        ParseCase{
            "SectionWithoutPathLeavesRoleAbsent", "[Arrow]\r\n[Help]\r\nPath=\r\n", {{1, u""}}},
        ParseCase{"TrailingSpacesKept", "[Arrow]\r\nPath=a.cur  \t\r\n", {{0, u"a.cur  \t"}}},
        ParseCase{"QuotesKept", "[Arrow]\r\nPath=\"a.cur\"\r\n", {{0, u"\"a.cur\""}}},
        ParseCase{"NoWhiteSpaceHandling",
                  " [Arrow]\r\nPath=a\r\n[Help] \r\nPath=b\r\n[Wait]\r\nPath =c\r\n Path=d\r\n",
                  {}},
        ParseCase{"PartialNamesSelectNothing",
                  "[Size]\r\nPath=a\r\n[]\r\nPath=b\r\n[Arro]\r\nPath=c\r\n[ArrowX]\r\nPath=d\r\n",
                  {}},
        ParseCase{"OnlyAsciiLettersFoldCase",
                  // A Latin capital I with dot above is no "i".
                  "[\xC4\xB0"
                  "Beam]\r\nPath=a\r\n[IBEAM]\r\nPath=b\r\n",
                  {{5, u"b"}}},
        ParseCase{"FinalLineWithoutLineEnd", "[Arrow]\r\nPath=C:\\a.cur", {{0, u"C:\\a.cur"}}},
        ParseCase{"PathLineBeforeAnyHeaderIgnored", "Path=x\r\n[Hand]\r\nPath=y\r\n", {{14, u"y"}}},
        ParseCase{"TextEndsAtFirstZero",
                  std::string("[Arrow]\r\nPath=a\r\n\0[Help]\r\nPath=b\r\n", 32),
                  {{0, u"a"}}},
        ParseCase{"ZeroEndsAnUnfinishedLine",
                  std::string("[Arrow]\r\nPath=ab\0cd\r\n", 21),
                  {{0, u"ab"}}},
        ParseCase{
            "Utf16FileGivesNothing", std::string("\xFF\xFE[\0A\0r\0r\0o\0w\0]\0\r\0\n\0", 20), {}},
        // Undecodable bytes before the bracket spoil the header.
        ParseCase{"OtherByteOrderMarkNotDropped", "\xFE\xFF[Arrow]\r\nPath=a\r\n", {}},
        ParseCase{"BomOnlyDroppedAtStart",
                  "[Arrow]\r\nPath=\xEF\xBB\xBF"
                  "a\r\n",
                  {{0, u"\uFEFFa"}}},
        ParseCase{
            "Utf8Entries", kBom + "[Arrow]\r\nPath=\xC5\xA1ipka.cur\r\n", {{0, u"\u0161ipka.cur"}}},
        ParseCase{"BracketsInsidePath", "[Arrow]\r\nPath=[x].cur\r\n", {{0, u"[x].cur"}}}),
    [](const ::testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

TEST(ParseSchemeRoundTripTest, EntriesStayValidWhenCopied) {
  SchemeEntries copy;
  {
    const SchemeEntries original = ParseScheme("[Arrow]\r\nPath=C:\\a.cur\r\n");
    copy = original;
  }
  EXPECT_EQ(copy[0].text, u"C:\\a.cur");
}

}  // namespace
}  // namespace pivora

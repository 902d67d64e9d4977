// Telling pointer files' roles from their names: every name of the table, whole sets in each
// convention, the decorations sets carry, words of two meanings, ties, and names that are no
// pointer's.
#include "core/pointer_names.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/platform/table_cases.h"

namespace pivora {
namespace {

using testing::CaseName;
using testing::PrintTo;

constexpr std::size_t kArrow = 0, kHelp = 1, kAppStarting = 2, kWait = 3, kCrosshair = 4,
                      kIBeam = 5, kNWPen = 6, kNo = 7, kSizeNS = 8, kSizeWE = 9, kSizeNWSE = 10,
                      kSizeNESW = 11, kSizeAll = 12, kUpArrow = 13, kHand = 14, kPin = 15,
                      kPerson = 16;

// Files a pointer folder holds beside its pointers, which name no role.
const std::vector<std::u16string> kOtherFiles = {u"readme.txt", u"preview.png", u"install.inf"};

std::u16string AsciiUpperCase(std::u16string_view text) {
  std::u16string upper(text);
  for (char16_t& c : upper) c = AsciiUpper(c);
  return upper;
}

TEST(PointerNamesTableTest, EveryNameNamesItsRoleInAnyCaseAndSpelling) {
  for (const PointerNameRow& row : PointerNameRows()) {
    SCOPED_TRACE(::testing::PrintToString(std::u16string(row.name)));
    for (const std::u16string& spelling :
         {std::u16string(row.name) + u".cur", AsciiUpperCase(row.name) + u".ANI"}) {
      std::vector<std::u16string> names = kOtherFiles;
      names.insert(names.begin() + 1, spelling);
      const PointerNameMatch match = MatchPointerNames(names);
      EXPECT_EQ(match.files[row.role], 1u);
      EXPECT_EQ(match.conventions[row.role], row.convention);
      for (std::size_t role = 0; role < kAllPointerRoleCount; ++role) {
        if (role != row.role) {
          EXPECT_FALSE(match.files[role]) << role;
        }
      }
    }
  }
}

// A whole set in one convention: each role the convention names, by its first row, in an
// order that is not the roles'.
TEST(PointerNamesTableTest, AWholeSetInEachConventionTakesEveryRoleItNames) {
  for (std::size_t convention = 0; convention < kNameConventionCount; ++convention) {
    SCOPED_TRACE(NameConventionName(static_cast<NameConvention>(convention)));
    std::map<std::size_t, std::u16string> firsts;
    for (const PointerNameRow& row : PointerNameRows()) {
      if (static_cast<std::size_t>(row.convention) == convention) {
        firsts.emplace(row.role, row.name);
      }
    }
    ASSERT_GE(firsts.size(), 12u);
    std::vector<std::u16string> names;
    for (auto it = firsts.rbegin(); it != firsts.rend(); ++it) names.push_back(it->second);
    const PointerNameMatch match = MatchPointerNames(names);
    std::size_t index = names.size();
    for (const auto& [role, name] : firsts) {
      --index;
      EXPECT_EQ(match.files[role], index) << ::testing::PrintToString(name);
    }
    for (std::size_t role = 0; role < kAllPointerRoleCount; ++role) {
      if (!firsts.contains(role)) {
        EXPECT_FALSE(match.files[role]) << role;
      }
    }
  }
}

struct SetCase {
  const char* name;
  std::vector<std::u16string> files;
  std::vector<std::pair<std::size_t, std::size_t>> roles;  // role, index of its file
};

class PointerNameSetTest : public ::testing::TestWithParam<SetCase> {};

TEST_P(PointerNameSetTest, GivesEachRoleItsFileAndNoOtherRoleOne) {
  const PointerNameMatch match = MatchPointerNames(GetParam().files);
  std::array<std::optional<std::size_t>, kAllPointerRoleCount> expected;
  for (const auto& [role, file] : GetParam().roles) expected[role] = file;
  for (std::size_t role = 0; role < kAllPointerRoleCount; ++role) {
    EXPECT_EQ(match.files[role], expected[role]) << "role " << role;
  }
}

INSTANTIATE_TEST_SUITE_P(
    , PointerNameSetTest,
    ::testing::Values(
        SetCase{"SeparatorsCaseAndExtension",
                {u"NORMAL-SELECT.CUR", u"help.select.ani", u"Working_in_background.ani",
                 u"textselect.cur"},
                {{kArrow, 0}, {kHelp, 1}, {kAppStarting, 2}, {kIBeam, 3}}},
        SetCase{"SharedPrefix",
                {u"mytheme_arrow.cur", u"mytheme_busy.ani", u"mytheme_link.cur"},
                {{kArrow, 0}, {kWait, 1}, {kHand, 2}}},
        SetCase{"SharedPrefixWithoutSeparators",
                {u"NeonArrow.cur", u"NeonHelp.cur", u"NeonSizeNWSE.cur"},
                {{kArrow, 0}, {kHelp, 1}, {kSizeNWSE, 2}}},
        SetCase{"SharedSuffix",
                {u"Arrow - Blue Glass.cur", u"Busy - Blue Glass.ani", u"Move - Blue Glass.cur"},
                {{kArrow, 0}, {kWait, 1}, {kSizeAll, 2}}},
        SetCase{"SharedPrefixThatIsARoleWord",
                {u"Diagonal Resize 1.cur", u"Diagonal Resize 2.cur"},
                {{kSizeNWSE, 0}, {kSizeNESW, 1}}},
        SetCase{"SharedPrefixThatIsAWholeName", {u"Blue.cur", u"Blue Arrow.cur"}, {{kArrow, 1}}},
        SetCase{"JoinedAfterASharedPrefix",
                {u"x_busy_and_working.ani", u"x_arrow.cur"},
                {{kWait, 0}, {kAppStarting, 0}, {kArrow, 1}}},
        SetCase{"AJoinedNameLosesToAShorterOne",
                {u"busy_and_working.ani", u"busy.ani"},
                {{kWait, 1}, {kAppStarting, 0}}},
        SetCase{"NumberedPerFile",
                {u"01-arrow.cur", u"02 - Help Select.cur", u"3_busy.ani", u"17. person.cur"},
                {{kArrow, 0}, {kHelp, 1}, {kWait, 2}, {kPerson, 3}}},
        SetCase{"PrefixThenNumber",
                {u"Theme 01 Arrow.cur", u"Theme 02 Unavailable.cur"},
                {{kArrow, 0}, {kNo, 1}}},
        SetCase{"AeroSizeTails",
                {u"aero_arrow_xl.cur", u"aero_busy_l.ani", u"aero_link.cur"},
                {{kArrow, 0}, {kWait, 1}, {kHand, 2}}},
        SetCase{"ClassicWaitIsTheArrowWithAnHourglass",
                {u"wait_r.cur", u"busy_r.cur", u"size1_r.cur", u"size2_r.cur"},
                {{kAppStarting, 0}, {kWait, 1}, {kSizeNESW, 2}, {kSizeNWSE, 3}}},
        SetCase{"AccentsLeftOut",
                {u"NORMALNI VYBER.cur", u"Zmena sirky.cur", u"Seleccion de texto.cur"},
                {{kArrow, 0}, {kSizeWE, 1}, {kIBeam, 2}}},
        SetCase{"DecomposedAccents",
                {u"Se\u0301lection normale.cur", u"Occupe\u0301.ani"},
                {{kArrow, 0}, {kWait, 1}}},
        SetCase{
            "UpperCaseCyrillic", {u"ОСНОВНОЙ РЕЖИМ.cur", u"ЗАНЯТ.ani"}, {{kArrow, 0}, {kWait, 1}}},
        SetCase{"FullWidthLetters",
                {u"\uFF21\uFF52\uFF52\uFF4F\uFF57.cur", u"\u5FD9.ani"},
                {{kArrow, 0}, {kWait, 1}}},
        SetCase{"BusyAndWorkingServesBoth",
                {u"arrow.cur", u"busy_and_working.ani"},
                {{kArrow, 0}, {kWait, 1}, {kAppStarting, 1}}},
        SetCase{"JoinedBySigns",
                {u"Vert+Horz.cur", u"dgn1 & dgn2.cur"},
                {{kSizeNS, 0}, {kSizeWE, 0}, {kSizeNWSE, 1}, {kSizeNESW, 1}}},
        SetCase{"JoinedWithAnUnknownPart", {u"busy_and_happy.ani", u"rock_and_roll.cur"}, {}},
        SetCase{"HandIsTheLinkAlone", {u"arrow.cur", u"hand.cur"}, {{kArrow, 0}, {kHand, 1}}},
        SetCase{"HandIsHandwritingBesideALink",
                {u"hand.cur", u"link.cur", u"arrow.cur"},
                {{kNWPen, 0}, {kHand, 1}, {kArrow, 2}}},
        SetCase{"HandIsHandwritingBesideAPointer",
                {u"Hand.cur", u"pointer.cur"},
                {{kNWPen, 0}, {kHand, 1}}},
        SetCase{"HandNamesNothingWhenBothAreNamed",
                {u"hand.cur", u"link.cur", u"handwriting.cur"},
                {{kHand, 1}, {kNWPen, 2}}},
        SetCase{"PenBesideHandwritingIsPrecision",
                {u"pen.cur", u"handwriting.cur"},
                {{kCrosshair, 0}, {kNWPen, 1}}},
        SetCase{"CrossIsPrecisionAlone", {u"cross.cur"}, {{kCrosshair, 0}}},
        SetCase{"CrossBesideACrosshairIsMove",
                {u"cross.cur", u"crosshair.cur"},
                {{kSizeAll, 0}, {kCrosshair, 1}}},
        SetCase{"PlainBeatsDecoratedCopies",
                {u"Arrow (2).cur", u"arrow_old.cur", u"Arrow.cur", u"busy copy.ani"},
                {{kArrow, 2}, {kWait, 3}}},
        SetCase{"CopyOfACopy", {u"arrow - Copy (2).cur"}, {{kArrow, 0}}},
        SetCase{"ACopysNumberKeepsTheRolesOwn", {u"Diagonal Resize 2 (2).cur"}, {{kSizeNESW, 0}}},
        SetCase{"ShorterNameWins",
                {u"aero_arrow.cur", u"arrow.cur", u"Normal Select.cur"},
                {{kArrow, 1}}},
        SetCase{"FirstOfEqualNamesWins", {u"busy.ani", u"BUSY.cur", u"wait.ani"}, {{kWait, 0}}},
        SetCase{"WordsInsideOtherWordsAreNoMatch",
                {u"narrow.cur", u"helpful.cur", u"nobody.cur", u"handbook.cur", u"moveable.cur",
                 u"arrow_blue.cur", u"big hand pointer.cur"},
                {}},
        SetCase{"NotAPointerFile", {u"arrow.png", u"busy.txt", u"link.cur.bak"}, {}},
        SetCase{"Unrelated", {u"IMG_0001.cur", u"cursor.cur", u"select.cur", u"1.cur"}, {}},
        SetCase{"Empty", {}, {}}, SetCase{"EmptyNames", {u"", u".cur", u"   "}, {}}),
    CaseName<SetCase>);

TEST(PointerNamesHostileTest, OddUnitsAndHugeNamesLeaveTheOthersMatched) {
  std::vector<std::u16string> names(kMaxPointerNames - 2, std::u16string(2000, char16_t{0xD800}));
  names[3] = std::u16string(1 << 20, u'x') + u"arrow.cur";
  names[4] = std::u16string(u"bu\0sy.ani", 9);  // a NUL is a separator like any other
  names[5] = char16_t{0xDC00} + std::u16string(u"link") + char16_t{0xD800} + u".cur";
  names.push_back(u"help.cur");
  names.push_back(u"move.cur");
  names.push_back(u"up.cur");  // past the limit: not looked at
  const PointerNameMatch match = MatchPointerNames(names);
  EXPECT_FALSE(match.files[kArrow]);
  EXPECT_EQ(match.files[kHand], 5u);
  EXPECT_EQ(match.files[kHelp], kMaxPointerNames - 2);
  EXPECT_EQ(match.files[kSizeAll], kMaxPointerNames - 1);
  EXPECT_FALSE(match.files[kUpArrow]);
  EXPECT_EQ(match.files[kWait], 4u);
}

TEST(PointerNamesHostileTest, ASharedPrefixOfHugeNamesIsSetAside) {
  const std::u16string prefix(1 << 18, u'p');
  const PointerNameMatch match =
      MatchPointerNames({prefix + u" arrow.cur", prefix + u" busy.ani", prefix + u" up.cur"});
  EXPECT_EQ(match.files[kArrow], 0u);
  EXPECT_EQ(match.files[kWait], 1u);
  EXPECT_EQ(match.files[kUpArrow], 2u);
}

}  // namespace
}  // namespace pivora

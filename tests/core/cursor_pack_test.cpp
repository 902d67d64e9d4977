// Reading a cursor pack's INF as packs are written in the wild: the scheme's list and named
// roles, strings with their quirks, the install section's forms, and INFs that are no pack.
#include "core/cursor_pack.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"
#include "tests/platform/table_cases.h"

namespace pivora {
namespace {

using testing::CaseName;
using testing::PrintTo;

constexpr std::size_t kArrow = 0, kHelp = 1, kWait = 3, kNWPen = 6, kHand = 14, kPin = 15,
                      kPerson = 16;

// A pack whose scheme lists every role by a string, as most packs do.
constexpr std::u16string_view kListedPack =
    u"\xFEFF; a comment line\r\n"
    u"Odd first line\r\n"
    u"[Version]\r\nsignature=\"$CHICAGO$\"\r\nfree text here\r\n"
    u"[DefaultInstall]\r\nCopyFiles = Scheme.Cur\r\nAddReg    = Scheme.Reg, Missing.Reg,\r\n"
    u"[Scheme.Reg]\r\n"
    u"HKCU,\"Control Panel\\Cursors\\Schemes\",\"%scheme_name% "
    u"100%%\",,\"%10%\\%CUR_DIR%\\%pointer%,"
    u"%10%\\%CUR_DIR%\\%help%,,%10%\\%CUR_DIR%\\%busy%,a,b,c,d,e,f,g,h,i,j,%10%/%CUR_DIR%/"
    u"%link%,pin.cur,more,beyond\"\r\n"
    u"\t; comment with a leading tab\n"
    u"[Strings]\r\n"
    u"CUR_DIR\t= \"Cursors\\Blue Pack\"\r\n"
    u"SCHEME_NAME = \"Blue \"\"Deluxe\"\"\"   \r\n"
    u"pointer = \"Arrow.cur\"\r\n"
    u"HELP = Help\"Sel.cur\r\n"
    u"busy-cursor = unused\r\n"
    u"busy = Busy.ani\r\n"
    u"link = Link.cur\r\n";

TEST(CursorPackTest, ReadsTheSchemesListWithItsStrings) {
  const std::optional<CursorPack> pack = ReadCursorPack(kListedPack);
  ASSERT_TRUE(pack);
  EXPECT_EQ(pack->schemeName, u"Blue \"Deluxe\" 100%");
  EXPECT_EQ(pack->files[kArrow], u"Arrow.cur");
  EXPECT_EQ(pack->files[kHelp], u"HelpSel.cur");  // a lone quote is dropped
  EXPECT_EQ(pack->files[2], u"");                 // an empty field: the system's own pointer
  EXPECT_EQ(pack->files[kWait], u"Busy.ani");
  EXPECT_EQ(pack->files[kHand], u"Link.cur");
  EXPECT_EQ(pack->files[kPin], u"pin.cur");  // the sixteenth and seventeenth: Pin and Person
  EXPECT_EQ(pack->files[kPerson], u"more");
}

TEST(CursorPackTest, ANamedRoleWinsOverTheListAndUnknownNamesAreIgnored) {
  const std::optional<CursorPack> pack = ReadCursorPack(
      u"[DefaultInstall.NTamd64]\nAddReg=A\n"
      u"[A]\n"
      u"HKCU,\"Control Panel\\Cursors\\Schemes\",Mine,0x00020000,\"a.cur,b.cur\"\n"
      u"hkcu,\"control panel\\cursors\",ARROW,0x00020000,\"%10%\\x\\Named.cur\"\n"
      u"HKCU,\"Control Panel\\Cursors\",NWPen,0x00020000,pen.cur\n"
      u"HKCU,\"Control Panel\\Cursors\",Person,0x00020000,person.cur\n"
      u"HKCU,\"Control Panel\\Cursors\",Pen,0x00020000,unknown.cur\n"
      u"HKLM,\"Control Panel\\Cursors\",Hand,0x00020000,machine.cur\n");
  ASSERT_TRUE(pack);
  EXPECT_EQ(pack->schemeName, u"Mine");
  EXPECT_EQ(pack->files[kArrow], u"Named.cur");
  EXPECT_EQ(pack->files[kHelp], u"b.cur");
  EXPECT_EQ(pack->files[kNWPen], u"pen.cur");
  EXPECT_EQ(pack->files[kPerson], u"person.cur");
  EXPECT_FALSE(pack->files[kHand]) << "only the user's settings count";
  EXPECT_FALSE(pack->files[kWait]);
}

TEST(CursorPackTest, TextComesInEveryEncodingPacksUse) {
  const std::string ascii =
      "[DefaultInstall]\nAddReg=A\n[A]\nHKCU,\"Control Panel\\Cursors\","
      "Arrow,,\"a.cur\"\n";
  std::string utf16 = "\xFF\xFE";
  for (const char c : ascii) utf16 += std::string{c, '\0'};
  for (const std::string& bytes : {ascii, "\xEF\xBB\xBF" + ascii, utf16}) {
    const std::optional<CursorPack> pack = ReadCursorPack(DecodeInfText(bytes));
    ASSERT_TRUE(pack);
    EXPECT_EQ(pack->files[kArrow], u"a.cur");
  }
  // UTF-8 without a mark is UTF-8; bytes that are not UTF-8 stay in the code page.
  EXPECT_EQ(DecodeInfText("Modr\xC3\xA1 \xC5\xA1ipka \xF0\x9F\x96\xB1"), u"Modrá šipka \U0001F5B1");
  EXPECT_EQ(DecodeInfText("caf\xE9"), AnsiToUtf16("caf\xE9"));
  EXPECT_EQ(DecodeInfText("\xC0\xAF"), AnsiToUtf16("\xC0\xAF"));  // an overlong slash
}

// A field that repeats a long string stops at the system's line limit; an INF whose
// references would write far more than its own size is no pack.
TEST(CursorPackTest, SubstitutionIsBounded) {
  const std::u16string head =
      u"[DefaultInstall]\nAddReg=A\n[A]\nHKCU,\"Control Panel\\Cursors\",Arrow,,\"";
  std::u16string strings = u"\"\n[Strings]\nL = \"" + std::u16string(250000, u'a') + u"\"\n";
  std::u16string references;
  for (int i = 0; i < 4000; ++i) references += u"%L%";
  const std::optional<CursorPack> pack = ReadCursorPack(head + references + strings);
  ASSERT_TRUE(pack);
  EXPECT_EQ(pack->files[kArrow], std::u16string(4096, u'a'));

  std::u16string spent = head + u"a.cur\"\n";
  for (int line = 0; line < 2000; ++line) spent += u"HKCU,%L%,%L%,,%L%\n";
  EXPECT_FALSE(ReadCursorPack(spent + u"[Strings]\nL = \"" + std::u16string(4000, u'b') + u"\"\n"));
}

// A section named again is read once: its strings are not substituted again, which would spend
// the INF's budget on what one reading already gave. Where two sections set one role, the one
// named last has the last word, as installing them in turn would leave it.
TEST(CursorPackTest, ARepeatedSectionIsReadOnce) {
  const std::u16string sections =
      u"[R]\nHKCU,\"Control Panel\\Cursors\",Arrow,,\"%10%\\%DIR%\\arrow.cur\"\n"
      u"[B]\nHKCU,\"Control Panel\\Cursors\",Arrow,,b.cur\n"
      u"HKCU,\"Control Panel\\Cursors\",Help,,help.cur\n"
      u"[Strings]\nS = r\nDIR = \"" +
      std::u16string(4000, u'd') + u"\"\n";
  std::u16string install = u"[DefaultInstall]\nAddReg=R";
  for (int i = 0; i < 100; ++i) install += u",R,r,%S%";  // the same name, whatever its case
  const std::optional<CursorPack> repeated = ReadCursorPack(install + u"\nAddReg=R\n" + sections);
  ASSERT_TRUE(repeated);
  EXPECT_EQ(repeated->files,
            ReadCursorPack(u"[DefaultInstall]\nAddReg=R\n" + sections).value().files);
  EXPECT_EQ(repeated->files[kArrow], u"arrow.cur");

  const std::optional<CursorPack> last =
      ReadCursorPack(u"[DefaultInstall]\nAddReg=B,R\nAddReg=b\n" + sections);
  ASSERT_TRUE(last);
  EXPECT_EQ(last->files[kArrow], u"b.cur");
  EXPECT_EQ(last->files[kHelp], u"help.cur");
}

TEST(CursorPackTest, AnINFThatSetsNoPointerFileIsNoPack) {
  for (const std::u16string_view inf : {
           u"",
           u"[Version]\nSignature=\"$Windows NT$\"\nClass=Display\n[Manufacturer]\nX=Y\n",
           u"[DefaultInstall]\nCopyFiles=Fonts\n[Fonts]\nfont.ttf\n",
           u"[A]\nHKCU,\"Control Panel\\Cursors\",Arrow,,a.cur\n",  // no install section
           u"[DefaultInstall]\nAddReg=A\n[A]\nHKCU,\"Control Panel\\Cursors\",Arrow,,\"\"\n",
       }) {
    EXPECT_FALSE(ReadCursorPack(inf)) << ::testing::PrintToString(std::u16string(inf));
  }
}

struct FolderCase {
  const char* name;
  std::u16string_view scheme;
  std::u16string_view folder;
};

class FolderNameTest : public ::testing::TestWithParam<FolderCase> {};

TEST_P(FolderNameTest, IsAUsableFileName) {
  EXPECT_EQ(FolderNameFor(GetParam().scheme), GetParam().folder);
}

INSTANTIATE_TEST_SUITE_P(
    , FolderNameTest,
    ::testing::Values(
        FolderCase{"Plain", u"Blue Pack", u"Blue Pack"},
        FolderCase{"Forbidden", u"a<b>c:d\"e/f\\g|h?i*j\tk", u"a_b_c_d_e_f_g_h_i_j_k"},
        FolderCase{"VariableAndList", u"%TEMP%, Red", u"_TEMP__ Red"},
        FolderCase{"Ends", u"  .Blue.  ", u"Blue"}, FolderCase{"Empty", u" . ", u""},
        FolderCase{"Device", u"con", u""}, FolderCase{"DeviceWithExtension", u"LPT1.txt", u""},
        FolderCase{"DeviceBeforeBlanks", u"CON .x", u""},
        FolderCase{"ConsoleInput", u"CONIN$", u""}, FolderCase{"PortZero", u"com0", u""},
        FolderCase{"SuperscriptPort", u"LPT\u00B2", u""},
        FolderCase{"NotADevice", u"CONSOLE", u"CONSOLE"}, FolderCase{"Letter", u"x", u"x"}),
    CaseName<FolderCase>);

TEST(FolderNameLengthTest, IsCutAt100WithoutSplittingACharacter) {
  std::u16string long_name(99, u'a');
  long_name += u"\U0001F600tail";
  EXPECT_EQ(FolderNameFor(long_name), std::u16string(99, u'a'));
  EXPECT_EQ(FolderNameFor(std::u16string(150, u'b')), std::u16string(100, u'b'));
}

}  // namespace
}  // namespace pivora

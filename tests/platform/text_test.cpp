// Conversions at the system's edges. The expected values are what Wine 8's MultiByteToWideChar
// and WideCharToMultiByte give for the same input, so the native build is held to them too.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "platform/text.h"
#include "tests/platform/table_cases.h"
#include "tests/support/test_platform.h"

namespace pivora {
namespace {

using testing::CaseName;
using testing::PrintTo;
using namespace std::string_view_literals;

constexpr char16_t kBad = 0xFFFD;

struct DecodeCase {
  const char* name;
  std::string_view bytes;
  std::u16string units;
};

class Utf8ToUtf16Test : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Utf8ToUtf16Test, GivesThePlatformsUnits) {
  EXPECT_EQ(Utf8ToUtf16(GetParam().bytes), GetParam().units);
}

INSTANTIATE_TEST_SUITE_P(
    WellFormed, Utf8ToUtf16Test,
    ::testing::Values(DecodeCase{"Empty", ""sv, u""},
                      DecodeCase{"Ascii", "Arrow.cur"sv, u"Arrow.cur"},
                      DecodeCase{"TwoByteLowest", "\xC2\x80"sv, {0x0080}},
                      DecodeCase{"TwoByte", "\xC3\xA9"sv, {0x00E9}},
                      DecodeCase{"TwoByteHighest", "\xDF\xBF"sv, {0x07FF}},
                      DecodeCase{"ThreeByteLowest", "\xE0\xA0\x80"sv, {0x0800}},
                      DecodeCase{"ThreeByte", "\xE2\x82\xAC"sv, {0x20AC}},
                      DecodeCase{"ThreeByteBelowSurrogates", "\xED\x9F\xBF"sv, {0xD7FF}},
                      DecodeCase{"ThreeByteAboveSurrogates", "\xEE\x80\x80"sv, {0xE000}},
                      DecodeCase{"ByteOrderMarkIsKept", "\xEF\xBB\xBFx"sv, {0xFEFF, u'x'}},
                      DecodeCase{"ThreeByteHighest", "\xEF\xBF\xBF"sv, {0xFFFF}},
                      DecodeCase{"FourByteLowest", "\xF0\x90\x80\x80"sv, {0xD800, 0xDC00}},
                      DecodeCase{"FourByte", "\xF0\x9F\x98\x80"sv, {0xD83D, 0xDE00}},
                      DecodeCase{"FourByteHighest", "\xF4\x8F\xBF\xBF"sv, {0xDBFF, 0xDFFF}},
                      DecodeCase{"Mixed",
                                 "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z"sv,
                                 {u'a', 0x00E9, 0x20AC, 0xD83D, 0xDE00, u'z'}}),
    CaseName<DecodeCase>);

INSTANTIATE_TEST_SUITE_P(
    ZeroBytes, Utf8ToUtf16Test,
    ::testing::Values(DecodeCase{"Alone", "\0"sv, {0}},
                      DecodeCase{"Inside", "a\0b"sv, {u'a', 0, u'b'}},
                      DecodeCase{"Several", "\0\0"sv, {0, 0}},
                      DecodeCase{"AfterBrokenSequence", "\xC3\0"sv, {kBad, 0}},
                      // Wine 8 lets a sequence cut off by the end swallow the zero byte.
                      DecodeCase{"InsideCutOffSequence", "\xE2\0"sv, {kBad}}),
    CaseName<DecodeCase>);

INSTANTIATE_TEST_SUITE_P(
    InvalidBytes, Utf8ToUtf16Test,
    ::testing::Values(
        DecodeCase{"LoneContinuation", "a\x80z"sv, {u'a', kBad, u'z'}},
        DecodeCase{"ContinuationRun", "\x80\xBF\x80"sv, {kBad, kBad, kBad}},
        DecodeCase{"LeadFE", "\xFE"sv, {kBad}}, DecodeCase{"LeadFF", "\xFFz"sv, {kBad, u'z'}},
        DecodeCase{"LeadF5", "\xF5\x80\x80\x80"sv, {kBad, kBad, kBad, kBad}},
        DecodeCase{"FiveByteForm", "\xF8\x88\x80\x80\x80"sv, {kBad, kBad, kBad, kBad, kBad}},
        DecodeCase{
            "SixByteForm", "\xFC\x84\x80\x80\x80\x80"sv, {kBad, kBad, kBad, kBad, kBad, kBad}}),
    CaseName<DecodeCase>);

// An overlong or otherwise impossible second byte is taken together with the lead byte as one
// U+FFFD; the bytes after it then stand alone.
INSTANTIATE_TEST_SUITE_P(
    OverlongForms, Utf8ToUtf16Test,
    ::testing::Values(DecodeCase{"TwoByteOfZero", "\xC0\x80"sv, {kBad, kBad}},
                      DecodeCase{"TwoByteC1", "\xC1\xBF"sv, {kBad, kBad}},
                      DecodeCase{"ThreeByteOfZero", "\xE0\x80\x80"sv, {kBad, kBad}},
                      DecodeCase{"ThreeByteHighest", "\xE0\x9F\xBF"sv, {kBad, kBad}},
                      DecodeCase{"FourByteOfZero", "\xF0\x80\x80\x80"sv, {kBad, kBad, kBad}},
                      DecodeCase{"FourByteHighest", "\xF0\x8F\xBF\xBF"sv, {kBad, kBad, kBad}}),
    CaseName<DecodeCase>);

INSTANTIATE_TEST_SUITE_P(
    EncodedSurrogates, Utf8ToUtf16Test,
    ::testing::Values(DecodeCase{"High", "\xED\xA0\x80"sv, {kBad, kBad}},
                      DecodeCase{"Low", "\xED\xBF\xBF"sv, {kBad, kBad}},
                      DecodeCase{"Pair", "\xED\xA0\x80\xED\xB0\x80"sv, {kBad, kBad, kBad, kBad}}),
    CaseName<DecodeCase>);

INSTANTIATE_TEST_SUITE_P(
    AboveLastCodePoint, Utf8ToUtf16Test,
    ::testing::Values(DecodeCase{"FirstBeyond", "\xF4\x90\x80\x80"sv, {kBad, kBad, kBad}},
                      DecodeCase{"Highest", "\xF4\xBF\xBF\xBF"sv, {kBad, kBad, kBad}}),
    CaseName<DecodeCase>);

INSTANTIATE_TEST_SUITE_P(
    TruncatedSequences, Utf8ToUtf16Test,
    ::testing::Values(DecodeCase{"TwoByteBeforeAscii", "\xC3z"sv, {kBad, u'z'}},
                      DecodeCase{"ThreeByteBeforeAscii", "\xE2\x82z"sv, {kBad, u'z'}},
                      DecodeCase{"FourByteBeforeAscii", "\xF0\x9F\x98z"sv, {kBad, u'z'}},
                      DecodeCase{"BeforeAnotherSequence", "\xE2\xC3\xA9"sv, {kBad, 0x00E9}},
                      DecodeCase{"TwoByteAtEnd", "a\xC3"sv, {u'a', kBad}},
                      DecodeCase{"ThreeByteAtEnd", "\xE2\x82"sv, {kBad}},
                      DecodeCase{"FourByteAtEnd", "\xF0\x9F\x98"sv, {kBad}},
                      // Wine 8 counts the bytes a lead announces before looking at them: when
                      // the input ends first, everything after the lead goes into one U+FFFD.
                      DecodeCase{"ThreeByteSwallowsAscii", "\xE2z"sv, {kBad}},
                      DecodeCase{"FourByteSwallowsAscii", "\xF0\x9Fz"sv, {kBad}},
                      DecodeCase{"FourByteSwallowsSequence", "\xF0\xC3\xA9"sv, {kBad}}),
    CaseName<DecodeCase>);

struct EncodeCase {
  const char* name;
  std::u16string units;
  std::string_view bytes;
};

class Utf16ToUtf8Test : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(Utf16ToUtf8Test, GivesThePlatformsBytes) {
  EXPECT_EQ(Utf16ToUtf8(GetParam().units), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    WellFormed, Utf16ToUtf8Test,
    ::testing::Values(EncodeCase{"Empty", u"", ""sv},
                      EncodeCase{"Ascii", u"Arrow.cur", "Arrow.cur"sv},
                      EncodeCase{"ZeroUnit", {u'a', 0, u'b'}, "a\0b"sv},
                      EncodeCase{"TwoByteLowest", {0x0080}, "\xC2\x80"sv},
                      EncodeCase{"TwoByteHighest", {0x07FF}, "\xDF\xBF"sv},
                      EncodeCase{"ThreeByteLowest", {0x0800}, "\xE0\xA0\x80"sv},
                      EncodeCase{"ThreeByte", {0x20AC}, "\xE2\x82\xAC"sv},
                      EncodeCase{"ThreeByteHighest", {0xFFFF}, "\xEF\xBF\xBF"sv},
                      EncodeCase{"PairLowest", {0xD800, 0xDC00}, "\xF0\x90\x80\x80"sv},
                      EncodeCase{"Pair", {0xD83D, 0xDE00}, "\xF0\x9F\x98\x80"sv},
                      EncodeCase{"PairHighest", {0xDBFF, 0xDFFF}, "\xF4\x8F\xBF\xBF"sv}),
    CaseName<EncodeCase>);

// A surrogate without its partner becomes U+FFFD (EF BF BD).
INSTANTIATE_TEST_SUITE_P(
    LoneSurrogates, Utf16ToUtf8Test,
    ::testing::Values(
        EncodeCase{"HighAtEnd", {u'a', 0xD83D}, "a\xEF\xBF\xBD"sv},
        EncodeCase{"HighBeforeAscii", {0xD83D, u'z'}, "\xEF\xBF\xBDz"sv},
        EncodeCase{"LowAlone", {0xDE00}, "\xEF\xBF\xBD"sv},
        EncodeCase{"Reversed", {0xDE00, 0xD83D}, "\xEF\xBF\xBD\xEF\xBF\xBD"sv},
        EncodeCase{"HighBeforePair", {0xD83D, 0xD83D, 0xDE00}, "\xEF\xBF\xBD\xF0\x9F\x98\x80"sv},
        EncodeCase{"ZeroBetween", {0xD83D, 0, 0xDE00}, "\xEF\xBF\xBD\0\xEF\xBF\xBD"sv}),
    CaseName<EncodeCase>);

struct RoundTripCase {
  const char* name;
  std::string_view bytes;
};

class RoundTripTest : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTripTest, WellFormedTextSurvivesBothWays) {
  const std::string bytes(GetParam().bytes);
  const std::u16string units = Utf8ToUtf16(bytes);
  EXPECT_EQ(Utf16ToUtf8(units), bytes);
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(units)), units);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, RoundTripTest,
    ::testing::Values(RoundTripCase{"Empty", ""sv},
                      RoundTripCase{"Path", "C:\\Cursors\\arrow.cur"sv},
                      RoundTripCase{"Latin", "\xC3\xA9t\xC3\xA9 \xE2\x86\x92 \xE2\x82\xAC"sv},
                      RoundTripCase{"CjkAndPair", "\xE6\x8C\x87\xE9\x92\x88\xF0\x9F\x96\xB1"sv},
                      RoundTripCase{"Extremes", "\xEF\xBF\xBF\xF4\x8F\xBF\xBF\xC2\x80"sv},
                      RoundTripCase{"ZeroByte", "a\0b"sv}),
    CaseName<RoundTripCase>);

TEST(Utf8ToUtf16LargeInput, ConvertsEveryRepetition) {
  // The decoder reads scheme files of up to 16 MiB.
  constexpr std::string_view kPiece = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xFF"sv;
  const std::u16string piece_units{u'a', 0x00E9, 0x20AC, 0xD83D, 0xDE00, kBad};
  constexpr std::size_t kRepetitions = (16u << 20) / kPiece.size();
  std::string bytes;
  std::u16string expected;
  bytes.reserve(kRepetitions * kPiece.size());
  expected.reserve(kRepetitions * piece_units.size());
  for (std::size_t i = 0; i < kRepetitions; ++i) {
    bytes += kPiece;
    expected += piece_units;
  }
  const std::u16string units = Utf8ToUtf16(bytes);
  ASSERT_EQ(units.size(), expected.size());
  EXPECT_TRUE(units == expected);
}

// Bytes in the thread's ANSI code page and the units they stand for in Windows-1252 and, where
// they differ, in Windows-1250.
struct AnsiCase {
  const char* name;
  std::string_view bytes;
  std::u16string windows1252;
  std::u16string windows1250 = {};  // empty: as in Windows-1252
};

class AnsiToUtf16Test : public ::testing::TestWithParam<AnsiCase> {};

// Wine takes the thread's code page from the Unix locale it starts under: Windows-1252 for C and
// English locales, Windows-1250 for Czech (Wine 8 gives 932 under ja_JP.UTF-8 and 1251 under
// ru_RU.UTF-8). The native conversion is always Windows-1252. ASCII is the same in every one.
TEST_P(AnsiToUtf16Test, GivesTheThreadCodePagesUnits) {
  const AnsiCase& c = GetParam();
  const unsigned page = testing::ThreadAnsiCodePage();
  const bool ascii = std::all_of(c.bytes.begin(), c.bytes.end(),
                                 [](char byte) { return static_cast<unsigned char>(byte) < 0x80; });
  if (!ascii && page != 1252 && page != 1250) GTEST_SKIP() << "code page " << page;
  const bool czech = page == 1250 && !c.windows1250.empty();
  EXPECT_EQ(AnsiToUtf16(c.bytes), czech ? c.windows1250 : c.windows1252) << page;
}

INSTANTIATE_TEST_SUITE_P(AsciiAndLatin1, AnsiToUtf16Test,
                         ::testing::Values(AnsiCase{"Empty", ""sv, u""},
                                           AnsiCase{"Ascii", "Arrow.cur"sv, u"Arrow.cur"},
                                           AnsiCase{"Zero", "a\0b"sv, {u'a', 0, u'b'}},
                                           AnsiCase{"Delete", "\x7F"sv, {0x007F}},
                                           AnsiCase{"NoBreakSpace", "\xA0"sv, {0x00A0}},
                                           AnsiCase{"Copyright", "\xA9"sv, {0x00A9}},
                                           AnsiCase{"CapitalEAcute", "\xC9"sv, {0x00C9}},
                                           AnsiCase{"SmallEAcute", "\xE9"sv, {0x00E9}},
                                           AnsiCase{"ByteFF", "\xFF"sv, {0x00FF}, {0x02D9}},
                                           AnsiCase{"Word", "\xC9t\xE9"sv, u"\u00C9t\u00E9"}),
                         CaseName<AnsiCase>);

// 0x80-0x9F hold the code page's own punctuation and letters; the bytes it leaves undefined
// come out under Wine 8 as the C1 control of the same value.
INSTANTIATE_TEST_SUITE_P(
    HighControlRange, AnsiToUtf16Test,
    ::testing::Values(
        AnsiCase{"Byte80", "\x80"sv, {0x20AC}}, AnsiCase{"Byte81", "\x81"sv, {0x0081}},
        AnsiCase{"Byte82", "\x82"sv, {0x201A}}, AnsiCase{"Byte83", "\x83"sv, {0x0192}, {0x0083}},
        AnsiCase{"Byte84", "\x84"sv, {0x201E}}, AnsiCase{"Byte85", "\x85"sv, {0x2026}},
        AnsiCase{"Byte86", "\x86"sv, {0x2020}}, AnsiCase{"Byte87", "\x87"sv, {0x2021}},
        AnsiCase{"Byte88", "\x88"sv, {0x02C6}, {0x0088}}, AnsiCase{"Byte89", "\x89"sv, {0x2030}},
        AnsiCase{"Byte8A", "\x8A"sv, {0x0160}}, AnsiCase{"Byte8B", "\x8B"sv, {0x2039}},
        AnsiCase{"Byte8C", "\x8C"sv, {0x0152}, {0x015A}},
        AnsiCase{"Byte8D", "\x8D"sv, {0x008D}, {0x0164}}, AnsiCase{"Byte8E", "\x8E"sv, {0x017D}},
        AnsiCase{"Byte8F", "\x8F"sv, {0x008F}, {0x0179}}, AnsiCase{"Byte90", "\x90"sv, {0x0090}},
        AnsiCase{"Byte91", "\x91"sv, {0x2018}}, AnsiCase{"Byte92", "\x92"sv, {0x2019}},
        AnsiCase{"Byte93", "\x93"sv, {0x201C}}, AnsiCase{"Byte94", "\x94"sv, {0x201D}},
        AnsiCase{"Byte95", "\x95"sv, {0x2022}}, AnsiCase{"Byte96", "\x96"sv, {0x2013}},
        AnsiCase{"Byte97", "\x97"sv, {0x2014}}, AnsiCase{"Byte98", "\x98"sv, {0x02DC}, {0x0098}},
        AnsiCase{"Byte99", "\x99"sv, {0x2122}}, AnsiCase{"Byte9A", "\x9A"sv, {0x0161}},
        AnsiCase{"Byte9B", "\x9B"sv, {0x203A}}, AnsiCase{"Byte9C", "\x9C"sv, {0x0153}, {0x015B}},
        AnsiCase{"Byte9D", "\x9D"sv, {0x009D}, {0x0165}}, AnsiCase{"Byte9E", "\x9E"sv, {0x017E}},
        AnsiCase{"Byte9F", "\x9F"sv, {0x0178}, {0x017A}},
        AnsiCase{"InText",
                 "5 \x80 \x96 \x93ok\x94"sv,
                 {u'5', u' ', 0x20AC, u' ', 0x2013, u' ', 0x201C, u'o', u'k', 0x201D}}),
    CaseName<AnsiCase>);

}  // namespace
}  // namespace pivora

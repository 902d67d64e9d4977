// The registry-script interpreter run against the registry under test: natively the in-memory
// one, under Wine the real one with HKEY_CURRENT_USER redirected to a scratch key. Scripts
// therefore write under HKCU only; the other root names are checked through a recording
// stand-in that never reaches a real registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/memory_registry.h"
#include "server/com_module.h"
#include "server/com_reg_object.h"
#include "tests/platform/table_cases.h"
#include "tests/support/seam_faults.h"
#include "tests/support/test_platform.h"

namespace pivora {
namespace {

using testing::AllocationFault;
using testing::CaseName;
using testing::PrintTo;
using testing::TestPlatform;
using namespace std::string_view_literals;

using Bytes = std::vector<std::uint8_t>;

struct StoredData {
  std::uint32_t type = 0;
  Bytes bytes;
};

std::u16string AsText(const Bytes& bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  std::memcpy(text.data(), bytes.data(), text.size() * 2);
  return text;
}

// Everything a test needs around one run: the registry under test, a registrar and readers of
// the keys below HKEY_CURRENT_USER. Every key the interpreter opens must be closed again.
class RegScriptTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(registry.openHandles, 0) << "a key was left open"; }

  HRESULT Run(std::u16string_view script, bool doRegister = true) {
    const std::u16string text(script);
    return RunScriptText(registry, registrar, text.c_str(), doRegister);
  }

  bool Exists(std::u16string_view path) {
    RegistryKey key(registry);
    return registry.Open(root_key::kCurrentUser, path, key_access::kRead, key.put()) ==
           status::kSuccess;
  }

  std::optional<StoredData> Read(std::u16string_view path, std::u16string_view name) {
    RegistryKey key(registry);
    if (registry.Open(root_key::kCurrentUser, path, key_access::kRead, key.put()) != 0) {
      return std::nullopt;
    }
    StoredData stored;
    std::uint32_t size = 0;
    if (registry.QueryValue(key.get(), name, &stored.type, nullptr, size) != 0) {
      return std::nullopt;
    }
    stored.bytes.resize(size);
    if (size != 0 &&
        registry.QueryValue(key.get(), name, &stored.type, stored.bytes.data(), size) != 0) {
      return std::nullopt;
    }
    return stored;
  }

  // The text of a string value, nulls included; "(absent)" when there is none.
  std::u16string ReadText(std::u16string_view path, std::u16string_view name) {
    const std::optional<StoredData> stored = Read(path, name);
    return stored ? AsText(stored->bytes) : u"(absent)";
  }

  void Make(std::u16string_view path, std::u16string_view valueName = {},
            std::u16string_view text = {}) {
    RegistryKey key(registry);
    ASSERT_EQ(registry.Create(root_key::kCurrentUser, path, key_access::kReadWrite, key.put()),
              status::kSuccess);
    if (valueName.empty()) return;
    const std::u16string data(text);
    ASSERT_EQ(registry.SetValue(key.get(), valueName, value_type::kString, data.c_str(),
                                static_cast<std::uint32_t>((data.size() + 1) * 2)),
              status::kSuccess);
  }

  bool Wrote(std::string_view valueName) {
    const std::string entry = "SetValue " + std::string(valueName);
    return std::find(registry.log.begin(), registry.log.end(), entry) != registry.log.end();
  }

  TestPlatform bed;
  testing::RecordingRegistry& registry = bed.registry();
  CRegObject registrar;
};

// ---- The registrar ----

TEST_F(RegScriptTest, RegistrarIsNotCountedAndAnswersNoInterface) {
  IRegistrarBase* base = &registrar;
  int marker = 0;
  void* out = &marker;
  EXPECT_EQ(base->QueryInterface(IID_IUnknown, &out), E_NOTIMPL);
  EXPECT_EQ(out, &marker);
  EXPECT_EQ(base->AddRef(), 1u);
  EXPECT_EQ(base->AddRef(), 1u);
  EXPECT_EQ(base->Release(), 0u);
  EXPECT_EQ(base->Release(), 0u);
}

TEST_F(RegScriptTest, NullNameOrValueIsRefusedAndAddsNothing) {
  EXPECT_EQ(registrar.DefineReplacement(nullptr, u"value"), E_INVALIDARG);
  EXPECT_EQ(registrar.DefineReplacement(u"Name", nullptr), E_INVALIDARG);
  EXPECT_EQ(registrar.ReplacementCount(), 0);
  EXPECT_EQ(registrar.DefineReplacement(u"Name", u""), S_OK);
  EXPECT_EQ(registrar.DefineReplacement(u"Name", u"again"), S_OK);
  EXPECT_EQ(registrar.ReplacementCount(), 2);
}

TEST_F(RegScriptTest, RemovingAllReplacementsLeavesNamesUndefined) {
  ASSERT_EQ(registrar.DefineReplacement(u"Name", u"x"), S_OK);
  EXPECT_EQ(registrar.RemoveAllReplacements(), S_OK);
  EXPECT_EQ(registrar.ReplacementCount(), 0);
  EXPECT_EQ(Run(u"HKCU { 'Pivora Test' = s '%Name%' }"), kScriptMalformed);
  EXPECT_FALSE(Exists(u"Pivora Test"));
}

// Running out of memory for the name's copy, the value's or the table's growth must not leave a
// name without a value behind: a later pair of that name would then never be reached. Each
// allocation fails in turn until a run makes them all.
TEST_F(RegScriptTest, OutOfMemoryWhileDefiningLeavesNoHalfPair) {
  long failAt = 0;
  for (;; ++failAt) {
    HRESULT result = S_OK;
    long made = 0;
    {
      AllocationFault fault(failAt);
      result = registrar.DefineReplacement(u"Name", u"kept");
      made = fault.count();
    }
    if (made <= failAt) break;
    EXPECT_EQ(result, E_OUTOFMEMORY) << failAt;
    EXPECT_EQ(registrar.ReplacementCount(), 0) << failAt;
  }
  EXPECT_GE(failAt, 2);
  EXPECT_EQ(Run(u"HKCU { 'Pivora Test' = s '%Name%' }"), S_OK);
  EXPECT_EQ(ReadText(u"Pivora Test", u""), u"kept\0"sv);
}

TEST_F(RegScriptTest, OutOfMemoryWhileExpandingTouchesNothing) {
  // The first allocation is the output buffer; the second its growth past 1000 places.
  ASSERT_EQ(registrar.DefineReplacement(u"Long", std::u16string(1500, u'x').c_str()), S_OK);
  const std::u16string script(u"HKCU { 'Pivora Test' = s '%Long%' }");
  for (const long failAt : {0L, 1L}) {
    AllocationFault fault(failAt);
    EXPECT_EQ(RunScriptText(registry, registrar, script.c_str(), true), E_OUTOFMEMORY) << failAt;
  }
  EXPECT_TRUE(registry.log.empty());
}

class HookModule : public CAtlModuleT<HookModule> {
 public:
  static constexpr char16_t appId[] = u"{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";
};

TEST_F(RegScriptTest, CallersAppIdWinsOverTheModulesHook) {
  HookModule module;
  ASSERT_EQ(registrar.DefineReplacement(u"APPID", u"caller"), S_OK);
  ASSERT_EQ(module.AddStandardReplacements(&registrar), S_OK);
  EXPECT_EQ(registrar.ReplacementCount(), 2);
  EXPECT_EQ(Run(u"HKCU { 'Pivora Test' = s '%AppId%' }"), S_OK);
  EXPECT_EQ(ReadText(u"Pivora Test", u""), u"caller\0"sv);

  ASSERT_EQ(registrar.RemoveAllReplacements(), S_OK);
  ASSERT_EQ(module.AddStandardReplacements(&registrar), S_OK);
  EXPECT_EQ(Run(u"HKCU { 'Pivora Test' = s '%APPID%' }"), S_OK);
  EXPECT_EQ(ReadText(u"Pivora Test", u""), u"{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}\0"sv);
}

// ---- Tokens and replacements, seen through the string value they end up in ----

struct DataCase {
  const char* name;
  std::u16string_view data;    // the data token as written after "val v = s "
  std::u16string_view stored;  // the value's text, terminator included
};

class DataTokenTest : public RegScriptTest, public ::testing::WithParamInterface<DataCase> {
 protected:
  void SetUp() override {
    ASSERT_EQ(registrar.DefineReplacement(u"Module", u"C:\\Program Files\\O''Brien\\p.dll"), S_OK);
    ASSERT_EQ(registrar.DefineReplacement(u"Module_Raw", u"raw"), S_OK);
    ASSERT_EQ(registrar.DefineReplacement(u"APPID", u"first"), S_OK);
    ASSERT_EQ(registrar.DefineReplacement(u"appid", u"second"), S_OK);
    ASSERT_EQ(registrar.DefineReplacement(u"N234567890123456789012345678901", u"31"), S_OK);
    ASSERT_EQ(registrar.DefineReplacement(u"Quote", u"It''s"), S_OK);
  }
};

TEST_P(DataTokenTest, IsStoredAsRead) {
  std::u16string script = u"HKCU { 'Pivora Test' { val v = s ";
  script += GetParam().data;
  script += u" } }";
  ASSERT_EQ(Run(script), S_OK);
  EXPECT_EQ(ReadText(u"Pivora Test", u"v"), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(
    Quoting, DataTokenTest,
    ::testing::Values(DataCase{"DoubledQuoteIsOneQuote", u"'It''s'", u"It's\0"sv},
                      DataCase{"EmptyQuotedToken", u"''", u"\0"sv},
                      DataCase{"OnlyADoubledQuote", u"''''", u"'\0"sv},
                      DataCase{"DoubledQuoteAtTheEnd", u"'x'''", u"x'\0"sv},
                      DataCase{"QuotesHoldSeparatorsAndBraces", u"'a b\t{ } = \r\n'",
                               u"a b\t{ } = \r\n\0"sv},
                      DataCase{"QuoteInsideABareTokenIsText", u"abc'def", u"abc'def\0"sv},
                      DataCase{"FormFeedDoesNotSeparate", u"a\fb", u"a\fb\0"sv},
                      DataCase{"NoBackslashEscapes", u"'a\\0b\\n'", u"a\\0b\\n\0"sv}),
    CaseName<DataCase>);

INSTANTIATE_TEST_SUITE_P(
    Replacements, DataTokenTest,
    ::testing::Values(
        DataCase{"DoublePercentIsOnePercent", u"'100%% sure'", u"100% sure\0"sv},
        DataCase{"DoublePercentInABareToken", u"%%%%", u"%%\0"sv},
        DataCase{"LowerCaseName", u"'%module%'", u"C:\\Program Files\\O'Brien\\p.dll\0"sv},
        DataCase{"UpperCaseName", u"'%MODULE%'", u"C:\\Program Files\\O'Brien\\p.dll\0"sv},
        DataCase{"NameThatExtendsAnother", u"%Module_Raw%", u"raw\0"sv},
        DataCase{"FirstPairAddedWins", u"%AppID%", u"first\0"sv},
        DataCase{"NameOf31Characters", u"%n234567890123456789012345678901%", u"31\0"sv},
        DataCase{"ValueIsCopiedAsItIs", u"%Quote%", u"It''s\0"sv}),
    CaseName<DataCase>);

TEST_F(RegScriptTest, ExpansionGrowsPastItsFirstBuffer) {
  ASSERT_EQ(registrar.DefineReplacement(u"Long", std::u16string(3000, u'L').c_str()), S_OK);
  ASSERT_EQ(Run(u"HKCU { 'Pivora Test' { val a = s %Long% val b = s '%long%!' } }"), S_OK);
  EXPECT_EQ(ReadText(u"Pivora Test", u"a"), std::u16string(3000, u'L') + u'\0');
  EXPECT_EQ(ReadText(u"Pivora Test", u"b"), std::u16string(3000, u'L') + u"!" + u'\0');
}

TEST_F(RegScriptTest, ReplacementMayStandForAnyPartOfTheScript) {
  ASSERT_EQ(registrar.DefineReplacement(u"Entry", u"val v = S"), S_OK);
  ASSERT_EQ(Run(u"HKCU { 'Pivora Test' { %ENTRY% 'text' } }"), S_OK);
  EXPECT_EQ(ReadText(u"Pivora Test", u"v"), u"text\0"sv);
}

// Replacement failures stop the run before the registry is touched at all.
struct ExpansionFailureCase {
  const char* name;
  std::u16string_view script;
  HRESULT result;
};

class ExpansionFailureTest : public RegScriptTest,
                             public ::testing::WithParamInterface<ExpansionFailureCase> {};

TEST_P(ExpansionFailureTest, FailsBeforeAnyKeyIsTouched) {
  ASSERT_EQ(registrar.DefineReplacement(u"Module", u"m"), S_OK);
  ASSERT_EQ(registrar.DefineReplacement(u"N2345678901234567890123456789012", u"32"), S_OK);
  for (const bool doRegister : {true, false}) {
    EXPECT_EQ(Run(GetParam().script, doRegister), GetParam().result) << doRegister;
  }
  EXPECT_TRUE(registry.log.empty());
  EXPECT_FALSE(Exists(u"Pivora Test"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExpansionFailureTest,
    ::testing::Values(
        ExpansionFailureCase{"LonePercent", u"HKCU { 'Pivora Test' = s '50%' }", kScriptMalformed},
        ExpansionFailureCase{"LonePercentAfterDoubledOne", u"HKCU { 'Pivora Test' = s '%%%' }",
                             kScriptMalformed},
        ExpansionFailureCase{"MissingName", u"HKCU { 'Pivora Test' = s '%Modul%' }",
                             kScriptMalformed},
        ExpansionFailureCase{"NameOver31Characters",
                             u"HKCU { 'Pivora Test' = s '%N2345678901234567890123456789012%' }",
                             E_FAIL}),
    CaseName<ExpansionFailureCase>);

TEST_F(RegScriptTest, QuotedTokenNeedsNoSeparatorAfterIt) {
  ASSERT_EQ(Run(u"HKCU { 'Pivora Test' { val v = s 'abc'def } }"), S_OK);
  EXPECT_EQ(ReadText(u"Pivora Test", u"v"), u"abc\0"sv);
  EXPECT_TRUE(Exists(u"Pivora Test\\def"));
}

TEST_F(RegScriptTest, KeywordsMatchWithoutCaseAndWhenQuoted) {
  ASSERT_EQ(Run(u"'hkcu'\t'{'\r\n'Pivora Test' {\n'VAL' 'v' '=' 's' 'x'\n"
                u"vAl w = S y\n'noremove' k '}' '}'"),
            S_OK);
  EXPECT_EQ(ReadText(u"Pivora Test", u"v"), u"x\0"sv);
  EXPECT_EQ(ReadText(u"Pivora Test", u"w"), u"y\0"sv);
  EXPECT_TRUE(Exists(u"Pivora Test\\k"));
  ASSERT_EQ(Run(u"HKCU { 'Pivora Test' { NoRemove k } }", false), S_OK);
  EXPECT_TRUE(Exists(u"Pivora Test\\k"));
}

// After NoRemove the prefixes are ordinary names; a braced token is a name, not a block.
TEST_F(RegScriptTest, PrefixesOutOfOrderAndBracedTokensAreKeyNames) {
  ASSERT_EQ(Run(u"HKCU { 'Pivora Test' { NoRemove ForceRemove NoRemove Delete "
                u"{3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47} } }"),
            S_OK);
  EXPECT_TRUE(Exists(u"Pivora Test\\ForceRemove"));
  EXPECT_TRUE(Exists(u"Pivora Test\\Delete"));
  EXPECT_TRUE(Exists(u"Pivora Test\\{3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47}"));
}

TEST_F(RegScriptTest, TokenHoldsAtMost4094Characters) {
  const std::u16string longest(4094, u'x');
  ASSERT_EQ(Run(u"HKCU { 'Pivora Test' { val bare = s " + longest + u" val quoted = s '" + longest +
                u"' } }"),
            S_OK);
  EXPECT_EQ(ReadText(u"Pivora Test", u"bare"), longest + u'\0');
  EXPECT_EQ(ReadText(u"Pivora Test", u"quoted"), longest + u'\0');

  const std::u16string over(4095, u'y');
  EXPECT_EQ(Run(u"HKCU { 'Pivora Test' { val a = s " + over + u" } }"), kScriptMalformed);
  EXPECT_EQ(Run(u"HKCU { 'Pivora Test' { val b = s '" + over + u"' } }"), kScriptMalformed);
  EXPECT_FALSE(Wrote("a"));
  EXPECT_FALSE(Wrote("b"));
}

TEST_F(RegScriptTest, ValueNameHoldsAtMost259Characters) {
  const std::u16string longest(259, u'n');
  ASSERT_EQ(Run(u"HKCU { 'Pivora Test' { val " + longest + u" = s x } }"), S_OK);
  EXPECT_EQ(ReadText(u"Pivora Test", longest), u"x\0"sv);
  EXPECT_EQ(Run(u"HKCU { 'Pivora Test' { val " + longest + u"m = s x } }"), kScriptMalformed);
  EXPECT_FALSE(Wrote(std::string(259, 'n') + "m"));
}

// ---- Value types ----

// The bytes of UTF-16 text as the registry stores them, low byte first.
Bytes Units(std::u16string_view text) {
  Bytes bytes;
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return bytes;
}

struct ValueCase {
  const char* name;
  std::u16string_view assignment;  // after "val v = "
  std::uint32_t type;
  Bytes stored;
};

class ValueTest : public RegScriptTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(ValueTest, StoresTypeAndBytes) {
  ASSERT_EQ(
      Run(u"HKCU { 'Pivora Test' { val v = " + std::u16string(GetParam().assignment) + u" } }"),
      S_OK);
  const std::optional<StoredData> stored = Read(u"Pivora Test", u"v");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->type, GetParam().type);
  EXPECT_EQ(stored->bytes, GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(
    Strings, ValueTest,
    ::testing::Values(ValueCase{"Text", u"s 'abc'", value_type::kString, Units(u"abc\0"sv)},
                      ValueCase{"Empty", u"S ''", value_type::kString, Units(u"\0"sv)}),
    CaseName<ValueCase>);

INSTANTIATE_TEST_SUITE_P(
    MultiStrings, ValueTest,
    ::testing::Values(
        ValueCase{"TwoItems", u"m 'a\\0b'", value_type::kMultiString, Units(u"a\0b\0\0"sv)},
        ValueCase{"EmptyItemEndsTheList", u"M 'a\\0\\0b'", value_type::kMultiString,
                  Units(u"a\0\0"sv)},
        ValueCase{"OneItem", u"m 'a'", value_type::kMultiString, Units(u"a\0\0"sv)},
        ValueCase{"TrailingSeparator", u"m 'a\\0'", value_type::kMultiString, Units(u"a\0\0"sv)},
        ValueCase{"NoItems", u"m ''", value_type::kMultiString, Units(u"\0"sv)},
        ValueCase{"LeadingSeparator", u"m '\\0a'", value_type::kMultiString, Units(u"\0"sv)},
        ValueCase{"OtherBackslashesAreText", u"m 'c:\\a\\n\\\\0b'", value_type::kMultiString,
                  Units(u"c:\\a\\n\\\0b\0\0"sv)}),
    CaseName<ValueCase>);

INSTANTIATE_TEST_SUITE_P(
    Numbers, ValueTest,
    ::testing::Values(
        ValueCase{"Zero", u"d 0", value_type::kDword, {0, 0, 0, 0}},
        ValueCase{"Small", u"D '42'", value_type::kDword, {0x2A, 0, 0, 0}},
        ValueCase{"LowByteFirst", u"d 305419896", value_type::kDword, {0x78, 0x56, 0x34, 0x12}},
        ValueCase{"Largest", u"d 4294967295", value_type::kDword, {0xFF, 0xFF, 0xFF, 0xFF}}),
    CaseName<ValueCase>);

INSTANTIATE_TEST_SUITE_P(
    Binary, ValueTest,
    ::testing::Values(
        ValueCase{"HighNibbleFirstAnyCase", u"b '0aFf'", value_type::kBinary, {0x0A, 0xFF}},
        ValueCase{"Empty", u"B ''", value_type::kBinary, {}},
        ValueCase{"OtherCharactersCountAsZero", u"b 'zz1g'", value_type::kBinary, {0x00, 0x10}},
        ValueCase{"ThreeBytes", u"b 00ff10", value_type::kBinary, {0x00, 0xFF, 0x10}}),
    CaseName<ValueCase>);

TEST_F(RegScriptTest, LongMultiStringIsStoredWhole) {
  const std::u16string first(150, u'x');
  const std::u16string second(150, u'y');
  ASSERT_EQ(Run(u"HKCU { 'Pivora Test' { val v = m '" + first + u"\\0" + second + u"' } }"), S_OK);
  EXPECT_EQ(ReadText(u"Pivora Test", u"v"), first + u'\0' + second + u'\0' + u'\0');
}

TEST_F(RegScriptTest, LongBinaryIsStoredWhole) {
  std::u16string digits;
  for (int i = 0; i < 300; ++i) digits += u"aB";
  ASSERT_EQ(Run(u"HKCU { 'Pivora Test' { val v = b " + digits + u" } }"), S_OK);
  const std::optional<StoredData> stored = Read(u"Pivora Test", u"v");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->bytes, Bytes(300, 0xAB));
}

TEST_F(RegScriptTest, AssignmentAfterKeyNameWritesItsDefaultValue) {
  Make(u"Pivora Test", u"Old", u"kept");
  ASSERT_EQ(Run(u"HKCU { 'Pivora Test' = s 'default' { Inner = d 7 } }"), S_OK);
  EXPECT_EQ(ReadText(u"Pivora Test", u""), u"default\0"sv);
  EXPECT_EQ(ReadText(u"Pivora Test", u"Old"), u"kept\0"sv);
  const std::optional<StoredData> inner = Read(u"Pivora Test\\Inner", u"");
  ASSERT_TRUE(inner);
  EXPECT_EQ(inner->bytes, (Bytes{7, 0, 0, 0}));
}

// ---- Malformed scripts and write failures in the register pass ----

struct FailureCase {
  const char* name;
  std::u16string_view script;
  HRESULT result;
  std::string_view notWritten = {};  // a value whose write must never have been tried
};

class RegisterFailureTest : public RegScriptTest,
                            public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RegisterFailureTest, FailsWithItsCode) {
  EXPECT_EQ(Run(GetParam().script), GetParam().result);
  if (!GetParam().notWritten.empty()) {
    EXPECT_FALSE(Wrote(GetParam().notWritten));
  }
}

INSTANTIATE_TEST_SUITE_P(
    EndOfText, RegisterFailureTest,
    ::testing::Values(FailureCase{"WhitespaceOnly", u" \t\r\n ", kScriptMalformed},
                      FailureCase{"RootAlone", u"HKCU", kScriptMalformed},
                      FailureCase{"OpenBlock", u"HKCU {", kScriptMalformed},
                      FailureCase{"KeyNameLast", u"HKCU { 'Pivora Test'", kScriptMalformed},
                      FailureCase{"DataMissing", u"HKCU { 'Pivora Test' = s", kScriptMalformed},
                      FailureCase{"UnterminatedQuote", u"HKCU { 'Pivora Test' = s 'x }",
                                  kScriptMalformed}),
    CaseName<FailureCase>);

INSTANTIATE_TEST_SUITE_P(
    Grammar, RegisterFailureTest,
    ::testing::Values(
        FailureCase{"UnknownRoot", u"HKEY_CURRENT_USERS { }", kScriptMalformed},
        FailureCase{"RootWithoutBrace", u"HKCU 'Pivora Test' { }", kScriptMalformed},
        FailureCase{"BackslashInKeyName", u"HKCU { 'Pivora Test\\Inner' }", kScriptMalformed},
        FailureCase{"BackslashAfterForceRemove", u"HKCU { ForceRemove 'Pivora Test\\Inner' }",
                    kScriptMalformed},
        FailureCase{"BackslashAfterDelete", u"HKCU { Delete 'Pivora Test\\Inner' }",
                    kScriptMalformed},
        FailureCase{"ValWithoutEquals", u"HKCU { 'Pivora Test' { val v s x } }", kScriptMalformed,
                    "v"},
        FailureCase{"UnknownTypeLetter", u"HKCU { 'Pivora Test' { val v = q x } }",
                    kScriptMalformed, "v"},
        FailureCase{"TypeWordNotLetter", u"HKCU { 'Pivora Test' { val v = sz x } }",
                    kScriptMalformed, "v"},
        // Their braces would balance if the "{" were taken for a key name.
        FailureCase{"BlockAfterVal", u"HKCU { 'Pivora Test' { val v = s x { k } }",
                    kScriptMalformed},
        FailureCase{"BlockAfterDelete", u"HKCU { 'Pivora Test' { Delete k { j } }",
                    kScriptMalformed},
        FailureCase{"BlockAfterDeleteWithAssignment",
                    u"HKCU { 'Pivora Test' { Delete k = s x { j } }", kScriptMalformed}),
    CaseName<FailureCase>);

INSTANTIATE_TEST_SUITE_P(
    Data, RegisterFailureTest,
    ::testing::Values(
        FailureCase{"OddBinaryDigits", u"HKCU { 'Pivora Test' { val v = b '0aF' } }", E_FAIL, "v"},
        FailureCase{"NumberThatIsNotOne", u"HKCU { 'Pivora Test' { val v = d 'x1' } }",
                    kScriptMalformed, "v"},
        FailureCase{"NumberOver32Bits", u"HKCU { 'Pivora Test' { val v = d 4294967296 } }",
                    kScriptMalformed, "v"},
        FailureCase{"EmptyNumber", u"HKCU { 'Pivora Test' { val v = d '' } }", kScriptMalformed,
                    "v"}),
    CaseName<FailureCase>);

TEST_F(RegScriptTest, NullEmptyAndBlankTexts) {
  EXPECT_EQ(RunScriptText(registry, registrar, nullptr, true), E_POINTER);
  EXPECT_EQ(RunScriptText(registry, registrar, nullptr, false), E_POINTER);
  EXPECT_EQ(Run(u""), S_OK);
  EXPECT_EQ(Run(u"", false), S_OK);
  EXPECT_EQ(Run(u"HKCU { }\r\n\t "), S_OK);
  EXPECT_EQ(Run(u"\r\n", false), kScriptMalformed);
  EXPECT_TRUE(registry.log.empty());
}

// A failure in a later root block undoes that block only.
struct UndoCase {
  const char* name;
  std::u16string_view failingData;  // the assignment of value c that fails
  HRESULT result;
};

class UndoTest : public RegScriptTest, public ::testing::WithParamInterface<UndoCase> {};

TEST_P(UndoTest, SecondRootBlockIsRemovedAndFirstStays) {
  registry.fault = [](std::string_view call, std::u16string_view name) {
    return call == "SetValue" && name == u"locked" ? status::kAccessDenied : status::kSuccess;
  };
  const std::u16string script =
      u"HKCU { First { val a = s 1 } }\r\n"
      u"HKCU { Second { Inner { val b = s 2 } } Third = s 'x' { val c = " +
      std::u16string(GetParam().failingData) + u" } Fourth }";
  EXPECT_EQ(Run(script), GetParam().result);
  EXPECT_EQ(ReadText(u"First", u"a"), u"1\0"sv);
  EXPECT_FALSE(Exists(u"Second"));
  EXPECT_FALSE(Exists(u"Third"));
  EXPECT_FALSE(Exists(u"Fourth"));
}

INSTANTIATE_TEST_SUITE_P(Cases, UndoTest,
                         ::testing::Values(UndoCase{"OddBinaryDigits", u"b '0aF'", E_FAIL},
                                           UndoCase{"UnknownTypeLetter", u"q 1", kScriptMalformed},
                                           UndoCase{"RejectedNumber", u"d 'x'", kScriptMalformed},
                                           UndoCase{"WriteRefused", u"s x val locked = s y",
                                                    HResultFromStatus(5)}),
                         CaseName<UndoCase>);

TEST_F(RegScriptTest, UndoKeepsKeysThatExistedWithOtherContent) {
  Make(u"Shared\\Foreign");
  EXPECT_EQ(Run(u"HKCU { Shared { Mine { val v = b 1 } } }"), E_FAIL);
  EXPECT_TRUE(Exists(u"Shared\\Foreign"));
  EXPECT_FALSE(Exists(u"Shared\\Mine"));
}

TEST_F(RegScriptTest, FailedCreateIsReturnedAsResult) {
  registry.fault = [](std::string_view call, std::u16string_view name) {
    return call == "CreateKey" && name == u"Denied" ? status::kAccessDenied : status::kSuccess;
  };
  EXPECT_EQ(Run(u"HKCU { 'Pivora Test' { Denied } }"), static_cast<HRESULT>(0x80070005u));
  EXPECT_FALSE(Exists(u"Pivora Test"));
}

// An empty name would stand for the enclosing key itself: the delete steps would then remove
// that key and everything under it, NoRemove or not.
TEST_F(RegScriptTest, EmptyKeyNameIsRefusedInBothPasses) {
  Make(u"Pivora Test\\Sibling");
  EXPECT_EQ(Run(u"HKCU { NoRemove 'Pivora Test' { ForceRemove '' } }"), kScriptMalformed);
  EXPECT_EQ(Run(u"HKCU { NoRemove 'Pivora Test' { Delete '' } }"), kScriptMalformed);
  EXPECT_TRUE(Exists(u"Pivora Test\\Sibling"));
  EXPECT_EQ(Run(u"HKCU { 'Pivora Test' { '' = s x } }"), kScriptMalformed);
  EXPECT_FALSE(Wrote(""));
  Make(u"Empty Parent");
  EXPECT_EQ(Run(u"HKCU { NoRemove 'Empty Parent' { '' } }", false), kScriptMalformed);
  EXPECT_TRUE(Exists(u"Empty Parent"));
}

// ---- ForceRemove, Delete and the protected names in the register pass ----

TEST_F(RegScriptTest, ForceRemoveOfAGuidKeyDeletesItsSubtreeFirst) {
  Make(u"CLSID\\{3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47}\\Old\\Deeper", u"v", u"stale");
  Make(u"CLSID\\{3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47}", u"stale", u"x");
  Make(u"CLSID\\Other", u"v", u"kept");
  ASSERT_EQ(Run(u"HKCU { NoRemove CLSID { ForceRemove {3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47} = "
                u"s 'fresh' { New } } }"),
            S_OK);
  EXPECT_FALSE(Exists(u"CLSID\\{3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47}\\Old"));
  EXPECT_TRUE(Exists(u"CLSID\\{3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47}\\New"));
  EXPECT_EQ(ReadText(u"CLSID\\{3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47}", u""), u"fresh\0"sv);
  EXPECT_EQ(ReadText(u"CLSID\\{3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47}", u"stale"), u"(absent)");
  EXPECT_EQ(ReadText(u"CLSID\\Other", u"v"), u"kept\0"sv);
}

struct ProtectedCase {
  const char* name;
  std::u16string_view key;      // as the script spells it
  std::u16string_view present;  // the key as made beforehand
};

class ProtectedNameTest : public RegScriptTest,
                          public ::testing::WithParamInterface<ProtectedCase> {};

TEST_P(ProtectedNameTest, SurvivesForceRemoveAndDelete) {
  const std::u16string child = std::u16string(GetParam().present) + u"\\Keep";
  Make(child);
  Make(u"Pivora Test\\" + child);
  for (const std::u16string_view prefix : {u"ForceRemove"sv, u"Delete"sv}) {
    const std::u16string key(GetParam().key);
    const std::u16string entry = std::u16string(prefix) + u" " + key;
    // At the root and deeper down alike: only the entry's own name counts.
    ASSERT_EQ(Run(u"HKCU { " + entry + u" 'Pivora Test' { " + entry + u" } }"), S_OK);
    EXPECT_TRUE(Exists(child)) << testing::Narrow(prefix);
    EXPECT_TRUE(Exists(u"Pivora Test\\" + child)) << testing::Narrow(prefix);
  }
}

INSTANTIATE_TEST_SUITE_P(Names, ProtectedNameTest,
                         ::testing::Values(ProtectedCase{"AppID", u"AppID", u"AppID"},
                                           ProtectedCase{"Clsid", u"clsid", u"CLSID"},
                                           ProtectedCase{"ComponentCategories",
                                                         u"'Component Categories'",
                                                         u"Component Categories"},
                                           ProtectedCase{"FileType", u"FILETYPE", u"FileType"},
                                           ProtectedCase{"Interface", u"Interface", u"Interface"},
                                           ProtectedCase{"Hardware", u"hardware", u"Hardware"},
                                           ProtectedCase{"Mime", u"Mime", u"Mime"},
                                           ProtectedCase{"Sam", u"sam", u"SAM"},
                                           ProtectedCase{"Security", u"Security", u"SECURITY"},
                                           ProtectedCase{"System", u"system", u"SYSTEM"},
                                           ProtectedCase{"Software", u"SOFTWARE", u"Software"},
                                           ProtectedCase{"TypeLib", u"typelib", u"TypeLib"}),
                         CaseName<ProtectedCase>);

TEST_F(RegScriptTest, UnprotectedNamesAreDeleted) {
  Make(u"Classes\\Keep");
  Make(u"CLSIDs\\Keep");
  ASSERT_EQ(Run(u"HKCU { ForceRemove Classes Delete CLSIDs }"), S_OK);
  EXPECT_TRUE(Exists(u"Classes"));  // made afresh
  EXPECT_FALSE(Exists(u"Classes\\Keep"));
  EXPECT_FALSE(Exists(u"CLSIDs"));
}

TEST_F(RegScriptTest, DeleteCreatesNothingAndSkipsItsAssignment) {
  Make(u"Pivora Test\\Old\\Deeper", u"v", u"x");
  ASSERT_EQ(Run(u"HKCU { 'Pivora Test' { Delete Old = s 'ignored' Delete Absent "
                u"val after = s y } }"),
            S_OK);
  EXPECT_FALSE(Exists(u"Pivora Test\\Old"));
  EXPECT_FALSE(Exists(u"Pivora Test\\Absent"));
  EXPECT_FALSE(Wrote(""));
  EXPECT_EQ(ReadText(u"Pivora Test", u"after"), u"y\0"sv);
}

// ---- The unregister pass ----

TEST_F(RegScriptTest, UnregisterRemovesWhatRegisterMadeButKeepsNoRemove) {
  const std::u16string_view script =
      u"HKCU { NoRemove 'Pivora Test' { val v = s x  NoRemove val kept = s k "
      u"Child = s y { val w = s z  Grandchild } ForceRemove Forced Delete Gone } }";
  ASSERT_EQ(Run(script), S_OK);
  ASSERT_TRUE(Exists(u"Pivora Test\\Child\\Grandchild"));
  ASSERT_TRUE(Exists(u"Pivora Test\\Forced"));
  Make(u"Pivora Test\\Gone");
  ASSERT_EQ(Run(script, false), S_OK);
  EXPECT_TRUE(Exists(u"Pivora Test"));
  EXPECT_EQ(ReadText(u"Pivora Test", u"v"), u"(absent)");
  EXPECT_EQ(ReadText(u"Pivora Test", u"kept"), u"k\0"sv);
  EXPECT_FALSE(Exists(u"Pivora Test\\Child"));
  EXPECT_FALSE(Exists(u"Pivora Test\\Forced"));
  EXPECT_FALSE(Exists(u"Pivora Test\\Gone"));  // Delete is an ordinary key entry here
}

TEST_F(RegScriptTest, KeyWithForeignSubkeysSurvivesUnregister) {
  const std::u16string_view script = u"HKCU { 'Pivora Test' { Mine = s d { val v = s x } } }";
  ASSERT_EQ(Run(script), S_OK);
  Make(u"Pivora Test\\Mine\\Foreign");
  ASSERT_EQ(Run(script, false), S_OK);
  EXPECT_TRUE(Exists(u"Pivora Test\\Mine\\Foreign"));
  EXPECT_EQ(ReadText(u"Pivora Test\\Mine", u"v"), u"(absent)");
  // Only named values go; the default value stays with the key.
  EXPECT_EQ(ReadText(u"Pivora Test\\Mine", u""), u"d\0"sv);
}

TEST_F(RegScriptTest, UnregisteringWhatIsGoneSucceedsWithoutTouchingAnything) {
  const std::u16string_view script =
      u"HKCU { NoRemove Software { 'Pivora Test' { val v = s x  Inner { val w = d 1 } } } }";
  ASSERT_EQ(Run(script), S_OK);
  ASSERT_EQ(Run(script, false), S_OK);
  EXPECT_FALSE(Exists(u"Software\\Pivora Test"));
  registry.log.clear();
  EXPECT_EQ(Run(script, false), S_OK);
  EXPECT_TRUE(registry.log.empty());
}

TEST_F(RegScriptTest, UnregisterReadsAnyTypeLetterItSkips) {
  Make(u"Pivora Test", u"v", u"x");
  EXPECT_EQ(Run(u"HKCU { 'Pivora Test' { val v = q 'anything' } }", false), S_OK);
  EXPECT_FALSE(Exists(u"Pivora Test"));
}

class UnregisterFailureTest : public RegScriptTest,
                              public ::testing::WithParamInterface<FailureCase> {};

TEST_P(UnregisterFailureTest, FailsWithItsCode) {
  Make(u"Pivora Test\\k");
  EXPECT_EQ(Run(GetParam().script, false), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, UnregisterFailureTest,
    ::testing::Values(
        FailureCase{"BackslashInKeyName", u"HKCU { 'Pivora Test\\k' }", kScriptMalformed},
        FailureCase{"ValWithoutEquals", u"HKCU { 'Pivora Test' { val v s x } }", kScriptMalformed},
        FailureCase{"BlockAfterVal", u"HKCU { 'Pivora Test' { val v = s x { k } }",
                    kScriptMalformed},
        FailureCase{"BlockAfterDelete", u"HKCU { 'Pivora Test' { Delete k { j } }",
                    kScriptMalformed}),
    CaseName<FailureCase>);

struct RegistryFaultCase {
  const char* name;
  std::string_view call;
  std::u16string_view on;
  Status fault;
  HRESULT result;
};

class UnregisterFaultTest : public RegScriptTest,
                            public ::testing::WithParamInterface<RegistryFaultCase> {};

TEST_P(UnregisterFaultTest, IsReturnedAsResult) {
  const std::u16string_view script = u"HKCU { 'Pivora Test' { Locked { val v = s x } } }";
  ASSERT_EQ(Run(script), S_OK);
  const RegistryFaultCase& c = GetParam();
  registry.fault = [&c](std::string_view call, std::u16string_view name) {
    return call == c.call && name == c.on ? c.fault : status::kSuccess;
  };
  EXPECT_EQ(Run(script, false), c.result);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnregisterFaultTest,
    ::testing::Values(
        RegistryFaultCase{"OpenDenied", "OpenKey", u"Locked", status::kAccessDenied,
                          static_cast<HRESULT>(0x80070005u)},
        RegistryFaultCase{"OpenFindsNothing", "OpenKey", u"Locked", status::kFileNotFound, S_OK},
        RegistryFaultCase{"ValueDeleteDenied", "DeleteValue", u"v", status::kAccessDenied,
                          static_cast<HRESULT>(0x80070005u)},
        RegistryFaultCase{"ValueAlreadyGone", "DeleteValue", u"v", status::kFileNotFound, S_OK},
        RegistryFaultCase{"KeyDeleteDenied", "DeleteKey", u"Locked", status::kAccessDenied,
                          static_cast<HRESULT>(0x80070005u)}),
    CaseName<RegistryFaultCase>);

// ---- The system's own two scripts, moved under HKEY_CURRENT_USER ----

constexpr std::u16string_view kAppIdScript =
    u"HKCU\r\n{\r\n\tNoRemove AppID\r\n\t{\r\n\t\t'%APPID%' = s 'Pivora'\r\n"
    u"\t\t'Pivora.DLL'\r\n\t\t{\r\n\t\t\tval AppID = s '%APPID%'\r\n\t\t}\r\n\t}\r\n}\r\n";

constexpr std::u16string_view kClassScript =
    u"HKCU\r\n{\r\n\tNoRemove CLSID\r\n\t{\r\n"
    u"\t\tForceRemove {3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47} = s 'Pivora.ContextMenuExt Class'\r\n"
    u"\t\t{\r\n\t\t\tInprocServer32 = s '%MODULE%'\r\n\t\t\t{\r\n"
    u"\t\t\t\tval ThreadingModel = s 'Both'\r\n\t\t\t}\r\n\t\t}\r\n\t}\r\n}\r\n\r\n"
    u"HKCU\r\n{\r\n\tNoRemove Software\r\n\t{ \r\n\t\tNoRemove Microsoft\r\n\t\t{ \r\n"
    u"\t\t\tNoRemove Windows\r\n\t\t\t{ \r\n\t\t\t\tNoRemove CurrentVersion\r\n\t\t\t\t{\r\n"
    u"\t\t\t\t\tNoRemove 'Shell Extensions'\r\n\t\t\t\t\t{\r\n"
    u"\t\t\t\t\t\tNoRemove Approved\r\n\t\t\t\t\t\t{\r\n"
    u"\t\t\t\t\t\t\tval {3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47} = s "
    u"'Pivora - Context Menu Extension'\r\n"
    u"\t\t\t\t\t\t}\r\n\t\t\t\t\t}\r\n\t\t\t\t}\r\n\t\t\t}\r\n\t\t}\r\n\t}\r\n}\r\n";

constexpr std::u16string_view kClassKey = u"CLSID\\{3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47}";
constexpr std::u16string_view kApproved =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

TEST_F(RegScriptTest, AppIdScriptRegistersAndUnregisters) {
  ASSERT_EQ(registrar.DefineReplacement(u"APPID", u"{6E1B9F34-C2A7-45D0-8B6E-7F3A210C94D5}"), S_OK);
  ASSERT_EQ(Run(kAppIdScript), S_OK);
  EXPECT_EQ(ReadText(u"AppID\\{6E1B9F34-C2A7-45D0-8B6E-7F3A210C94D5}", u""), u"Pivora\0"sv);
  EXPECT_EQ(ReadText(u"AppID\\Pivora.DLL", u"AppID"),
            u"{6E1B9F34-C2A7-45D0-8B6E-7F3A210C94D5}\0"sv);
  ASSERT_EQ(Run(kAppIdScript, false), S_OK);
  EXPECT_TRUE(Exists(u"AppID"));
  EXPECT_FALSE(Exists(u"AppID\\{6E1B9F34-C2A7-45D0-8B6E-7F3A210C94D5}"));
  EXPECT_FALSE(Exists(u"AppID\\Pivora.DLL"));
}

// The doubling that "Module" carries is undone by the quoted token, so the path comes out as
// the platform gave it.
TEST_F(RegScriptTest, ClassScriptWritesThePathAsGivenAndLeavesOthersAlone) {
  ASSERT_EQ(registrar.DefineReplacement(u"Module", u"C:\\Program Files\\O''Brien\\Pivora.dll"),
            S_OK);
  Make(u"CLSID\\{00000000-0000-0000-0000-000000000001}");
  Make(kApproved, u"{00000000-0000-0000-0000-000000000001}", u"Other");
  ASSERT_EQ(Run(kClassScript), S_OK);
  Make(std::u16string(kClassKey) + u"\\Stale");
  ASSERT_EQ(Run(kClassScript), S_OK);  // ForceRemove starts the class key afresh

  EXPECT_FALSE(Exists(std::u16string(kClassKey) + u"\\Stale"));
  EXPECT_EQ(ReadText(kClassKey, u""), u"Pivora.ContextMenuExt Class\0"sv);
  EXPECT_EQ(ReadText(std::u16string(kClassKey) + u"\\InprocServer32", u""),
            u"C:\\Program Files\\O'Brien\\Pivora.dll\0"sv);
  EXPECT_EQ(ReadText(std::u16string(kClassKey) + u"\\InprocServer32", u"ThreadingModel"),
            u"Both\0"sv);
  EXPECT_EQ(ReadText(kApproved, u"{3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47}"),
            u"Pivora - Context Menu Extension\0"sv);

  ASSERT_EQ(Run(kClassScript, false), S_OK);
  EXPECT_FALSE(Exists(kClassKey));
  EXPECT_TRUE(Exists(u"CLSID\\{00000000-0000-0000-0000-000000000001}"));
  EXPECT_EQ(ReadText(kApproved, u"{3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47}"), u"(absent)");
  EXPECT_EQ(ReadText(kApproved, u"{00000000-0000-0000-0000-000000000001}"), u"Other\0"sv);
  EXPECT_EQ(Run(kClassScript, false), S_OK);
}

// ---- Root key names ----

// Records which root each probe opens under; stands on an in-memory registry so that no real
// root other than HKEY_CURRENT_USER is ever reached.
class RootProbe final : public Registry {
 public:
  Status Open(KeyHandle parent, std::u16string_view subKey, std::uint32_t access,
              KeyHandle& out) override {
    parents.push_back(parent);
    return inner_.Open(parent, subKey, access, out);
  }
  Status Create(KeyHandle parent, std::u16string_view subKey, std::uint32_t access,
                KeyHandle& out) override {
    return inner_.Create(parent, subKey, access, out);
  }
  Status QueryValue(KeyHandle key, std::u16string_view name, std::uint32_t* type, void* data,
                    std::uint32_t& byteCount) override {
    return inner_.QueryValue(key, name, type, data, byteCount);
  }
  Status SetValue(KeyHandle key, std::u16string_view name, std::uint32_t type, const void* data,
                  std::uint32_t byteCount) override {
    return inner_.SetValue(key, name, type, data, byteCount);
  }
  Status DeleteValue(KeyHandle key, std::u16string_view name) override {
    return inner_.DeleteValue(key, name);
  }
  Status DeleteKey(KeyHandle parent, std::u16string_view subKey) override {
    return inner_.DeleteKey(parent, subKey);
  }
  Status DeleteTree(KeyHandle parent, std::u16string_view subKey) override {
    return inner_.DeleteTree(parent, subKey);
  }
  Status EnumKey(KeyHandle key, std::uint32_t index, std::u16string& name) override {
    return inner_.EnumKey(key, index, name);
  }
  Status QuerySubKeyCount(KeyHandle key, std::uint32_t& count) override {
    return inner_.QuerySubKeyCount(key, count);
  }
  Status QueryValueCount(KeyHandle key, std::uint32_t& count) override {
    return inner_.QueryValueCount(key, count);
  }
  void Close(KeyHandle key) override { inner_.Close(key); }

  std::vector<KeyHandle> parents;

 private:
  MemoryRegistry inner_;
};

struct RootCase {
  const char* name;
  std::u16string_view spelling;
  KeyHandle root;
};

class RootNameTest : public ::testing::TestWithParam<RootCase> {};

TEST_P(RootNameTest, NamesItsRoot) {
  RootProbe probe;
  CRegObject registrar;
  const std::u16string script = std::u16string(GetParam().spelling) + u" { NoRemove Probe }";
  EXPECT_EQ(RunScriptText(probe, registrar, script.c_str(), false), S_OK);
  EXPECT_EQ(probe.parents, std::vector<KeyHandle>{GetParam().root});
  const std::u16string empty = std::u16string(GetParam().spelling) + u" { }";
  EXPECT_EQ(RunScriptText(probe, registrar, empty.c_str(), true), S_OK);
}

INSTANTIATE_TEST_SUITE_P(
    Names, RootNameTest,
    ::testing::Values(RootCase{"HKCR", u"HKCR", root_key::kClassesRoot},
                      RootCase{"HKCU", u"HKCU", root_key::kCurrentUser},
                      RootCase{"HKLM", u"HKLM", root_key::kLocalMachine},
                      RootCase{"HKU", u"HKU", root_key::kUsers},
                      RootCase{"HKPD", u"HKPD", root_key::kPerformanceData},
                      RootCase{"HKDD", u"HKDD", root_key::kDynData},
                      RootCase{"HKCC", u"HKCC", root_key::kCurrentConfig},
                      RootCase{"ClassesRoot", u"HKEY_CLASSES_ROOT", root_key::kClassesRoot},
                      RootCase{"CurrentUser", u"HKEY_CURRENT_USER", root_key::kCurrentUser},
                      RootCase{"LocalMachine", u"HKEY_LOCAL_MACHINE", root_key::kLocalMachine},
                      RootCase{"Users", u"HKEY_USERS", root_key::kUsers},
                      RootCase{"PerformanceData", u"HKEY_PERFORMANCE_DATA",
                               root_key::kPerformanceData},
                      RootCase{"DynData", u"HKEY_DYN_DATA", root_key::kDynData},
                      RootCase{"CurrentConfig", u"HKEY_CURRENT_CONFIG", root_key::kCurrentConfig},
                      RootCase{"LowerCase", u"hkey_dyn_data", root_key::kDynData},
                      RootCase{"MixedCase", u"hKcC", root_key::kCurrentConfig},
                      RootCase{"Quoted", u"'HKU'", root_key::kUsers}),
    CaseName<RootCase>);

TEST_F(RegScriptTest, BothCurrentUserSpellingsWriteThere) {
  ASSERT_EQ(Run(u"HKEY_CURRENT_USER { 'Pivora Test' { Long } } hkcu { 'Pivora Test' { Short } }"),
            S_OK);
  EXPECT_TRUE(Exists(u"Pivora Test\\Long"));
  EXPECT_TRUE(Exists(u"Pivora Test\\Short"));
}

// ---- Nesting ----

std::u16string Nested(int depth) {
  std::u16string script = u"HKCU { 'Pivora Test' ";
  for (int i = 0; i < depth; ++i) script += u"{ k ";
  script += u"{ }";
  for (int i = 0; i < depth; ++i) script += u" }";
  return script + u" }";
}

TEST_F(RegScriptTest, BlocksNestUpToTheLimit) {
  const std::u16string deepest = Nested(ScriptParser::kMaxNesting - 1);
  ASSERT_EQ(Run(deepest), S_OK);
  std::u16string path = u"Pivora Test";
  for (int i = 1; i < ScriptParser::kMaxNesting; ++i) path += u"\\k";
  EXPECT_TRUE(Exists(path));
  ASSERT_EQ(Run(deepest, false), S_OK);
  EXPECT_FALSE(Exists(u"Pivora Test"));

  const std::u16string tooDeep = Nested(ScriptParser::kMaxNesting);
  EXPECT_EQ(Run(tooDeep, false), kScriptMalformed);
  EXPECT_EQ(Run(tooDeep), kScriptMalformed);
}

// ---- DeleteKeyTree ----

TEST_F(RegScriptTest, DeleteKeyTreeRemovesEveryLevel) {
  Make(u"Pivora Test\\Tree\\A\\B\\C", u"v", u"x");
  Make(u"Pivora Test\\Tree\\A\\D");
  Make(u"Pivora Test\\Tree\\E", u"w", u"y");
  Make(u"Pivora Test\\Sibling");
  RegistryKey parent(registry);
  ASSERT_EQ(
      registry.Open(root_key::kCurrentUser, u"Pivora Test", key_access::kReadWrite, parent.put()),
      status::kSuccess);
  EXPECT_EQ(DeleteKeyTree(registry, parent.get(), u"tree"), status::kSuccess);
  EXPECT_EQ(DeleteKeyTree(registry, parent.get(), u"Tree"), status::kFileNotFound);
  parent.Reset();
  EXPECT_FALSE(Exists(u"Pivora Test\\Tree"));
  EXPECT_TRUE(Exists(u"Pivora Test\\Sibling"));
}

TEST_F(RegScriptTest, DeleteKeyTreeStopsAtTheFirstFailure) {
  Make(u"Pivora Test\\A\\B\\C");
  registry.fault = [](std::string_view call, std::u16string_view name) {
    return call == "DeleteKey" && name == u"B" ? status::kAccessDenied : status::kSuccess;
  };
  EXPECT_EQ(DeleteKeyTree(registry, root_key::kCurrentUser, u"Pivora Test"), status::kAccessDenied);
  registry.fault = nullptr;
  EXPECT_FALSE(Exists(u"Pivora Test\\A\\B\\C"));
  EXPECT_TRUE(Exists(u"Pivora Test\\A\\B"));
}

}  // namespace
}  // namespace pivora

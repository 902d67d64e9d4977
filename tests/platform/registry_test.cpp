// What the system relies on from the registry, checked on the in-memory registry natively and on
// the real one under Wine, so the two cannot drift apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tests/support/test_platform.h"

namespace pivora {
namespace {

using testing::TestPlatform;

class RegistryTest : public ::testing::Test {
 protected:
  KeyHandle Create(std::u16string_view path) {
    RegistryKey key(registry);
    EXPECT_EQ(registry.Create(root_key::kCurrentUser, path, key_access::kReadWrite, key.put()),
              status::kSuccess);
    return held.emplace_back(std::move(key)).get();
  }
  void SetText(KeyHandle key, std::u16string_view name, std::u16string_view text) {
    const std::u16string data(text);
    ASSERT_EQ(registry.SetValue(key, name, value_type::kString, data.c_str(),
                                static_cast<std::uint32_t>((data.size() + 1) * 2)),
              status::kSuccess);
  }

  TestPlatform bed;
  Registry& registry = bed.registry();
  std::vector<RegistryKey> held;
};

TEST_F(RegistryTest, NamesCompareWithoutCase) {
  SetText(Create(u"Pivora Test\\Inner"), u"Value", u"x");
  RegistryKey key(registry);
  ASSERT_EQ(
      registry.Open(root_key::kCurrentUser, u"PIVORA test\\inner", key_access::kRead, key.put()),
      status::kSuccess);
  std::uint32_t size = 0;
  EXPECT_EQ(registry.QueryValue(key.get(), u"vALUE", nullptr, nullptr, size), status::kSuccess);
  EXPECT_EQ(size, 4u);
}

TEST_F(RegistryTest, OpeningAMissingKeyFailsAndCreatesNothing) {
  RegistryKey key(registry);
  EXPECT_EQ(registry.Open(root_key::kCurrentUser, u"Pivora Test\\Missing", key_access::kReadWrite,
                          key.put()),
            status::kFileNotFound);
  EXPECT_EQ(registry.Open(root_key::kCurrentUser, u"Pivora Test", key_access::kRead, key.put()),
            status::kFileNotFound);
}

TEST_F(RegistryTest, CreateMakesIntermediateKeysAndKeepsExistingOnes) {
  SetText(Create(u"Pivora Test\\A\\B\\C"), u"v", u"kept");
  const KeyHandle again = Create(u"Pivora Test\\A\\B\\C");
  std::uint32_t size = 0;
  EXPECT_EQ(registry.QueryValue(again, u"v", nullptr, nullptr, size), status::kSuccess);
}

TEST_F(RegistryTest, MissingValueLeavesTheBufferUntouched) {
  const KeyHandle key = Create(u"Pivora Test");
  char16_t buffer[4] = {u'a', u'b', u'c', u'\0'};
  std::uint32_t size = sizeof(buffer);
  EXPECT_EQ(registry.QueryValue(key, u"absent", nullptr, buffer, size), status::kFileNotFound);
  EXPECT_EQ(std::u16string_view(buffer), u"abc");
}

TEST_F(RegistryTest, QueryReportsTypeAndSizeAndRefusesSmallBuffers) {
  const KeyHandle key = Create(u"Pivora Test");
  SetText(key, u"v", u"hello");
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  ASSERT_EQ(registry.QueryValue(key, u"v", &type, nullptr, size), status::kSuccess);
  EXPECT_EQ(type, value_type::kString);
  EXPECT_EQ(size, 12u);
  char16_t small[3] = {};
  size = sizeof(small);
  EXPECT_EQ(registry.QueryValue(key, u"v", nullptr, small, size), status::kMoreData);
  EXPECT_EQ(size, 12u);
  char16_t fits[6] = {};
  size = sizeof(fits);
  ASSERT_EQ(registry.QueryValue(key, u"v", nullptr, fits, size), status::kSuccess);
  EXPECT_EQ(std::u16string_view(fits), u"hello");
}

TEST_F(RegistryTest, SetReplacesTypeAndBytes) {
  const KeyHandle key = Create(u"Pivora Test");
  SetText(key, u"v", u"a long text");
  const std::uint32_t number = 0x01020304;
  ASSERT_EQ(registry.SetValue(key, u"V", value_type::kDword, &number, 4), status::kSuccess);
  std::uint32_t type = 0;
  std::uint32_t read = 0;
  std::uint32_t size = 4;
  ASSERT_EQ(registry.QueryValue(key, u"v", &type, &read, size), status::kSuccess);
  EXPECT_EQ(type, value_type::kDword);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(read, number);
}

// The default value counts once set; a name in other letter case is the same value.
TEST_F(RegistryTest, ValuesAreCountedOncePerName) {
  const KeyHandle key = Create(u"Pivora Test");
  std::uint32_t count = 9;
  ASSERT_EQ(registry.QueryValueCount(key, count), status::kSuccess);
  EXPECT_EQ(count, 0u);
  SetText(key, u"", u"default");
  SetText(key, u"v", u"x");
  SetText(key, u"V", u"y");
  Create(u"Pivora Test\\Sub");
  ASSERT_EQ(registry.QueryValueCount(key, count), status::kSuccess);
  EXPECT_EQ(count, 2u);
}

TEST_F(RegistryTest, DeletingAnAbsentValueReportsNotFound) {
  const KeyHandle key = Create(u"Pivora Test");
  SetText(key, u"v", u"x");
  EXPECT_EQ(registry.DeleteValue(key, u"V"), status::kSuccess);
  EXPECT_EQ(registry.DeleteValue(key, u"v"), status::kFileNotFound);
}

TEST_F(RegistryTest, KeysEnumerateByIndexUntilNoMoreItems) {
  for (std::u16string_view name : {u"Gamma", u"alpha", u"Beta"}) {
    Create(u"Pivora Test\\" + std::u16string(name));
  }
  const KeyHandle parent = Create(u"Pivora Test");
  std::uint32_t count = 0;
  ASSERT_EQ(registry.QuerySubKeyCount(parent, count), status::kSuccess);
  EXPECT_EQ(count, 3u);
  std::vector<std::u16string> names;
  std::u16string name;
  for (std::uint32_t index = 0; registry.EnumKey(parent, index, name) == status::kSuccess;
       ++index) {
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Beta", u"Gamma", u"alpha"}));
  EXPECT_EQ(registry.EnumKey(parent, 3, name), status::kNoMoreItems);
}

TEST_F(RegistryTest, DeleteKeyTakesLeavesAndDeleteTreeTakesSubtrees) {
  Create(u"Pivora Test\\Leaf");
  Create(u"Pivora Test\\Branch\\Twig");
  held.clear();
  EXPECT_EQ(registry.DeleteKey(root_key::kCurrentUser, u"Pivora Test\\Leaf"), status::kSuccess);
  EXPECT_NE(registry.DeleteKey(root_key::kCurrentUser, u"Pivora Test\\Branch"), status::kSuccess);
  EXPECT_EQ(registry.DeleteTree(root_key::kCurrentUser, u"Pivora Test"), status::kSuccess);
  RegistryKey key(registry);
  EXPECT_EQ(
      registry.Open(root_key::kCurrentUser, u"Pivora Test", key_access::kReadWrite, key.put()),
      status::kFileNotFound);
  EXPECT_EQ(registry.DeleteKey(root_key::kCurrentUser, u"Pivora Test"), status::kFileNotFound);
}

TEST_F(RegistryTest, AKeyDeletedUnderAnOpenHandleAcceptsNoValues) {
  const KeyHandle key = Create(u"Pivora Test\\Doomed");
  ASSERT_EQ(registry.DeleteTree(root_key::kCurrentUser, u"Pivora Test"), status::kSuccess);
  const std::uint32_t number = 1;
  EXPECT_EQ(registry.SetValue(key, u"v", value_type::kDword, &number, 4), status::kKeyDeleted);
}

}  // namespace
}  // namespace pivora

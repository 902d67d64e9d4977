// The registration scripts run with every registry call and every allocation of the
// interpreter made to fail, one at a time, in both passes. Whatever fails: nothing crashes, the
// result is a failure the interpreter gives, no key is left open, keys and values of other
// owners beside ours survive, and a later clean unregistration leaves nothing of ours behind.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <string>

#include "server/com_reg_object.h"
#include "tests/support/seam_faults.h"
#include "tests/support/test_platform.h"

namespace pivora {
namespace {

using testing::TestPlatform;
using testing::WalkFaults;

// The library's two scripts, rooted where the tests may write.
constexpr char16_t kScripts[] =
    u"HKCU\r\n{\r\n\tNoRemove Software\r\n\t{\r\n\t\tNoRemove AppID\r\n\t\t{\r\n"
    u"\t\t\t'%APPID%' = s 'Pivora'\r\n\t\t\t'Pivora.DLL'\r\n\t\t\t{\r\n"
    u"\t\t\t\tval AppID = s '%APPID%'\r\n\t\t\t}\r\n\t\t}\r\n"
    u"\t\tNoRemove CLSID\r\n\t\t{\r\n"
    u"\t\t\tForceRemove {3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47} = s 'Pivora.ContextMenuExt "
    u"Class'\r\n"
    u"\t\t\t{\r\n\t\t\t\tInprocServer32 = s '%MODULE%'\r\n\t\t\t\t{\r\n"
    u"\t\t\t\t\tval ThreadingModel = s 'Both'\r\n\t\t\t\t}\r\n\t\t\t}\r\n\t\t}\r\n\t}\r\n}\r\n"
    u"HKCU\r\n{\r\n\tNoRemove Software\r\n\t{\r\n\t\tNoRemove Approved\r\n\t\t{\r\n"
    u"\t\t\tval {3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47} = s 'Pivora - Context Menu Extension'\r\n"
    u"\t\t}\r\n\t}\r\n}\r\n";

constexpr std::u16string_view kOurs[] = {
    u"Software\\AppID\\{6E1B9F34-C2A7-45D0-8B6E-7F3A210C94D5}", u"Software\\AppID\\Pivora.DLL",
    u"Software\\CLSID\\{3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47}"};

bool KnownResult(HRESULT hr) {
  const auto code = static_cast<std::uint32_t>(hr);
  return hr == S_OK || hr == E_FAIL || hr == E_OUTOFMEMORY || hr == kScriptMalformed ||
         (code & 0xFFFF0000u) == 0x80070000u;
}

bool KeyExists(Registry& registry, std::u16string_view path) {
  RegistryKey key(registry);
  return registry.Open(root_key::kCurrentUser, path, key_access::kRead, key.put()) ==
         status::kSuccess;
}

bool ValueExists(Registry& registry, std::u16string_view path, std::u16string_view name) {
  RegistryKey key(registry);
  std::uint32_t size = 0;
  return registry.Open(root_key::kCurrentUser, path, key_access::kRead, key.put()) ==
             status::kSuccess &&
         registry.QueryValue(key.get(), name, nullptr, nullptr, size) == status::kSuccess;
}

// Other owners' entries beside ours.
void PutNeighbours(Registry& registry) {
  for (std::u16string_view path : {u"Software\\CLSID\\{Other}\\InprocServer32",
                                   u"Software\\AppID\\Other.DLL", u"Software\\Approved"}) {
    RegistryKey key(registry);
    ASSERT_EQ(registry.Create(root_key::kCurrentUser, path, key_access::kReadWrite, key.put()),
              status::kSuccess);
  }
  RegistryKey approved(registry);
  registry.Open(root_key::kCurrentUser, u"Software\\Approved", key_access::kReadWrite,
                approved.put());
  const std::u16string text = u"theirs";
  registry.SetValue(approved.get(), u"{Other}", 1, text.c_str(),
                    static_cast<std::uint32_t>((text.size() + 1) * 2));
}

HRESULT RunScripts(Registry& registry, bool doRegister) {
  CRegObject registrar;
  registrar.DefineReplacement(u"MODULE", u"C:\\Program Files\\Pivora\\Pivora.dll");
  registrar.DefineReplacement(u"APPID", u"{6E1B9F34-C2A7-45D0-8B6E-7F3A210C94D5}");
  return RunScriptText(registry, registrar, kScripts, doRegister);
}

void ExpectNeighboursAndNoLeftovers(TestPlatform& bed, const std::string& what) {
  testing::RecordingRegistry& registry = bed.registry();
  EXPECT_EQ(registry.openHandles, 0) << what;
  EXPECT_TRUE(KeyExists(registry, u"Software\\CLSID\\{Other}\\InprocServer32")) << what;
  EXPECT_TRUE(KeyExists(registry, u"Software\\AppID\\Other.DLL")) << what;
  EXPECT_TRUE(ValueExists(registry, u"Software\\Approved", u"{Other}")) << what;
  // A clean unregistration afterwards removes whatever of ours is left.
  EXPECT_EQ(RunScripts(registry, false), S_OK) << what;
  for (std::u16string_view path : kOurs) EXPECT_FALSE(KeyExists(registry, path)) << what;
  EXPECT_FALSE(
      ValueExists(registry, u"Software\\Approved", u"{3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47}"))
      << what;
}

// Walks every failing call and allocation of one pass; the bed holds our entries beforehand
// when `registeredBefore`.
void WalkPass(bool doRegister, bool registeredBefore) {
  HRESULT hr = S_OK;
  WalkFaults(
      [&](TestPlatform& bed) {
        PutNeighbours(bed.registry());
        if (registeredBefore) {
          ASSERT_EQ(RunScripts(bed.registry(), true), S_OK);
        }
      },
      [&](TestPlatform& bed, FileSystem&) {
        // The interpreter answers with a result, running out of memory included.
        hr = E_UNEXPECTED;
        try {
          hr = RunScripts(bed.registry(), doRegister);
        } catch (...) {
          ADD_FAILURE() << "an exception left the interpreter";
        }
      },
      [&](TestPlatform& bed, const std::string& what) {
        EXPECT_TRUE(KnownResult(hr)) << what << ": " << std::hex << hr;
        ExpectNeighboursAndNoLeftovers(bed, what);
      });
}

TEST(RegScriptFaultWalkTest, RegisteringFailsCleanlyWhateverFails) { WalkPass(true, false); }

TEST(RegScriptFaultWalkTest, UnregisteringFailsCleanlyWhateverFails) { WalkPass(false, true); }

}  // namespace
}  // namespace pivora

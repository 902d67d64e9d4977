// Registration's own registry work (the .crs file type, its verbs, the handler keys) with every
// registry call and every allocation made to fail, one at a time, in both directions, against
// a scratch HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE of this process. Whatever fails: nothing
// throws, another program's entries survive, the owner .crs had before is never lost, and a clean
// unregistration afterwards leaves none of ours.
#include <windows.h>

#include <gtest/gtest.h>

#include <new>
#include <optional>
#include <string>
#include <utility>

#include "dll/registration.h"
#include "platform/memory_files.h"
#include "platform/platform_win32.h"
#include "tests/support/seam_faults.h"
#include "tests/support/test_platform.h"
#include "tests/windows/quiet_windows.h"

namespace pivora {
namespace {

using testing::AllocationFault;
using testing::FaultyFiles;
using testing::RecordingRegistry;
using testing::SeamFault;

// The pointer files' two handlers: the role menu and the packs'.
constexpr const wchar_t* kHandlers[] = {
    L"\\ShellEx\\ContextMenuHandlers\\{3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47}",
    L"\\ShellEx\\ContextMenuHandlers\\{8D2F4A61-3B7E-4C95-9E1A-52C7F0B3D648}"};
constexpr wchar_t kOtherHandler[] =
    L"curfile\\ShellEx\\ContextMenuHandlers\\{0E0E0E0E-0000-0000-0000-000000000001}";

constexpr wchar_t kMachineExtensions[] = L"Software\\Classes\\SystemFileAssociations\\";

// HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE of this process, each pointed at a fresh key of its
// own while the object lives.
class ScratchClassesRoot {
 public:
  ScratchClassesRoot()
      : path_(L"Software\\PivoraTests\\classes-" + std::to_wstring(GetCurrentProcessId())),
        machine_(path_ + L"-machine") {
    Reset();
  }
  ~ScratchClassesRoot() {
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, machine_.c_str());
  }
  ScratchClassesRoot(const ScratchClassesRoot&) = delete;
  ScratchClassesRoot& operator=(const ScratchClassesRoot&) = delete;

  // Empties it and puts back what another program and the system keep there.
  void Reset() {
    for (const auto& [predefined, path] :
         {std::pair{HKEY_CLASSES_ROOT, &path_}, std::pair{HKEY_LOCAL_MACHINE, &machine_}}) {
      RegOverridePredefKey(predefined, nullptr);
      RegDeleteTreeW(HKEY_CURRENT_USER, path->c_str());
      HKEY root = nullptr;
      RegCreateKeyW(HKEY_CURRENT_USER, path->c_str(), &root);
      RegOverridePredefKey(predefined, root);
      RegCloseKey(root);
    }
    // Another program's setting on a key registration adds below.
    const std::wstring perceived = L"image";
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, (std::wstring(kMachineExtensions) + L".ani").c_str(),
                    L"PerceivedType", REG_SZ, perceived.c_str(),
                    static_cast<DWORD>((perceived.size() + 1) * sizeof(wchar_t)));
    Set(L".crs", L"Other.Scheme");
    Set(L"Other.Scheme", L"Another program's schemes");
    Set(L".cur", L"curfile");
    Set(L".ani", L"anifile");
    Set(kOtherHandler, L"");
  }

  static void Set(const std::wstring& key, const std::wstring& value) {
    RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, value.c_str(),
                    static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }

 private:
  std::wstring path_;
  std::wstring machine_;
};

bool Exists(const std::wstring& key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(opened);
  return true;
}

std::optional<std::wstring> Default(const std::wstring& key) {
  wchar_t text[512] = {};
  DWORD size = sizeof(text) - sizeof(wchar_t);
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, text, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(text);
}

// The other program's entries, and none of ours once a clean unregistration has run.
void ExpectOthersKeptAndOursGone(const std::string& what) {
  EXPECT_TRUE(Exists(kOtherHandler)) << what;
  EXPECT_EQ(Default(L"Other.Scheme"), L"Another program's schemes") << what;
  Win32Registry clean;
  EXPECT_TRUE(UnregisterAssociations(clean)) << what;
  EXPECT_FALSE(Exists(L"Pivora.crs.1")) << what;
  for (const wchar_t* handler : kHandlers) {
    EXPECT_FALSE(Exists(std::wstring(L"curfile") + handler)) << what;
    EXPECT_FALSE(Exists(std::wstring(L"anifile") + handler)) << what;
  }
  EXPECT_TRUE(Exists(kOtherHandler)) << what;
  const auto machineKey = [](const std::wstring& below) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kMachineExtensions + below).c_str(), 0, KEY_READ,
                      &opened) != ERROR_SUCCESS) {
      return false;
    }
    RegCloseKey(opened);
    return true;
  };
  // The handlers' own keys go; a key made above one by a run cut short may stay empty.
  for (const wchar_t* handler : kHandlers) {
    EXPECT_FALSE(machineKey(std::wstring(L".cur") + handler)) << what;
    EXPECT_FALSE(machineKey(std::wstring(L".ani") + handler)) << what;
  }
  EXPECT_FALSE(machineKey(L".crs\\ShellEx\\{e357fccd-a995-4576-b01f-234630154e96}")) << what;
  EXPECT_FALSE(
      machineKey(L".crs\\ShellEx\\ContextMenuHandlers\\{8D2F4A61-3B7E-4C95-9E1A-52C7F0B3D648}"))
      << what;
  wchar_t perceived[16] = {};
  DWORD size = sizeof(perceived) - sizeof(wchar_t);
  EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, (std::wstring(kMachineExtensions) + L".ani").c_str(),
                         L"PerceivedType", RRF_RT_REG_SZ, nullptr, perceived, &size),
            ERROR_SUCCESS)
      << what;
}

// Runs `step` on the recording registry once per call it makes with that call failing, and
// once per allocation with that allocation failing, on a scratch root made ready by `prepare`.
template <typename Prepare, typename Step, typename Check>
void Walk(ScratchClassesRoot& root, Prepare prepare, Step step, Check check) {
  Win32Registry win32;
  MemoryFileSystem noFiles;
  FaultyFiles files(noFiles);
  int calls = 0;
  {
    root.Reset();
    prepare();
    RecordingRegistry registry(win32);
    SeamFault counting(registry, files, -1);
    step(registry);
    calls = counting.calls;
  }
  ASSERT_GT(calls, 10);
  for (int k = 0; k < calls; ++k) {
    root.Reset();
    prepare();
    RecordingRegistry registry(win32);
    std::string failed;
    {
      SeamFault fault(registry, files, k);
      try {
        step(registry);
      } catch (...) {
        ADD_FAILURE() << "an exception left after call " << k;
      }
      failed = fault.failed;
    }
    EXPECT_EQ(registry.openHandles, 0) << "call " << k;
    check("call " + std::to_string(k) + " (" + failed + ")");
  }
  long allocations = 0;
  {
    root.Reset();
    prepare();
    AllocationFault counting(-1);
    step(win32);
    allocations = counting.count();
  }
  for (long k = 0; k < allocations; ++k) {
    root.Reset();
    prepare();
    {
      AllocationFault fault(k);
      try {
        step(win32);
      } catch (const std::bad_alloc&) {
        // Registration reports it as E_UNEXPECTED; what was written stays, as with any failure.
      }
    }
    check("allocation " + std::to_string(k));
  }
}

TEST(AssociationFaultWalkTest, RegisteringKeepsOtherOwnersWhateverFails) {
  ScratchClassesRoot root;
  Walk(
      root, [] {}, [](Registry& registry) { RegisterAssociations(registry); },
      [](const std::string& what) {
        ExpectOthersKeptAndOursGone(what);
        // .crs is back with its owner, or was never taken from it.
        EXPECT_EQ(Default(L".crs"), L"Other.Scheme") << what;
      });
}

TEST(AssociationFaultWalkTest, UnregisteringKeepsOtherOwnersWhateverFails) {
  ScratchClassesRoot root;
  Walk(
      root,
      [] {
        Win32Registry registry;
        ASSERT_TRUE(RegisterAssociations(registry));
      },
      [](Registry& registry) { UnregisterAssociations(registry); },
      [](const std::string& what) {
        // Still ours, or handed back: the owner is never replaced by another name.
        const std::wstring owner = Default(L".crs").value_or(L"<none>");
        EXPECT_TRUE(owner == L"Pivora.crs.1" || owner == L"Other.Scheme" || owner.empty())
            << what << ": " << std::string(owner.begin(), owner.end());
        // Where the hand-back did not happen, the previous owner is still on record.
        if (owner != L"Other.Scheme") {
          EXPECT_TRUE(Exists(L".crs\\OpenWithProgids\\Other.Scheme")) << what;
        }
        ExpectOthersKeptAndOursGone(what);
      });
}

// The file manager is told once a registration or an unregistration has succeeded, and not
// after one that failed (here a handler key cannot be made under a volatile parent).
TEST(RegistrationNoticeTest, TheShellHearsOfEachSuccessOnly) {
  ScratchClassesRoot root;
  testing::QuietWindows windows;
  ASSERT_EQ(RegisterServer(windows), S_OK);
  EXPECT_EQ(windows.associationChanges, 1);
  ASSERT_EQ(UnregisterServer(windows), S_OK);
  EXPECT_EQ(windows.associationChanges, 2);

  root.Reset();
  HKEY fileType = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L"anifile", 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &fileType, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(fileType);
  EXPECT_EQ(RegisterServer(windows), E_FAIL);
  EXPECT_EQ(windows.associationChanges, 2);
  UnregisterServer(windows);
}

}  // namespace
}  // namespace pivora

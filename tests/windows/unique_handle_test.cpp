// The owners' closes leave the thread's last error as the failed call set it, for the caller
// that reads it after the owners of its scope have gone.
#include <windows.h>

#include <unknwn.h>

#include <gtest/gtest.h>

#include "platform/unique_handle_win32.h"

namespace pivora {
namespace {

// An object whose release calls the system and leaves an error behind, as a release that frees
// its own handles may.
class ReleaseSetsAnError final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override {
    CloseHandle(nullptr);
    return --references;
  }
  ULONG references = 1;
};

// Opens a file that is not there while `object` is held, as a caller's step that fails with its
// owners still open.
HANDLE OpenMissingFileHolding(ReleaseSetsAnError& object) {
  const UniqueCom<IUnknown> held(&object);
  return CreateFileW(L"C:\\pivora-no-such-folder\\no-such-file", GENERIC_READ, 0, nullptr,
                     OPEN_EXISTING, 0, nullptr);
}

TEST(UniqueHandleTest, AFailedCallsLastErrorOutlivesTheOwnersClosedOnTheWayOut) {
  ReleaseSetsAnError object;
  CloseHandle(nullptr);
  const DWORD releaseError = GetLastError();
  ASSERT_NE(releaseError, static_cast<DWORD>(ERROR_SUCCESS));

  EXPECT_EQ(OpenMissingFileHolding(object), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_NE(GetLastError(), releaseError);
  EXPECT_EQ(object.references, 0u) << "the owner did not release";
}

}  // namespace
}  // namespace pivora

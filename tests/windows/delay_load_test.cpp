// A system library that cannot be delay-loaded: the failure hook answers every call into it
// with a failure of the call's kind, and the exception barrier says so, except where a method
// reports no failure.
#include <windows.h>

#include <commdlg.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "dll/delay_load.h"
#include "server/com_barrier.h"

namespace pivora {
namespace {

// What the loader's helper asks when `library` would not load, then when the function is not
// in the module the hook gave.
FARPROC StandInFor(const char* library, const char* function) {
  DelayLoadInfo info{};
  info.cb = sizeof(info);
  info.szDll = library;
  info.dlp.fImportByName = TRUE;
  info.dlp.szProcName = function;
  info.dwLastError = ERROR_MOD_NOT_FOUND;
  const auto module = reinterpret_cast<HMODULE>(AnswerFailedDelayLoad(dliFailLoadLib, &info));
  EXPECT_NE(module, nullptr) << "the helper would raise an exception";
  EXPECT_EQ(GetProcAddress(module, function), nullptr) << "a real function would be called";
  info.hmodCur = module;
  return AnswerFailedDelayLoad(dliFailGetProc, &info);
}

template <class Function>
Function* As(FARPROC call) {
  return reinterpret_cast<Function*>(reinterpret_cast<void*>(call));
}

TEST(DelayLoadTest, CallsIntoAMissingLibraryFailAndTheBarrierReportsIt) {
  const auto save = As<BOOL WINAPI(OPENFILENAMEW*)>(StandInFor("comdlg32.dll", "GetSaveFileNameW"));
  ASSERT_NE(save, nullptr);
  const HRESULT invoked = ComBarrier(kOutOfMemoryOrUnexpected, [&] {
    // Read as a cancelled dialog, which alone would be a success.
    return save(nullptr) ? E_FAIL : S_OK;
  });
  EXPECT_EQ(invoked, kLibraryNotLoaded);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

  // Functions whose success is 0 get an error instead.
  const auto create = As<HRESULT WINAPI(REFCLSID, IUnknown*, DWORD, REFIID, void**)>(
      StandInFor("ole32.dll", "CoCreateInstance"));
  void* object = nullptr;
  EXPECT_TRUE(FAILED(
      create(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object)));
  const auto deleteKey = As<LONG WINAPI(HKEY, LPCWSTR)>(StandInFor("shlwapi.dll", "SHDeleteKeyW"));
  EXPECT_NE(deleteKey(HKEY_CURRENT_USER, L"Pivora"), ERROR_SUCCESS);
}

TEST(DelayLoadTest, AMenuBuiltWithoutPicturesStillClaimsItsIdentifiers) {
  const auto bitmap =
      As<HBITMAP WINAPI(HDC, int, int)>(StandInFor("gdi32.dll", "CreateCompatibleBitmap"));
  const HRESULT built = ComBarrier(kNeverFail, [&] {
    EXPECT_EQ(bitmap(nullptr, 13, 13), nullptr);
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 18);
  });
  EXPECT_EQ(built, MAKE_HRESULT(SEVERITY_SUCCESS, 0, 18));
}

}  // namespace
}  // namespace pivora

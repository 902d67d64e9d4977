// The library's entry routine and its class-object exports.
#include <windows.h>

#include "dll/object_map.h"
#include "dll/registration.h"
#include "module/load_state.h"
#include "server/com_barrier.h"
#include "server/com_module.h"
#include "shellext/shell_seams.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  // The records were built before this runs; a lock one of them could not set up refuses the
  // load.
  if (reason == DLL_PROCESS_ATTACH) return pivora::initFailed ? FALSE : TRUE;
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  return pivora::GetClassObject(pivora::comModule, rclsid, riid, ppv);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return pivora::CanUnloadNow(); }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  return pivora::ComBarrier(pivora::kOutOfMemoryOrUnexpected, [] {
    return pivora::RegisterServer(pivora::Win32ShellSeams().windows);
  });
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  return pivora::ComBarrier(pivora::kOutOfMemoryOrUnexpected, [] {
    return pivora::UnregisterServer(pivora::Win32ShellSeams().windows);
  });
}

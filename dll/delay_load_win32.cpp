// The delay-loaded system libraries (PIVORA_DELAY_LOADED in CMakeLists.txt: comdlg32, gdi32,
// msimg32, ole32, oleaut32, shell32, shlwapi) are loaded on the first call into them, so that
// rundll32 running the apply verb pays only for what applying uses. Nothing that runs under the
// loader lock (the entry routine, the records built at load) calls into them.
//
// Should one of them not load, or lack a function, the loader's helper would raise an exception
// that nothing here can catch. The failure hook below answers instead: every call into such a
// library returns the failure value of its kind and notes the failure, and the exception
// barrier of the COM method or export turns the body's result into kLibraryNotLoaded.
#include "dll/delay_load.h"

#include <cstring>

#include "platform/delay_load.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace pivora {
namespace {

// Most of those functions fail with 0 (FALSE, a null handle, no count).
INT_PTR WINAPI FailedCall() {
  NoteFailedLibraryCall();
  SetLastError(ERROR_MOD_NOT_FOUND);
  return 0;
}

// These report success with 0, so their stand-ins give an error.
HRESULT WINAPI FailedComCall() {
  NoteFailedLibraryCall();
  return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
}

LONG WINAPI FailedStatusCall() {
  NoteFailedLibraryCall();
  return ERROR_MOD_NOT_FOUND;
}

template <class Function>
FARPROC AsFarProc(Function* function) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(function));
}

struct StandIn {
  const char* function;
  FARPROC call;
};

const StandIn kNonZeroFailures[] = {
    {"CoCreateInstance", AsFarProc(&FailedComCall)},
    {"VarUI4FromStr", AsFarProc(&FailedComCall)},
    {"SHDeleteKeyW", AsFarProc(&FailedStatusCall)},
};

FARPROC StandInFor(const DelayLoadInfo& info) {
  if (info.dlp.fImportByName && info.dlp.szProcName != nullptr) {
    for (const StandIn& standIn : kNonZeroFailures) {
      if (std::strcmp(info.dlp.szProcName, standIn.function) == 0) return standIn.call;
    }
  }
  return AsFarProc(&FailedCall);
}

}  // namespace

FARPROC WINAPI AnswerFailedDelayLoad(unsigned notification, PDelayLoadInfo info) {
  if (info == nullptr) return nullptr;
  if (notification == dliFailLoadLib) {
    // The helper wants a module to look the function up in. Ours exports none of those names,
    // so the look-up fails and comes back below; the reference taken here covers the helper's
    // FreeLibrary when two threads race to store the module.
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCWSTR>(&__ImageBase), &self);
    return reinterpret_cast<FARPROC>(self);
  }
  if (notification == dliFailGetProc) return StandInFor(*info);
  return nullptr;
}

}  // namespace pivora

// Declared extern "C" by <delayimp.h>; this definition replaces the runtime's empty one.
PfnDliHook __pfnDliFailureHook2 = pivora::AnswerFailedDelayLoad;

// The library's answer to a system library that could not be delay-loaded; see
// delay_load_win32.cpp.
#pragma once

#include <windows.h>

#include <delayimp.h>

namespace pivora {

// The delay-load failure hook: a module to look the function up in for dliFailLoadLib, and a
// stand-in that fails the call for dliFailGetProc.
FARPROC WINAPI AnswerFailedDelayLoad(unsigned notification, PDelayLoadInfo info);

}  // namespace pivora

// Pivora.dll as an installer leaves it: the library built beside the test programs, registered
// and run by the system's own programs in other processes.
#pragma once

#include <windows.h>

#include <map>
#include <string>

namespace pivora::testing {

std::wstring BuiltLibraryPath();

// Runs a command line to its end. Its exit code; 0xFFFFFFFF when it did not start or did not
// end within a minute.
DWORD RunToEnd(std::wstring commandLine);

// The real regsvr32, silent, on the built library.
DWORD Regsvr32(bool unregister = false);

// One role's stored pointer value: the path of a REG_EXPAND_SZ value, "<absent>",
// "<not REG_EXPAND_SZ>", or "<no key>" when the pointer settings key is missing.
std::wstring StoredPointer(const std::wstring& valueName);

// The pointer settings key, empty.
void ClearPointerSettings();

// Every role's stored pointer value: the path of a REG_EXPAND_SZ value, "<absent>",
// "<not REG_EXPAND_SZ>", or "<no key>" when the pointer settings key is missing.
std::map<std::wstring, std::wstring> StoredRoles();

}  // namespace pivora::testing

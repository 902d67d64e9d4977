// Self-registration: the AppID and class scripts, the .crs scheme file type and the
// context-menu handler keys of the cursor file types.
#pragma once

#include <windows.h>

#include <string>

namespace pivora {

HRESULT RegisterServer() noexcept;
HRESULT UnregisterServer() noexcept;

// The apply verb's command line for a library at `shortPath` (its 8.3 form, or the full path
// where there is none): quoted when it holds a blank, which would otherwise end the path.
std::wstring ApplyCommand(const std::wstring& shortPath);

}  // namespace pivora

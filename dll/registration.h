// Self-registration: the AppID and class scripts, the .crs scheme file type and the
// context-menu handler keys of the cursor file types.
#pragma once

#include <windows.h>

#include <string>

#include "platform/registry.h"

namespace pivora {

HRESULT RegisterServer() noexcept;
HRESULT UnregisterServer() noexcept;

// What registration adds beside its scripts: the .crs file type with its verbs, the handler keys
// of .cur and .ani, and the pack handler's key for every .inf. A failed step skips only what
// depends on it; false when a handler key could not be made.
bool RegisterAssociations(Registry& registry);
// Removes the handler keys wherever they are and hands .crs back; false when a handler key was
// found and stays.
bool UnregisterAssociations(Registry& registry);

// The apply verb's command line for a library at `shortPath` (its 8.3 form, or the full path
// where there is none): quoted when it holds a blank, which would otherwise end the path.
std::wstring ApplyCommand(const std::wstring& shortPath);

}  // namespace pivora

// Self-registration: the AppID and class scripts, the .crs scheme file type and the
// context-menu handler keys of the cursor file types.
#pragma once

#include <windows.h>

#include <string>

#include "platform/registry.h"
#include "platform/window_system.h"

namespace pivora {

// The exports' bodies: out of memory may throw, to the export's barrier. Each tells the shell
// that file associations changed once it has succeeded, so that the file manager shows (or stops
// showing) the verbs, icons and thumbnails without a restart.
HRESULT RegisterServer(WindowSystem& windows);
HRESULT UnregisterServer(WindowSystem& windows);

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

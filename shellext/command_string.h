// The help sentence the shell shows while one of the handler's items is highlighted.
#pragma once

#include <windows.h>

namespace pivora {

// GetCommandString: help texts (GCS_HELPTEXTA/W) in the thread's language, cut to `size`;
// GCS_VALIDATEA/W says whether the offset is one of the menu's; the handler has no verbs, so
// every other request is refused with the buffer untouched.
HRESULT CommandString(UINT_PTR idCmd, UINT type, CHAR* name, UINT size);

}  // namespace pivora

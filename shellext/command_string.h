// The help sentence the shell shows while one of the handler's items is highlighted.
#pragma once

#include <windows.h>

#include <string_view>

namespace pivora {

// GetCommandString: help texts (GCS_HELPTEXTA/W) in the thread's language, cut to `size`;
// GCS_VALIDATEA/W says whether the offset is one of the menu's; the handler has no verbs, so
// every other request is refused with the buffer untouched.
HRESULT CommandString(UINT_PTR idCmd, UINT type, CHAR* name, UINT size);

// A help text into the caller's buffer of `size` characters, as GCS_HELPTEXTW (UTF-16) or
// GCS_HELPTEXTA (the thread's ANSI code page) asks, cut to fit; E_INVALIDARG without a buffer.
HRESULT CopyHelpText(std::u16string_view help, UINT type, CHAR* name, UINT size);

}  // namespace pivora

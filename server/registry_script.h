// Running one of the library's registry scripts (a "REGISTRY" resource) in the register or the
// unregister pass, with %NAME% replacements.
#pragma once

#include <windows.h>

#include <cstdint>

namespace pivora {

struct ReplacementEntry {
  const char16_t* name;  // a null name ends a list
  const char16_t* value;
};

// The caller's pairs come first, then the module's standard ones ("APPID"), then "Module" and
// "Module_Raw" (the library's path with single quotes doubled). Out of memory may throw: the
// barrier is the export's that runs registration.
HRESULT RunRegistryScript(std::uint16_t resourceId, bool doRegister,
                          const ReplacementEntry* list = nullptr);

}  // namespace pivora

// The classes the library serves: the object map and the module records built over it. They are
// the top of the library, read only by its exports and self-registration.
#pragma once

#include "server/com_module.h"

namespace pivora {

extern ComModule comModule;
extern CPivoraModule pivoraModule;

}  // namespace pivora

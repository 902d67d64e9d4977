#include "module/load_state.h"

namespace pivora {

bool initFailed = false;

}  // namespace pivora

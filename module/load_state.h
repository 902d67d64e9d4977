// Whether every process-wide record of the library could be set up when it was loaded.
#pragma once

namespace pivora {

// Set when a record cannot set up its lock; the entry routine then refuses the load.
extern bool initFailed;

}  // namespace pivora

// The process-wide records of the library, built when it is loaded (before its entry routine
// runs) and torn down when it is unloaded, in the reverse order.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "server/critical_section.h"

namespace pivora {

// Set when a record cannot set up its lock; the entry routine then refuses the load.
extern bool initFailed;

// The library's image and the modules its texts are looked up in.
struct BaseModule {
  BaseModule();
  ~BaseModule();
  BaseModule(const BaseModule&) = delete;
  BaseModule& operator=(const BaseModule&) = delete;

  // The module of a text lookup's step: an entry of the resource-module list, then the
  // library's own resources, then none (null).
  HINSTANCE ResourceModuleAt(std::size_t index);

  std::uint32_t size = 0;  // nonzero once built, 0 after teardown
  HINSTANCE moduleInstance = nullptr;
  HINSTANCE resourceInstance = nullptr;
  CriticalSection resourceLock;
  std::vector<HINSTANCE> resourceModules;  // stays empty: the library is its own resource
};

extern BaseModule baseModule;

}  // namespace pivora

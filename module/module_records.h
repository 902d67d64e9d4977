// The library's own process-wide records: its image and the modules its texts come from, and the
// bookkeeping of its window classes. Built when the library is loaded (before its entry routine
// runs) and torn down when it is unloaded. They sit below everything that reads them (texts,
// previews, registration) and know nothing of the classes the library serves.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "module/load_state.h"
#include "platform/critical_section.h"

namespace pivora {

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

// Bookkeeping of the window classes the library registers: none, so it only keeps its lock.
struct WinModule {
  WinModule();
  ~WinModule();
  WinModule(const WinModule&) = delete;
  WinModule& operator=(const WinModule&) = delete;

  std::uint32_t size = 0;
  CriticalSection windowClassLock;
};

extern BaseModule baseModule;
extern WinModule winModule;

}  // namespace pivora

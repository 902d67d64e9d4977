#include "module/module_records.h"

// The image this code is linked into: the library itself (or a test program built from the
// same sources).
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace pivora {

BaseModule::BaseModule() {
  moduleInstance = reinterpret_cast<HINSTANCE>(&__ImageBase);
  resourceInstance = moduleInstance;
  if (!resourceLock.Setup()) initFailed = true;
  size = sizeof(BaseModule);
}

BaseModule::~BaseModule() {
  resourceLock.Delete();
  resourceModules.clear();
  resourceModules.shrink_to_fit();
  size = 0;
}

HINSTANCE BaseModule::ResourceModuleAt(std::size_t index) {
  SectionGuard guard(resourceLock);
  if (index < resourceModules.size()) return resourceModules[index];
  if (index == resourceModules.size()) return resourceInstance;
  return nullptr;
}

WinModule::WinModule() {
  if (!windowClassLock.Setup()) {
    initFailed = true;
    return;
  }
  size = sizeof(WinModule);
}

WinModule::~WinModule() {
  windowClassLock.Delete();
  size = 0;
}

// Built in this order when the library is loaded, torn down in the reverse order when it is
// unloaded. Their constructors and destructors touch no other record, so the object map's
// records (dll/) may come before or after them.
BaseModule baseModule;
WinModule winModule;

}  // namespace pivora

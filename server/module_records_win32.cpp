#include "server/module_records.h"

// The image this code is linked into: the library itself (or a test program built from the
// same sources).
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace pivora {

bool initFailed = false;

BaseModule::BaseModule() {
  moduleInstance = reinterpret_cast<HINSTANCE>(&__ImageBase);
  resourceInstance = moduleInstance;
  if (FAILED(resourceLock.Setup())) initFailed = true;
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

BaseModule baseModule;

}  // namespace pivora

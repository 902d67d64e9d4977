#include "server/module_records.h"

#include "shellext/context_menu_ext.h"

// The image this code is linked into: the library itself (or a test program built from the
// same sources).
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace pivora {

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

WinModule::WinModule() {
  if (FAILED(windowClassLock.Setup())) {
    initFailed = true;
    return;
  }
  size = sizeof(WinModule);
}

WinModule::~WinModule() {
  windowClassLock.Delete();
  size = 0;
}

namespace {
ObjectMapEntry objectMap[] = {MakeObjectMapEntry<CContextMenuExt>()};
}  // namespace

// Built in this order when the library is loaded, torn down in the reverse order when it is
// unloaded.
BaseModule baseModule;
WinModule winModule;
ComModule comModule(&__ImageBase, objectMap);
CPivoraModule pivoraModule(comModule);

}  // namespace pivora

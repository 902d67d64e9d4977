#include "server/com_module.h"

#include <utility>

namespace pivora {

CAtlModule* currentModule = nullptr;

LONG LockModule() noexcept { return currentModule->Lock(); }
LONG UnlockModule() noexcept { return currentModule->Unlock(); }

CAtlModule::CAtlModule() noexcept : previousModule_(currentModule) {
  currentModule = this;
  if (FAILED(SetupLock(staticDataLock))) {
    initFailed = true;
    return;
  }
  size = sizeof(AtlModule70);
}

CAtlModule::~CAtlModule() {
  Term();
  if (currentModule == this) currentModule = previousModule_;
}

LONG CAtlModule::Lock() { return ++lockCount; }

LONG CAtlModule::Unlock() { return --lockCount; }

LONG CAtlModule::GetLockCount() { return lockCount.load(); }

HRESULT CAtlModule::GetGITPtr(IGlobalInterfaceTable** ppGIT) {
  if (ppGIT == nullptr) return E_POINTER;
  *ppGIT = nullptr;
#ifdef _WIN32
  IGlobalInterfaceTable* table = globalInterfaceTable.load();
  if (table == nullptr) {
    IGlobalInterfaceTable* created = nullptr;
    const HRESULT result =
        CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                         IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&created));
    if (FAILED(result)) return result;
    // Two first callers may both have created one: the later gives its own back.
    if (globalInterfaceTable.compare_exchange_strong(table, created)) {
      table = created;
    } else {
      created->Release();
    }
  }
  table->AddRef();
  *ppGIT = table;
  return S_OK;
#else
  return E_NOTIMPL;
#endif
}

void CAtlModule::Term() {
  if (size == 0) return;
  TermFunctionElement* element = std::exchange(termList, nullptr);
  while (element != nullptr) {
    element->callback(element->argument);
    delete std::exchange(element, element->next);
  }
  if (IGlobalInterfaceTable* table = globalInterfaceTable.exchange(nullptr)) table->Release();
  staticDataLock.Delete();
  size = 0;
}

ComModule::ComModule(void* typeLibrary, std::span<ObjectMapEntry> rows) noexcept
    : typeLibraryInstance(typeLibrary), objectMap(rows) {
  if (FAILED(SetupLock(objectMapLock))) {
    initFailed = true;
    return;
  }
  size = sizeof(ComModule);
}

ComModule::~ComModule() { Term(); }

void ComModule::Term() {
  if (size == 0) return;
  for (ObjectMapEntry& row : objectMap) {
    if (IUnknown* factory = row.cachedFactory.exchange(nullptr)) factory->Release();
  }
  objectMapLock.Delete();
  size = 0;
}

HRESULT GetClassObject(ComModule& classes, REFCLSID rclsid, REFIID riid, void** ppv) {
  if (classes.size == 0) return E_UNEXPECTED;
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  ObjectMapEntry* row = nullptr;
  for (ObjectMapEntry& candidate : classes.objectMap) {
    if (candidate.clsid == nullptr || candidate.CreateClassFactory == nullptr) continue;
    if (IsEqualGUID(*candidate.clsid, rclsid)) {
      row = &candidate;
      break;
    }
  }
  if (row == nullptr) return CLASS_E_CLASSNOTAVAILABLE;

  HRESULT result = S_OK;
  // Tested without the lock and again under it, so that concurrent first requests create
  // exactly one factory and later requests never wait.
  if (row->cachedFactory.load() == nullptr) {
    SectionGuard guard(classes.objectMapLock);
    if (row->cachedFactory.load() == nullptr) {
      void* created = nullptr;
      result = row->CreateClassFactory(row->CreateHandlerInstance, IID_IUnknown, &created);
      row->cachedFactory.store(static_cast<IUnknown*>(created));
    }
  }
  if (IUnknown* factory = row->cachedFactory.load()) result = factory->QueryInterface(riid, ppv);
  if (*ppv == nullptr && result == S_OK) return CLASS_E_CLASSNOTAVAILABLE;
  return result;
}

HRESULT CanUnloadNow() { return currentModule->GetLockCount() == 0 ? S_OK : S_FALSE; }

}  // namespace pivora

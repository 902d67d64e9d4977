// The module object with its lock count, the object map with its cached class factories, and the
// portable logic of the library's class-object and unload exports.
//
// The library builds one ComModule over its object map and then one CPivoraModule over that, in
// this order, as process-wide records; teardown runs in the reverse order:
//
//   ObjectMapEntry objectMap[] = {MakeObjectMapEntry<CContextMenuExt>()};
//   ComModule comModule(imageBase, objectMap);
//   CPivoraModule pivoraModule(comModule);
//   ... DllGetClassObject: return GetClassObject(comModule, rclsid, riid, ppv);
//   ... DllCanUnloadNow:   return CanUnloadNow();
#pragma once

#include <atomic>
#include <cstdint>
#include <span>

#include "module/load_state.h"
#include "platform/critical_section.h"
#include "server/com_frame.h"
#include "server/com_types.h"
#include "server/identifiers.h"

namespace pivora {

// The registry-script interpreter's table of %NAME% replacements, as the module fills it.
struct IRegistrarBase : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE DefineReplacement(const char16_t* key,
                                                      const char16_t* item) = 0;
};

// A termination callback of the module, run by Term. Elements are allocated with new; Term
// deletes them.
struct TermFunctionElement {
  void (*callback)(void* argument);
  void* argument;
  TermFunctionElement* next;
};

// The base record of the module object.
struct AtlModule70 {
  std::uint32_t size = 0;  // nonzero once set up; 0 before that and after Term
  std::atomic<LONG> lockCount{0};
  TermFunctionElement* termList = nullptr;
  CriticalSection staticDataLock;  // set up and deleted, never entered
};

// Constructing a module points currentModule at it; destroying it runs Term (when it was set up)
// and points currentModule back at whatever it designated before, so that a test can build its
// own module for a while.
class CAtlModule : public AtlModule70 {
 public:
  CAtlModule() noexcept;
  CAtlModule(const CAtlModule&) = delete;
  CAtlModule& operator=(const CAtlModule&) = delete;
  virtual ~CAtlModule();

  virtual LONG Lock();
  virtual LONG Unlock();
  virtual LONG GetLockCount();
  // Hands out the process's global interface table with a reference for the caller, creating it
  // on first use. Natively there is none: E_NOTIMPL.
  virtual HRESULT GetGITPtr(IGlobalInterfaceTable** ppGIT);
  virtual HRESULT AddStandardReplacements(IRegistrarBase* registrar) = 0;

  // Runs and frees the termination callbacks in list order, releases the interface table and
  // deletes the lock; does nothing once the size is 0.
  void Term();

  std::atomic<IGlobalInterfaceTable*> globalInterfaceTable{nullptr};

 private:
  CAtlModule* previousModule_;
};

// The module object. Lock and Unlock on it are how every live object, the factory's clients and
// LockServer keep the library loaded, so it must be set while any of them exists.
extern CAtlModule* currentModule;

template <class T>
class CAtlModuleT : public CAtlModule {
 public:
  // "APPID" stands for the module's AppID text in every registry script.
  HRESULT AddStandardReplacements(IRegistrarBase* registrar) override {
    if (registrar == nullptr) return E_POINTER;
    return registrar->DefineReplacement(u"APPID", T::appId);
  }
};

// One row of the object map: a class the library serves and what serving it takes.
struct ObjectMapEntry {
  const CLSID* clsid;
  HRESULT (*UpdateClassRegistry)(BOOL doRegister);
  HRESULT (*CreateClassFactory)(InstanceCreator creator, REFIID riid, void** ppv);
  InstanceCreator CreateHandlerInstance;
  // Read without the object-map lock and written under it, once.
  std::atomic<IUnknown*> cachedFactory;
  std::uint32_t registerCookie;
  const char16_t* (*GetClassDescription)();
  const CategoryMapEntry* (*GetCategoryMap)();
  void (*ClassStartStop)(bool starting);
};

// The row for class T (which derives from CComCoClass<T, &CLSID_...>).
template <class T>
ObjectMapEntry MakeObjectMapEntry() {
  return ObjectMapEntry{.clsid = &T::GetObjectCLSID(),
                        .UpdateClassRegistry = &T::UpdateClassRegistry,
                        .CreateClassFactory = &T::CreateClassFactory,
                        .CreateHandlerInstance = &T::CreateHandlerInstance,
                        .cachedFactory = nullptr,
                        .registerCookie = 0,
                        .GetClassDescription = &T::GetClassDescription,
                        .GetCategoryMap = &T::GetCategoryMap,
                        .ClassStartStop = &T::ClassStartStop};
}

// The record of the classes the library serves. Its size stays 0 (and initFailed is set) when
// the object-map lock cannot be set up.
struct ComModule {
  ComModule(void* typeLibrary, std::span<ObjectMapEntry> rows) noexcept;
  ComModule(const ComModule&) = delete;
  ComModule& operator=(const ComModule&) = delete;
  ~ComModule();

  // Releases every cached factory (which, holding only the map's reference, goes without
  // touching the lock count) and deletes the lock; does nothing once the size is 0.
  void Term();

  std::uint32_t size = 0;
  void* typeLibraryInstance;
  std::span<ObjectMapEntry> objectMap;
  CriticalSection objectMapLock;  // held only around a row's first factory creation
};

// The module layer of a DLL server: starts the object map's classes once the module is set up
// and stops them before it is torn down.
template <class T>
class CAtlDllModuleT : public CAtlModuleT<T> {
 public:
  explicit CAtlDllModuleT(ComModule& classes) noexcept : classes_(classes) {
    for (ObjectMapEntry& row : classes_.objectMap) {
      if (row.ClassStartStop != nullptr) row.ClassStartStop(true);
    }
  }
  ~CAtlDllModuleT() override {
    for (ObjectMapEntry& row : classes_.objectMap) {
      if (row.ClassStartStop != nullptr) row.ClassStartStop(false);
    }
  }

 private:
  ComModule& classes_;
};

class CPivoraModule : public CAtlDllModuleT<CPivoraModule> {
 public:
  using CAtlDllModuleT::CAtlDllModuleT;

  static constexpr const char16_t* appId = kAppIdText;
};

// DllGetClassObject: the class factory of `rclsid`, created once and cached in its row.
HRESULT GetClassObject(ComModule& classes, REFCLSID rclsid, REFIID riid, void** ppv);

// DllCanUnloadNow: S_OK when nothing holds currentModule, else S_FALSE.
HRESULT CanUnloadNow();

}  // namespace pivora

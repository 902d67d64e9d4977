// The COM frame's object wrappers and class factory: reference counting, table-driven
// QueryInterface, aggregation, and the module lock that every live object holds. A handler class
// brings its interfaces (an InterfaceMap) and its own members; the frame brings the rest.
#pragma once

#include <atomic>
#include <cstdint>
#include <new>
#include <span>
#include <type_traits>
#include <utility>

#include "platform/critical_section.h"
#include "server/com_types.h"

namespace pivora {

// A destroyed object's count is parked far from 0 (0xC0000001), so that reference calls made
// while it is torn down can never bring it to 0 a second time.
inline constexpr LONG kParkedRefCount = -1073741823;

// Lock and Unlock on currentModule (com_module.h); each returns the count that its own
// interlocked step produced.
LONG LockModule() noexcept;
LONG UnlockModule() noexcept;

// Test only: the frame's lock set-ups ask this first, so that tests can reach the paths where a
// lock cannot be set up, which no replaced operator new reaches. One step of the kind fails after
// `passing` such steps have succeeded; leaving the scope disarms it. (Allocations need no hook:
// the test programs replace operator new, the nothrow forms included.)
enum class FrameStep { kLockSetup };

class InjectedFault {
 public:
  explicit InjectedFault(FrameStep step, int passing = 0);
  ~InjectedFault();
  InjectedFault(const InjectedFault&) = delete;
  InjectedFault& operator=(const InjectedFault&) = delete;
  bool fired() const;
};

bool FaultDue(FrameStep step) noexcept;

// Every object of the frame is made here. Wrappers are nothrow-constructible (the creators
// check it), so a null result always means that memory ran out.
template <class Object, class... Args>
Object* NewObject(Args&&... args) noexcept {
  static_assert(std::is_nothrow_constructible_v<Object, Args...>);
  return new (std::nothrow) Object(std::forward<Args>(args)...);
}

// Sets up any lock of the frame or the module records: S_OK or E_OUTOFMEMORY.
template <class Section>
HRESULT SetupLock(Section& section) noexcept {
  if (FaultDue(FrameStep::kLockSetup)) return E_OUTOFMEMORY;
  return section.Setup() ? S_OK : E_OUTOFMEMORY;
}

// The aggregate keeps its own count but needs no lock.
class NoCriticalSection {
 public:
  bool Setup() noexcept { return true; }
  void Delete() noexcept {}
  bool ready() const noexcept { return false; }
};

struct CComMultiThreadModel {
  using CriticalSection = pivora::CriticalSection;
};

struct CComMultiThreadModelNoCS {
  using CriticalSection = NoCriticalSection;
};

// The count and lock at the root of every object. Counts change only by interlocked steps, and
// each step reports the value it produced, never a second read.
template <class ThreadModel>
class CComObjectRootEx {
 public:
  CComObjectRootEx() noexcept = default;
  CComObjectRootEx(const CComObjectRootEx&) = delete;
  CComObjectRootEx& operator=(const CComObjectRootEx&) = delete;

  LONG InternalAddRef() noexcept { return ++refCount; }
  LONG InternalRelease() noexcept { return --refCount; }
  HRESULT SetupRootLock() noexcept { return SetupLock(rootLock); }

  std::atomic<LONG> refCount{0};
  // Set up at creation and deleted with the object; no operation enters it.
  typename ThreadModel::CriticalSection rootLock;
};

// One row of a class's InterfaceMap: an interface id and how to reach that interface of an
// object of the class.
template <class T>
struct InterfaceEntry {
  const IID* iid;
  IUnknown* (*get)(T* object);
};

template <class T, class Interface>
IUnknown* InterfaceOf(T* object) {
  return static_cast<Interface*>(object);
}

// The row for `Interface`, e.g. ComInterface<CSample, ISample>(IID_ISample).
template <class T, class Interface>
constexpr InterfaceEntry<T> ComInterface(const IID& iid) {
  return {&iid, &InterfaceOf<T, Interface>};
}

// IID_IUnknown is answered with the first row; other ids with the first row whose id matches.
// The interface handed out gets one AddRef through its own vtable, so an aggregated object's
// reference reaches its outer object.
template <class T>
HRESULT QueryInterfaceFromMap(T* object, std::span<const InterfaceEntry<T>> map, REFIID riid,
                              void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  const InterfaceEntry<T>* found = nullptr;
  if (IsEqualGUID(riid, IID_IUnknown)) {
    if (!map.empty()) found = &map.front();
  } else {
    for (const InterfaceEntry<T>& entry : map) {
      if (IsEqualGUID(riid, *entry.iid)) {
        found = &entry;
        break;
      }
    }
  }
  if (found == nullptr) return E_NOINTERFACE;
  IUnknown* const unknown = found->get(object);
  unknown->AddRef();
  *ppv = unknown;
  return S_OK;
}

// Taken as the last step of a wrapper's construction and given back right after its count is
// parked, before the handler's own clean-up runs: a base or member placed after the handler.
class ModuleLockHolder {
 public:
  ModuleLockHolder() noexcept { LockModule(); }
  ~ModuleLockHolder() { UnlockModule(); }
  ModuleLockHolder(const ModuleLockHolder&) = delete;
  ModuleLockHolder& operator=(const ModuleLockHolder&) = delete;
};

// A stand-alone handler object: T with real IUnknown behaviour on every one of its interfaces.
template <class T>
class CComObject final : public T, private ModuleLockHolder {
 public:
  CComObject() = default;
  ~CComObject() { this->refCount = kParkedRefCount; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return QueryInterfaceFromMap<T>(this, T::InterfaceMap, riid, ppv);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(this->InternalAddRef()); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG count = this->InternalRelease();
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
  }
};

// The handler inside an aggregate: the IUnknown methods of all its interfaces go to the outer
// object, which controls the aggregate's identity and life.
template <class T>
class CComContainedObject final : public T {
 public:
  // Nothrow as long as T's construction is; the creators check that.
  explicit CComContainedObject(IUnknown* outer) noexcept : outerUnknown(outer) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return outerUnknown->QueryInterface(riid, ppv);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return outerUnknown->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return outerUnknown->Release(); }

  IUnknown* const outerUnknown;
};

// An aggregated handler object. Its own IUnknown, which only the outer object holds, counts the
// aggregate; the contained handler's interfaces belong to the outer object.
template <class T>
class CComAggObject final : public IUnknown, public CComObjectRootEx<CComMultiThreadModelNoCS> {
 public:
  explicit CComAggObject(IUnknown* outer) noexcept : contained(outer) {}
  ~CComAggObject() { refCount = kParkedRefCount; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualGUID(riid, IID_IUnknown)) {
      IUnknown* const self = this;
      self->AddRef();
      *ppv = self;
      return S_OK;
    }
    return QueryInterfaceFromMap<T>(&contained, T::InterfaceMap, riid, ppv);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InternalAddRef()); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG count = InternalRelease();
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
  }

  CComContainedObject<T> contained;

 private:
  [[no_unique_address]] ModuleLockHolder moduleLock_;  // after `contained`: see its class
};

// Makes a handler object of class T and hands out the interface `riid`, with one reference.
using InstanceCreator = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

template <class T>
constexpr bool kHandlerConstructionCannotThrow =
    std::is_nothrow_default_constructible_v<CComObject<T>>;

template <class T>
HRESULT CreateStandalone(REFIID riid, void** ppv) {
  static_assert(kHandlerConstructionCannotThrow<T>,
                "a handler's members must be set up without throwing: make its constructor "
                "noexcept");
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  CComObject<T>* const object = NewObject<CComObject<T>>();
  if (object == nullptr) return E_OUTOFMEMORY;
  // Held across the set-up so that nothing it calls can bring the count to 0.
  object->InternalAddRef();
  HRESULT result = FAILED(object->SetupRootLock()) ? E_OUTOFMEMORY : S_OK;
  object->InternalRelease();
  if (result == S_OK) {
    result = object->QueryInterface(riid, ppv);
    if (SUCCEEDED(result)) return S_OK;
  }
  delete object;
  return result;
}

// The caller (the class factory) has made sure that `riid` is IID_IUnknown, so the outer object
// receives the aggregate's own IUnknown.
template <class T>
HRESULT CreateAggregated(IUnknown* outer, REFIID riid, void** ppv) {
  static_assert(kHandlerConstructionCannotThrow<T>,
                "a handler's members must be set up without throwing: make its constructor "
                "noexcept");
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  CComAggObject<T>* const aggregate = NewObject<CComAggObject<T>>(outer);
  if (aggregate == nullptr) return E_OUTOFMEMORY;
  const HRESULT result = FAILED(aggregate->contained.SetupRootLock())
                             ? E_OUTOFMEMORY
                             : aggregate->QueryInterface(riid, ppv);
  if (FAILED(result)) delete aggregate;
  return result;
}

template <class T>
HRESULT CreateHandlerInstance(IUnknown* outer, REFIID riid, void** ppv) {
  return outer == nullptr ? CreateStandalone<T>(riid, ppv) : CreateAggregated<T>(outer, riid, ppv);
}

// The one class factory: keeps the instance creator of its class and hands out new objects.
class CComClassFactory : public IClassFactory, public CComObjectRootEx<CComMultiThreadModel> {
 public:
  static constexpr InterfaceEntry<CComClassFactory> InterfaceMap[] = {
      ComInterface<CComClassFactory, IClassFactory>(IID_IClassFactory)};

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                           void** ppvObject) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

  InstanceCreator instanceCreator = nullptr;
};

// The factory as the object map caches it. The map's own reference never locks the module;
// clients' references together hold one lock, taken when the count reaches 2 and given back
// when it falls to 1.
template <class T>
class CComObjectCached final : public T {
 public:
  CComObjectCached() = default;
  ~CComObjectCached() { this->refCount = kParkedRefCount; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return QueryInterfaceFromMap<T>(this, T::InterfaceMap, riid, ppv);
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    const LONG count = this->InternalAddRef();
    if (count == 2) LockModule();
    return static_cast<ULONG>(count);
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG count = this->InternalRelease();
    if (count == 0) {
      delete this;
    } else if (count == 1) {
      UnlockModule();
    }
    return static_cast<ULONG>(count);
  }
};

// Makes a class factory over `creator` and hands out the interface `riid` of it, with the one
// reference that the object map keeps.
HRESULT CreateClassFactory(InstanceCreator creator, REFIID riid, void** ppv);

// A component category of a class (none in this system).
struct CategoryMapEntry {
  int kind;
  const GUID* categoryId;
};

// What an object-map row needs from class T, T deriving from CComCoClass<T, &CLSID_...>. T
// itself adds `static HRESULT UpdateClassRegistry(BOOL doRegister)` and may hide any of these.
template <class T, const CLSID* classId>
class CComCoClass {
 public:
  static const CLSID& GetObjectCLSID() { return *classId; }
  static HRESULT CreateHandlerInstance(IUnknown* outer, REFIID riid, void** ppv) {
    return pivora::CreateHandlerInstance<T>(outer, riid, ppv);
  }
  static HRESULT CreateClassFactory(InstanceCreator creator, REFIID riid, void** ppv) {
    return pivora::CreateClassFactory(creator, riid, ppv);
  }
  static const char16_t* GetClassDescription() { return nullptr; }
  static const CategoryMapEntry* GetCategoryMap() { return nullptr; }
  static void ClassStartStop(bool /*starting*/) {}
};

}  // namespace pivora

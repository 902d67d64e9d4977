#include "server/com_frame.h"

namespace pivora {
namespace {

// Steps left before the injected failure; -1 when none is armed.
std::atomic<int> lockSetupFault{-1};

}  // namespace

InjectedFault::InjectedFault(FrameStep, int passing) {
  lockSetupFault.store(passing < 0 ? 0 : passing);
}

InjectedFault::~InjectedFault() { lockSetupFault.store(-1); }

bool InjectedFault::fired() const { return lockSetupFault.load() < 0; }

bool FaultDue(FrameStep) noexcept {
  int left = lockSetupFault.load(std::memory_order_relaxed);
  while (left >= 0) {
    if (lockSetupFault.compare_exchange_weak(left, left - 1)) return left == 0;
  }
  return false;
}

HRESULT CComClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) {
  if (ppvObject == nullptr) return E_POINTER;
  *ppvObject = nullptr;
  // An outer object may only ask for the aggregate's own IUnknown: any other interface would
  // not be the one that controls the aggregate's life.
  if (pUnkOuter != nullptr && !IsEqualGUID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  return instanceCreator(pUnkOuter, riid, ppvObject);
}

HRESULT CComClassFactory::LockServer(BOOL fLock) {
  if (fLock) {
    LockModule();
  } else {
    UnlockModule();
  }
  return S_OK;
}

HRESULT CreateClassFactory(InstanceCreator creator, REFIID riid, void** ppv) {
  using Factory = CComObjectCached<CComClassFactory>;
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  Factory* const factory = NewObject<Factory>();
  if (factory == nullptr) return E_OUTOFMEMORY;
  factory->instanceCreator = creator;
  if (FAILED(factory->SetupRootLock())) {
    delete factory;
    return E_OUTOFMEMORY;
  }
  const HRESULT result = factory->QueryInterface(riid, ppv);
  if (FAILED(result)) delete factory;
  return result;
}

}  // namespace pivora

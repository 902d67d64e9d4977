// What the COM frame's tests share: a small handler class with two interfaces of its own, which
// stands in for the context-menu handler, a counted reference and an outer object that
// aggregates a handler.
#pragma once

#include <utility>

#include "server/com_frame.h"
#include "server/com_types.h"

namespace pivora::testing {

// The frame's side of a test handler class: Handler derives from it, naming its class and its
// two interfaces, and brings the interfaces' methods and whatever hooks of its own it needs
// (they hide CComCoClass's defaults).
template <class Handler, const CLSID& classId, class First, const IID& firstId, class Second,
          const IID& secondId>
class TwoInterfaceHandler : public CComObjectRootEx<CComMultiThreadModel>,
                            public CComCoClass<Handler, &classId>,
                            public First,
                            public Second {
 public:
  static constexpr InterfaceEntry<Handler> InterfaceMap[] = {
      ComInterface<Handler, First>(firstId), ComInterface<Handler, Second>(secondId)};

  static HRESULT UpdateClassRegistry(BOOL /*doRegister*/) { return S_OK; }
};

// One counted reference, given back when it leaves scope unless dropped by hand first.
template <class I>
class Ref {
 public:
  Ref() = default;
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { Drop(); }

  I* get() const { return pointer_; }
  I* operator->() const { return pointer_; }
  void** put() {
    Drop();
    return reinterpret_cast<void**>(&pointer_);
  }
  // Release's own result, or 0 when nothing was held.
  ULONG Drop() { return pointer_ ? std::exchange(pointer_, nullptr)->Release() : 0; }

 private:
  I* pointer_ = nullptr;
};

// An outer object as an aggregating client writes one: it is the identity of the whole, hands
// other interfaces to the aggregate's own IUnknown, and counts what reaches it. Its counts are
// plain integers: one thread uses it, like the outer object of a single-threaded client.
class CountingOuter final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    ++queries;
    if (IsEqualGUID(riid, IID_IUnknown)) {
      AddRef();
      *ppv = static_cast<IUnknown*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return inner ? inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++addRefs - releases); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(addRefs - ++releases); }

  IUnknown* inner = nullptr;
  int queries = 0;
  int addRefs = 0;
  int releases = 0;
};

}  // namespace pivora::testing

// The library's class object as the shell reaches it: only through DllGetClassObject and
// DllCanUnloadNow, whose answer is all the shell sees of the lock count.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include "tests/windows/library.h"

namespace pivora {
namespace {

using testing::kHandlerClass;
using testing::Library;

// An outer object that counts what reaches it from the contained handler.
class CountingOuter final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    ++queries;
    if (inner != nullptr && iid != IID_IUnknown) return inner->QueryInterface(iid, out);
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }

  IUnknown* inner = nullptr;
  int queries = 0;
  int references = 1;
};

class ClassObjectTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(library.get(), nullptr); }
  void TearDown() override { EXPECT_EQ(library.CanUnloadNow(), S_OK); }

  IClassFactory* Factory() {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(library.GetClassObject(kHandlerClass, IID_IClassFactory,
                                     reinterpret_cast<void**>(&factory)),
              S_OK);
    return factory;
  }

  Library library;
};

TEST_F(ClassObjectTest, FactoryIsCreatedOnceAndHoldsTheLibraryWhileHeld) {
  IClassFactory* first = Factory();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(library.CanUnloadNow(), S_FALSE);
  IClassFactory* second = Factory();
  EXPECT_EQ(first, second);
  first->Release();
  EXPECT_EQ(library.CanUnloadNow(), S_FALSE);
  second->Release();
  EXPECT_EQ(library.CanUnloadNow(), S_OK);
  // Still cached: the next request gets the same object.
  IClassFactory* again = Factory();
  EXPECT_EQ(again, first);
  again->Release();
}

TEST_F(ClassObjectTest, FactoryAnswersForIUnknownToo) {
  IUnknown* unknown = nullptr;
  ASSERT_EQ(library.GetClassObject(kHandlerClass, IID_IUnknown, reinterpret_cast<void**>(&unknown)),
            S_OK);
  EXPECT_EQ(library.CanUnloadNow(), S_FALSE);
  unknown->Release();
}

TEST_F(ClassObjectTest, UnknownClassesAndInterfacesAreRefused) {
  const CLSID other = {
      0x3A7C52E1, 0x9D04, 0x4B8E, {0xA6, 0xF3, 0x1C, 0x2D, 0x8E, 0x90, 0x5B, 0x48}};
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(library.GetClassObject(other, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(library.GetClassObject(kHandlerClass, IID_IContextMenu, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(library.CanUnloadNow(), S_OK);
  EXPECT_EQ(library.GetClassObject(kHandlerClass, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(ClassObjectTest, HandlersHoldTheLibraryUntilTheirLastRelease) {
  IClassFactory* factory = Factory();
  IContextMenu* menu = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu)),
            S_OK);
  factory->Release();
  EXPECT_EQ(library.CanUnloadNow(), S_FALSE);
  // Both interfaces of one object give the same IUnknown: its first interface.
  IUnknown* fromMenu = nullptr;
  IShellExtInit* init = nullptr;
  IUnknown* fromInit = nullptr;
  ASSERT_EQ(menu->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromMenu)), S_OK);
  ASSERT_EQ(menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)), S_OK);
  ASSERT_EQ(init->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fromInit)), S_OK);
  EXPECT_EQ(fromMenu, fromInit);
  EXPECT_EQ(fromMenu, static_cast<IUnknown*>(init));
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(menu->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  fromMenu->Release();
  fromInit->Release();
  init->Release();
  EXPECT_EQ(menu->Release(), 0u);
  EXPECT_EQ(library.CanUnloadNow(), S_OK);
}

TEST_F(ClassObjectTest, ObjectsWithoutTheAskedInterfaceAreNotKept) {
  IClassFactory* factory = Factory();
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IContextMenu, nullptr), E_POINTER);
  factory->Release();
}

TEST_F(ClassObjectTest, AggregationOnlyThroughIUnknownAndForwardedToTheOuterObject) {
  IClassFactory* factory = Factory();
  CountingOuter outer;
  void* refused = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IContextMenu, &refused), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(refused, nullptr);

  IUnknown* inner = nullptr;
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
  factory->Release();
  outer.inner = inner;
  EXPECT_EQ(outer.references, 1);  // the aggregate's own IUnknown is not counted by the outer

  IContextMenu* menu = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)), S_OK);
  EXPECT_EQ(outer.references, 2);  // the reference for the contained interface
  IShellExtInit* init = nullptr;
  ASSERT_EQ(menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)), S_OK);
  EXPECT_GE(outer.queries, 1);  // asked through the outer object
  init->Release();
  menu->Release();
  EXPECT_EQ(outer.references, 1);
  EXPECT_EQ(library.CanUnloadNow(), S_FALSE);
  EXPECT_EQ(inner->Release(), 0u);
  EXPECT_EQ(library.CanUnloadNow(), S_OK);
}

TEST_F(ClassObjectTest, LockServerHoldsTheLibrary) {
  IClassFactory* factory = Factory();
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory->Release();
  EXPECT_EQ(library.CanUnloadNow(), S_FALSE);
  factory = Factory();
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory->Release();
  EXPECT_EQ(library.CanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace pivora

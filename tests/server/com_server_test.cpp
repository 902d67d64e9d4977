// The COM frame's counting rules, driven the way the shell drives them: class objects from the
// object map, handler objects from the factory, aggregation under a counting outer object, and
// the module's lock count after each step. A small handler with two interfaces of its own stands
// in for the context-menu handler.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "server/com_frame.h"
#include "server/com_module.h"
#include "tests/server/test_handler.h"
#include "tests/support/seam_faults.h"

namespace pivora {
namespace {

using testing::AllocationFault;
using testing::CountingOuter;
using testing::Ref;

struct ITestPrimary : public IUnknown {
  virtual int STDMETHODCALLTYPE Primary() = 0;
};

struct ITestSecondary : public IUnknown {
  virtual int STDMETHODCALLTYPE Secondary() = 0;
};

constexpr IID IID_ITestPrimary = {
    0x5D0C6A21, 0x4B7E, 0x4F13, {0x9A, 0x02, 0x6C, 0x11, 0xE4, 0x57, 0x90, 0x3B}};
constexpr IID IID_ITestSecondary = {
    0x5D0C6A22, 0x4B7E, 0x4F13, {0x9A, 0x02, 0x6C, 0x11, 0xE4, 0x57, 0x90, 0x3B}};
constexpr CLSID CLSID_TestHandler = {
    0x5D0C6A30, 0x4B7E, 0x4F13, {0x9A, 0x02, 0x6C, 0x11, 0xE4, 0x57, 0x90, 0x3B}};
// Differs from CLSID_TestHandler in its last byte only: classes match on all 16 bytes.
constexpr CLSID CLSID_Elsewhere = {
    0x5D0C6A30, 0x4B7E, 0x4F13, {0x9A, 0x02, 0x6C, 0x11, 0xE4, 0x57, 0x90, 0x3C}};

constexpr LONG kParked = -1073741823;  // 0xC0000001

// What the handler saw while it was torn down.
struct Destruction {
  LONG refCount;
  LONG lockCount;
  bool rootLockReady;
};

struct HandlerLog {
  int constructed = 0;
  std::vector<Destruction> destructions;
  std::vector<bool> startStops;
};

HandlerLog handlerLog;

class TestHandler
    : public testing::TwoInterfaceHandler<TestHandler, CLSID_TestHandler, ITestPrimary,
                                          IID_ITestPrimary, ITestSecondary, IID_ITestSecondary> {
 public:
  TestHandler() noexcept { ++handlerLog.constructed; }
  virtual ~TestHandler() {
    handlerLog.destructions.push_back(
        {refCount.load(), currentModule->GetLockCount(), rootLock.ready()});
  }

  static void ClassStartStop(bool starting) { handlerLog.startStops.push_back(starting); }

  int STDMETHODCALLTYPE Primary() override { return 1; }
  int STDMETHODCALLTYPE Secondary() override { return 2; }
};

// Puts initFailed back after a test that makes a record fail on purpose.
class InitFailedRestorer {
 public:
  InitFailedRestorer() : saved_(initFailed) {}
  ~InitFailedRestorer() { initFailed = saved_; }

 private:
  bool saved_;
};

void* const kUntouched = reinterpret_cast<void*>(0x5A5A);

// Built before the fixture's records, so that their start-up calls are logged afresh.
struct LogReset {
  LogReset() { handlerLog = HandlerLog{}; }
};

class ComServerTest : public ::testing::Test {
 protected:
  LONG LockCount() { return module.GetLockCount(); }
  IUnknown* Cached() { return objectMap[0].cachedFactory.load(); }
  int Destroyed() { return static_cast<int>(handlerLog.destructions.size()); }

  void GetFactory(Ref<IClassFactory>& factory) {
    ASSERT_EQ(GetClassObject(classes, CLSID_TestHandler, IID_IClassFactory, factory.put()), S_OK);
  }

  LogReset logReset;
  ObjectMapEntry objectMap[1] = {MakeObjectMapEntry<TestHandler>()};
  ComModule classes{nullptr, objectMap};
  CPivoraModule module{classes};
};

// ---- Class objects from the object map ----

using ClassObjectTest = ComServerTest;

TEST_F(ClassObjectTest, TwoRequestsShareOneFactoryAndOneModuleLock) {
  Ref<IClassFactory> first;
  Ref<IClassFactory> second;
  ASSERT_EQ(GetClassObject(classes, CLSID_TestHandler, IID_IClassFactory, first.put()), S_OK);
  EXPECT_EQ(LockCount(), 1);
  ASSERT_EQ(GetClassObject(classes, CLSID_TestHandler, IID_IClassFactory, second.put()), S_OK);
  EXPECT_EQ(LockCount(), 1);
  EXPECT_EQ(first.get(), second.get());
  EXPECT_EQ(CanUnloadNow(), S_FALSE);

  EXPECT_EQ(first.Drop(), 2u);
  EXPECT_EQ(LockCount(), 1);
  EXPECT_EQ(second.Drop(), 1u);  // the object map's own reference remains
  EXPECT_EQ(LockCount(), 0);
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST_F(ClassObjectTest, OtherClassIsNotAvailableAndCreatesNothing) {
  void* out = kUntouched;
  EXPECT_EQ(GetClassObject(classes, CLSID_Elsewhere, IID_IClassFactory, &out),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(Cached(), nullptr);
  EXPECT_EQ(LockCount(), 0);
}

TEST_F(ClassObjectTest, UnknownIsTheFactoryWithACountOfTwo) {
  Ref<IUnknown> unknown;
  ASSERT_EQ(GetClassObject(classes, CLSID_TestHandler, IID_IUnknown, unknown.put()), S_OK);
  EXPECT_EQ(unknown.get(), Cached());
  EXPECT_EQ(LockCount(), 1);
  Ref<IClassFactory> factory;
  ASSERT_EQ(unknown->QueryInterface(IID_IClassFactory, factory.put()), S_OK);
  EXPECT_EQ(static_cast<IUnknown*>(factory.get()), unknown.get());
  EXPECT_EQ(factory.Drop(), 2u);
  EXPECT_EQ(unknown.Drop(), 1u);
  EXPECT_EQ(LockCount(), 0);
}

TEST_F(ClassObjectTest, InterfaceTheFactoryLacksLeavesItCachedAndUnlocked) {
  void* out = kUntouched;
  EXPECT_EQ(GetClassObject(classes, CLSID_TestHandler, IID_ITestPrimary, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  IUnknown* const cached = Cached();
  ASSERT_NE(cached, nullptr);
  EXPECT_EQ(LockCount(), 0);

  Ref<IClassFactory> factory;
  ASSERT_EQ(GetClassObject(classes, CLSID_TestHandler, IID_IClassFactory, factory.put()), S_OK);
  EXPECT_EQ(static_cast<IUnknown*>(factory.get()), cached);
  EXPECT_EQ(LockCount(), 1);
  EXPECT_EQ(factory.Drop(), 1u);
}

TEST_F(ClassObjectTest, NullOutPointerChangesNothing) {
  EXPECT_EQ(GetClassObject(classes, CLSID_TestHandler, IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(Cached(), nullptr);
  EXPECT_EQ(LockCount(), 0);
}

TEST_F(ClassObjectTest, RecordThatIsNotSetUpRefusesEveryRequest) {
  InitFailedRestorer restorer;
  initFailed = false;
  ObjectMapEntry rows[1] = {MakeObjectMapEntry<TestHandler>()};
  InjectedFault fault(FrameStep::kLockSetup);
  ComModule broken(nullptr, rows);
  EXPECT_TRUE(fault.fired());
  EXPECT_EQ(broken.size, 0u);
  EXPECT_TRUE(initFailed);

  void* out = kUntouched;
  EXPECT_EQ(GetClassObject(broken, CLSID_TestHandler, IID_IClassFactory, &out), E_UNEXPECTED);
  EXPECT_EQ(out, kUntouched);
  EXPECT_EQ(rows[0].cachedFactory.load(), nullptr);
}

TEST_F(ClassObjectTest, EmptyRowsAreSkippedAndTheFirstServingRowAnswers) {
  ObjectMapEntry rows[4] = {ObjectMapEntry{}, MakeObjectMapEntry<TestHandler>(),
                            MakeObjectMapEntry<TestHandler>(), MakeObjectMapEntry<TestHandler>()};
  rows[1].CreateClassFactory = nullptr;  // a row that cannot serve its class
  ComModule several(nullptr, rows);
  Ref<IClassFactory> factory;
  ASSERT_EQ(GetClassObject(several, CLSID_TestHandler, IID_IClassFactory, factory.put()), S_OK);
  EXPECT_EQ(rows[1].cachedFactory.load(), nullptr);
  EXPECT_EQ(rows[2].cachedFactory.load(), static_cast<IUnknown*>(factory.get()));
  EXPECT_EQ(rows[3].cachedFactory.load(), nullptr);
}

TEST_F(ClassObjectTest, FactoryThatCouldNotBeMadeIsTriedAgainNextTime) {
  {
    AllocationFault fault(0);
    void* out = kUntouched;
    EXPECT_EQ(GetClassObject(classes, CLSID_TestHandler, IID_IClassFactory, &out), E_OUTOFMEMORY);
    EXPECT_EQ(fault.count(), 1);
  }
  EXPECT_EQ(Cached(), nullptr);
  Ref<IClassFactory> factory;
  GetFactory(factory);
  EXPECT_EQ(static_cast<IUnknown*>(factory.get()), Cached());
  EXPECT_EQ(LockCount(), 1);
}

HRESULT CreateNoFactory(InstanceCreator, REFIID, void** ppv) {
  *ppv = nullptr;
  return S_OK;
}

TEST_F(ClassObjectTest, SuccessWithoutAFactoryIsReportedAsNotAvailable) {
  objectMap[0].CreateClassFactory = &CreateNoFactory;
  void* out = kUntouched;
  EXPECT_EQ(GetClassObject(classes, CLSID_TestHandler, IID_IClassFactory, &out),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
}

TEST_F(ClassObjectTest, UnloadingDestroysACachedFactoryWithoutTouchingTheLockCount) {
  module.Lock();  // something else keeps the library loaded meanwhile
  {
    Ref<IClassFactory> factory;
    GetFactory(factory);
    EXPECT_EQ(LockCount(), 2);
  }
  EXPECT_EQ(LockCount(), 1);
  classes.Term();
  EXPECT_EQ(Cached(), nullptr);
  EXPECT_EQ(LockCount(), 1);
  EXPECT_EQ(classes.size, 0u);
  void* out = kUntouched;
  EXPECT_EQ(GetClassObject(classes, CLSID_TestHandler, IID_IClassFactory, &out), E_UNEXPECTED);
  module.Unlock();
}

// ---- The class factory ----

class ClassFactoryTest : public ComServerTest {
 protected:
  void SetUp() override { GetFactory(factory); }

  Ref<IClassFactory> factory;
};

TEST_F(ClassFactoryTest, ClientReferencesHoldOneModuleLockBetweenThem) {
  EXPECT_EQ(factory->AddRef(), 3u);
  EXPECT_EQ(factory->AddRef(), 4u);
  EXPECT_EQ(LockCount(), 1);
  EXPECT_EQ(factory->Release(), 3u);
  EXPECT_EQ(factory->Release(), 2u);
  EXPECT_EQ(LockCount(), 1);
  EXPECT_EQ(factory.Drop(), 1u);
  EXPECT_EQ(LockCount(), 0);
}

TEST_F(ClassFactoryTest, StandaloneObjectLocksTheModuleUntilItsLastRelease) {
  Ref<ITestSecondary> object;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_ITestSecondary, object.put()), S_OK);
  EXPECT_EQ(object->Secondary(), 2);
  EXPECT_EQ(LockCount(), 2);
  EXPECT_EQ(handlerLog.constructed, 1);
  EXPECT_EQ(object.Drop(), 0u);
  EXPECT_EQ(Destroyed(), 1);
  EXPECT_EQ(LockCount(), 1);
}

TEST_F(ClassFactoryTest, OuterObjectMayAskForIUnknownOnly) {
  CountingOuter outer;
  void* out = kUntouched;
  EXPECT_EQ(factory->CreateInstance(&outer, IID_ITestPrimary, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(handlerLog.constructed, 0);
  EXPECT_EQ(outer.addRefs + outer.releases + outer.queries, 0);

  Ref<IUnknown> inner;
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, inner.put()), S_OK);
  EXPECT_NE(inner.get(), static_cast<IUnknown*>(&outer));
  EXPECT_EQ(handlerLog.constructed, 1);
  EXPECT_EQ(LockCount(), 2);
  EXPECT_EQ(outer.addRefs, 0);  // creating the aggregate holds no reference on its outer object
  EXPECT_EQ(inner.Drop(), 0u);
  EXPECT_EQ(Destroyed(), 1);
  EXPECT_EQ(LockCount(), 1);
}

TEST_F(ClassFactoryTest, InterfaceTheHandlerLacksDestroysTheNewObject) {
  void* out = kUntouched;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(handlerLog.constructed, 1);
  EXPECT_EQ(Destroyed(), 1);
  EXPECT_EQ(LockCount(), 1);
}

TEST_F(ClassFactoryTest, NullOutPointersAreRefusedEverywhere) {
  CountingOuter outer;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_ITestPrimary, nullptr), E_POINTER);
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(factory->QueryInterface(IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(CreateStandalone<TestHandler>(IID_ITestPrimary, nullptr), E_POINTER);
  EXPECT_EQ(CreateAggregated<TestHandler>(&outer, IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(CreateClassFactory(&TestHandler::CreateHandlerInstance, IID_IUnknown, nullptr),
            E_POINTER);
  EXPECT_EQ(handlerLog.constructed, 0);
  EXPECT_EQ(LockCount(), 1);
}

TEST_F(ClassFactoryTest, LockServerKeepsTheLibraryLoadedWithoutObjects) {
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Drop();
  EXPECT_EQ(LockCount(), 1);
  EXPECT_EQ(CanUnloadNow(), S_FALSE);
  GetFactory(factory);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory.Drop();
  EXPECT_EQ(LockCount(), 0);
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

// ---- Stand-alone handler objects ----

class StandaloneTest : public ClassFactoryTest {
 protected:
  void SetUp() override {
    ClassFactoryTest::SetUp();
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_ITestPrimary, primary.put()), S_OK);
  }

  Ref<ITestPrimary> primary;
};

TEST_F(StandaloneTest, IUnknownFromEitherInterfaceIsTheFirstInterface) {
  Ref<ITestSecondary> secondary;
  ASSERT_EQ(primary->QueryInterface(IID_ITestSecondary, secondary.put()), S_OK);
  EXPECT_NE(static_cast<void*>(secondary.get()), static_cast<void*>(primary.get()));
  Ref<IUnknown> fromPrimary;
  Ref<IUnknown> fromSecondary;
  ASSERT_EQ(primary->QueryInterface(IID_IUnknown, fromPrimary.put()), S_OK);
  ASSERT_EQ(secondary->QueryInterface(IID_IUnknown, fromSecondary.put()), S_OK);
  EXPECT_EQ(fromPrimary.get(), fromSecondary.get());
  EXPECT_EQ(fromPrimary.get(), static_cast<IUnknown*>(primary.get()));
}

TEST_F(StandaloneTest, EveryInterfaceCountsOnTheOneObject) {
  Ref<ITestSecondary> secondary;
  ASSERT_EQ(primary->QueryInterface(IID_ITestSecondary, secondary.put()), S_OK);
  EXPECT_EQ(secondary->Secondary(), 2);
  EXPECT_EQ(secondary->AddRef(), 3u);
  EXPECT_EQ(secondary->Release(), 2u);
  EXPECT_EQ(primary.Drop(), 1u);
  EXPECT_EQ(Destroyed(), 0);
  EXPECT_EQ(LockCount(), 2);
  EXPECT_EQ(secondary.Drop(), 0u);
  EXPECT_EQ(Destroyed(), 1);
  EXPECT_EQ(LockCount(), 1);
}

TEST_F(StandaloneTest, UnknownInterfaceLeavesTheOutPointerNull) {
  void* out = kUntouched;
  EXPECT_EQ(primary->QueryInterface(IID_IClassFactory, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(primary->QueryInterface(IID_ITestSecondary, nullptr), E_POINTER);
  EXPECT_EQ(primary.Drop(), 0u);  // neither call left a reference behind
}

TEST_F(StandaloneTest, DestructionParksTheCountAndUnlocksBeforeTheHandlerCleansUp) {
  primary.Drop();
  ASSERT_EQ(Destroyed(), 1);
  const Destruction& seen = handlerLog.destructions[0];
  EXPECT_EQ(seen.refCount, kParked);
  EXPECT_EQ(seen.lockCount, 1);  // only the factory's client lock is left
  EXPECT_TRUE(seen.rootLockReady);
}

// ---- Aggregated handler objects ----

class AggregateTest : public ClassFactoryTest {
 protected:
  void SetUp() override {
    ClassFactoryTest::SetUp();
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)),
              S_OK);
    outer.inner = inner;
  }
  void TearDown() override {
    if (inner != nullptr) inner->Release();
  }

  CountingOuter outer;
  IUnknown* inner = nullptr;  // the aggregate's own IUnknown, held by the outer object
};

TEST_F(AggregateTest, QueryThroughTheAggregateCountsOnTheOuterObject) {
  ITestSecondary* secondary = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_ITestSecondary, reinterpret_cast<void**>(&secondary)), S_OK);
  EXPECT_EQ(secondary->Secondary(), 2);
  EXPECT_EQ(outer.addRefs, 1);
  EXPECT_EQ(secondary->Release(), 0u);  // the outer object's count, back to none
  EXPECT_EQ(outer.releases, 1);
  // The aggregate's own count was never touched: the outer object's one reference remains.
  EXPECT_EQ(inner->AddRef(), 2u);
  EXPECT_EQ(inner->Release(), 1u);
}

TEST_F(AggregateTest, ContainedInterfacesAnswerForTheOuterObject) {
  ITestPrimary* primary = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_ITestPrimary, reinterpret_cast<void**>(&primary)), S_OK);
  IUnknown* identity = nullptr;
  ASSERT_EQ(primary->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
  EXPECT_EQ(outer.queries, 1);
  ITestSecondary* secondary = nullptr;
  ASSERT_EQ(primary->QueryInterface(IID_ITestSecondary, reinterpret_cast<void**>(&secondary)),
            S_OK);
  EXPECT_EQ(outer.queries, 2);
  EXPECT_EQ(outer.addRefs, 3);
  identity->Release();
  secondary->Release();
  primary->Release();
  EXPECT_EQ(outer.releases, 3);
}

TEST_F(AggregateTest, OwnUnknownIsTheAggregateItself) {
  IUnknown* again = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&again)), S_OK);
  EXPECT_EQ(again, inner);
  EXPECT_EQ(outer.addRefs, 0);
  EXPECT_EQ(again->Release(), 1u);
  void* out = kUntouched;
  EXPECT_EQ(inner->QueryInterface(IID_IClassFactory, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(inner->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(AggregateTest, LastReleaseOfTheAggregateDestroysTheHandlerAndUnlocks) {
  EXPECT_EQ(LockCount(), 2);
  EXPECT_EQ(std::exchange(inner, nullptr)->Release(), 0u);
  ASSERT_EQ(Destroyed(), 1);
  EXPECT_EQ(handlerLog.destructions[0].lockCount, 1);
  EXPECT_TRUE(handlerLog.destructions[0].rootLockReady);
  EXPECT_EQ(LockCount(), 1);
  EXPECT_EQ(outer.addRefs + outer.releases, 0);
}

// ---- Running out of memory while creating ----

enum class Creation { kFactory, kStandalone, kAggregate };

struct OutOfMemoryCase {
  const char* name;
  Creation creation;
  bool lockFails;  // otherwise the object's allocation fails
};

class OutOfMemoryTest : public ComServerTest,
                        public ::testing::WithParamInterface<OutOfMemoryCase> {};

TEST_P(OutOfMemoryTest, HalfBuiltObjectIsDestroyedAndTheLockCountRestored) {
  const OutOfMemoryCase& c = GetParam();
  Ref<IClassFactory> factory;
  CountingOuter outer;
  const bool factoryFails = c.creation == Creation::kFactory;
  if (!factoryFails) GetFactory(factory);
  const LONG before = LockCount();
  void* out = kUntouched;
  {
    std::optional<AllocationFault> allocation;
    std::optional<InjectedFault> lock;
    if (c.lockFails) {
      lock.emplace(FrameStep::kLockSetup);
    } else {
      allocation.emplace(0);
    }
    const HRESULT result = factoryFails
                               ? GetClassObject(classes, CLSID_TestHandler, IID_IClassFactory, &out)
                           : c.creation == Creation::kStandalone
                               ? factory->CreateInstance(nullptr, IID_ITestPrimary, &out)
                               : factory->CreateInstance(&outer, IID_IUnknown, &out);
    EXPECT_EQ(result, E_OUTOFMEMORY);
    EXPECT_TRUE(c.lockFails ? lock->fired() : allocation->count() == 1);
  }
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(LockCount(), before);
  EXPECT_EQ(Destroyed(), handlerLog.constructed);
  EXPECT_EQ(outer.addRefs + outer.releases, 0);
  if (c.lockFails && !factoryFails) {
    ASSERT_EQ(Destroyed(), 1);
    EXPECT_FALSE(handlerLog.destructions[0].rootLockReady);
    EXPECT_EQ(handlerLog.destructions[0].lockCount, before);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Creators, OutOfMemoryTest,
    ::testing::Values(OutOfMemoryCase{"FactoryAllocation", Creation::kFactory, false},
                      OutOfMemoryCase{"FactoryLock", Creation::kFactory, true},
                      OutOfMemoryCase{"StandaloneAllocation", Creation::kStandalone, false},
                      OutOfMemoryCase{"StandaloneLock", Creation::kStandalone, true},
                      OutOfMemoryCase{"AggregateAllocation", Creation::kAggregate, false},
                      OutOfMemoryCase{"AggregateLock", Creation::kAggregate, true}),
    [](const ::testing::TestParamInfo<OutOfMemoryCase>& info) {
      return std::string(info.param.name);
    });

// ---- The module records ----

using ModuleTest = ComServerTest;

TEST_F(ModuleTest, ModuleStartsTheClassesAndStopsThemBeforeItsTeardown) {
  EXPECT_EQ(handlerLog.startStops, std::vector<bool>{true});
  EXPECT_EQ(currentModule, &module);
  {
    ObjectMapEntry rows[2] = {MakeObjectMapEntry<TestHandler>(), MakeObjectMapEntry<TestHandler>()};
    ComModule otherClasses(nullptr, rows);
    CPivoraModule other(otherClasses);
    EXPECT_EQ(currentModule, &other);
    EXPECT_EQ(handlerLog.startStops, (std::vector<bool>{true, true, true}));
  }
  EXPECT_EQ(handlerLog.startStops, (std::vector<bool>{true, true, true, false, false}));
  EXPECT_EQ(currentModule, &module);
}

TEST_F(ModuleTest, LockThatCannotBeSetUpLeavesTheModuleUnset) {
  InitFailedRestorer restorer;
  initFailed = false;
  InjectedFault fault(FrameStep::kLockSetup);
  CPivoraModule broken(classes);
  EXPECT_TRUE(fault.fired());
  EXPECT_EQ(broken.size, 0u);
  EXPECT_FALSE(broken.staticDataLock.ready());
  EXPECT_TRUE(initFailed);
}

TEST_F(ModuleTest, LockAndUnlockReportTheirOwnCounts) {
  EXPECT_EQ(module.Lock(), 1);
  EXPECT_EQ(module.Lock(), 2);
  EXPECT_EQ(CanUnloadNow(), S_FALSE);
  EXPECT_EQ(module.Unlock(), 1);
  EXPECT_EQ(module.Unlock(), 0);
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

std::vector<int> termCalls;

void RecordTerm(void* argument) { termCalls.push_back(*static_cast<int*>(argument)); }

TEST_F(ModuleTest, TermRunsEachCallbackOnceInListOrder) {
  termCalls.clear();
  int first = 1;
  int second = 2;
  {
    CPivoraModule other(classes);
    other.termList = new TermFunctionElement{
        &RecordTerm, &first, new TermFunctionElement{&RecordTerm, &second, nullptr}};
    other.Term();
    EXPECT_EQ(other.termList, nullptr);
    EXPECT_EQ(other.size, 0u);
    EXPECT_FALSE(other.staticDataLock.ready());
  }
  EXPECT_EQ(termCalls, (std::vector<int>{1, 2}));
}

class RecordingRegistrar final : public IRegistrarBase {
 public:
  explicit RecordingRegistrar(HRESULT answer) : answer_(answer) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 0; }
  HRESULT STDMETHODCALLTYPE DefineReplacement(const char16_t* key, const char16_t* item) override {
    defined.emplace_back(key, item);
    return answer_;
  }

  std::vector<std::pair<std::u16string, std::u16string>> defined;

 private:
  HRESULT answer_;
};

TEST_F(ModuleTest, StandardReplacementIsTheAppIdAndItsResultComesBack) {
  RecordingRegistrar accepting(S_OK);
  EXPECT_EQ(currentModule->AddStandardReplacements(&accepting), S_OK);
  ASSERT_EQ(accepting.defined.size(), 1u);
  EXPECT_EQ(accepting.defined[0].first, u"APPID");
  EXPECT_EQ(accepting.defined[0].second, u"{6E1B9F34-C2A7-45D0-8B6E-7F3A210C94D5}");

  RecordingRegistrar refusing(E_OUTOFMEMORY);
  EXPECT_EQ(currentModule->AddStandardReplacements(&refusing), E_OUTOFMEMORY);
  EXPECT_EQ(refusing.defined.size(), 1u);
}

TEST_F(ModuleTest, GlobalInterfaceTableNeedsAnOutPointer) {
  EXPECT_EQ(module.GetGITPtr(nullptr), E_POINTER);
  EXPECT_EQ(module.globalInterfaceTable.load(), nullptr);
}

#ifdef _WIN32
TEST_F(ModuleTest, GlobalInterfaceTableIsCreatedOnceAndReleasedAtTeardown) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
  {
    CPivoraModule other(classes);
    Ref<IGlobalInterfaceTable> first;
    Ref<IGlobalInterfaceTable> second;
    ASSERT_EQ(other.GetGITPtr(reinterpret_cast<IGlobalInterfaceTable**>(first.put())), S_OK);
    ASSERT_EQ(other.GetGITPtr(reinterpret_cast<IGlobalInterfaceTable**>(second.put())), S_OK);
    EXPECT_EQ(first.get(), second.get());
    EXPECT_EQ(other.globalInterfaceTable.load(), first.get());
  }
  CoUninitialize();
}
#else
TEST_F(ModuleTest, GlobalInterfaceTableDoesNotExistNatively) {
  IGlobalInterfaceTable* table = reinterpret_cast<IGlobalInterfaceTable*>(kUntouched);
  EXPECT_EQ(module.GetGITPtr(&table), E_NOTIMPL);
  EXPECT_EQ(table, nullptr);
}
#endif

}  // namespace
}  // namespace pivora

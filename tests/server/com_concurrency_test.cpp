// The frame under several threads at once, as a shell with many windows drives it (the class is
// registered for any thread). Run natively under ThreadSanitizer as well; the handler counts
// with relaxed atomics only, so that the test adds no ordering that could hide a race in the
// frame.
#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>
#include <vector>

#include "server/com_frame.h"
#include "server/com_module.h"
#include "tests/server/test_handler.h"

namespace pivora {
namespace {

using testing::CountingOuter;
using testing::Ref;

struct IWorkValue : public IUnknown {
  virtual int STDMETHODCALLTYPE Value() = 0;
};

struct IWorkTwice : public IUnknown {
  virtual int STDMETHODCALLTYPE Twice(int number) = 0;
};

constexpr IID IID_IWorkValue = {
    0x2E8B41D7, 0x90A3, 0x4C5E, {0xB1, 0x6F, 0x3A, 0x74, 0x0D, 0xC2, 0x58, 0x19}};
constexpr IID IID_IWorkTwice = {
    0x2E8B41D8, 0x90A3, 0x4C5E, {0xB1, 0x6F, 0x3A, 0x74, 0x0D, 0xC2, 0x58, 0x19}};
constexpr CLSID CLSID_WorkHandler = {
    0x2E8B41E0, 0x90A3, 0x4C5E, {0xB1, 0x6F, 0x3A, 0x74, 0x0D, 0xC2, 0x58, 0x19}};

std::atomic<int> liveHandlers{0};
std::atomic<int> factoriesMade{0};

class WorkHandler
    : public testing::TwoInterfaceHandler<WorkHandler, CLSID_WorkHandler, IWorkValue,
                                          IID_IWorkValue, IWorkTwice, IID_IWorkTwice> {
 public:
  WorkHandler() noexcept { liveHandlers.fetch_add(1, std::memory_order_relaxed); }
  virtual ~WorkHandler() { liveHandlers.fetch_sub(1, std::memory_order_relaxed); }

  // Counts the factories of its class.
  static HRESULT CreateClassFactory(InstanceCreator creator, REFIID riid, void** ppv) {
    factoriesMade.fetch_add(1, std::memory_order_relaxed);
    return pivora::CreateClassFactory(creator, riid, ppv);
  }

  int STDMETHODCALLTYPE Value() override { return 7; }
  int STDMETHODCALLTYPE Twice(int number) override { return 2 * number; }
};

constexpr int kThreads = 8;

// Runs `body(index)` on kThreads threads that all start at the same moment.
template <class Body>
void RunTogether(Body body) {
  std::latch start(kThreads);
  std::vector<std::jthread> threads;
  for (int index = 0; index < kThreads; ++index) {
    threads.emplace_back([&start, &body, index] {
      start.arrive_and_wait();
      body(index);
    });
  }
}

class ConcurrencyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    liveHandlers = 0;
    factoriesMade = 0;
  }
};

TEST_F(ConcurrencyTest, ConcurrentFirstRequestsMakeExactlyOneFactory) {
  ComModule noClasses(nullptr, {});
  CPivoraModule module(noClasses);
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    factoriesMade = 0;
    ObjectMapEntry rows[1] = {MakeObjectMapEntry<WorkHandler>()};
    ComModule classes(nullptr, rows);
    IClassFactory* got[kThreads] = {};
    HRESULT results[kThreads] = {};
    RunTogether([&](int index) {
      results[index] = GetClassObject(classes, CLSID_WorkHandler, IID_IClassFactory,
                                      reinterpret_cast<void**>(&got[index]));
    });
    EXPECT_EQ(factoriesMade.load(), 1);
    EXPECT_EQ(module.GetLockCount(), 1);
    for (int index = 0; index < kThreads; ++index) {
      EXPECT_EQ(results[index], S_OK);
      EXPECT_EQ(static_cast<IUnknown*>(got[index]), rows[0].cachedFactory.load());
    }
    for (IClassFactory* factory : got) {
      if (factory != nullptr) factory->Release();
    }
    EXPECT_EQ(module.GetLockCount(), 0);
  }
}

TEST_F(ConcurrencyTest, ObjectsMadeAndDroppedOnManyThreadsLeaveTheLibraryUnloadable) {
  ObjectMapEntry rows[1] = {MakeObjectMapEntry<WorkHandler>()};
  ComModule classes(nullptr, rows);
  CPivoraModule module(classes);
  std::atomic<int> failures{0};
  const auto check = [&failures](bool good) {
    if (!good) failures.fetch_add(1, std::memory_order_relaxed);
  };

  RunTogether([&](int /*index*/) {
    for (int step = 0; step < 200; ++step) {
      Ref<IClassFactory> factory;
      check(GetClassObject(classes, CLSID_WorkHandler, IID_IClassFactory, factory.put()) == S_OK);
      if (factory.get() == nullptr) continue;

      Ref<IWorkTwice> twice;
      check(factory->CreateInstance(nullptr, IID_IWorkTwice, twice.put()) == S_OK);
      if (twice.get() == nullptr) continue;
      check(twice->Twice(step) == 2 * step);
      Ref<IWorkValue> value;
      check(twice->QueryInterface(IID_IWorkValue, value.put()) == S_OK);
      if (value.get() != nullptr) check(value->Value() == 7);

      factory->AddRef();
      check(factory->LockServer(TRUE) == S_OK);

      CountingOuter outer;  // used by this thread only, like a single-threaded client's
      Ref<IUnknown> inner;
      check(factory->CreateInstance(&outer, IID_IUnknown, inner.put()) == S_OK);
      if (inner.get() != nullptr) {
        outer.inner = inner.get();
        Ref<IWorkValue> contained;
        check(inner->QueryInterface(IID_IWorkValue, contained.put()) == S_OK);
        if (contained.get() != nullptr) check(contained->Value() == 7);
      }

      check(factory->LockServer(FALSE) == S_OK);
      factory->Release();
    }
  });

  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(factoriesMade.load(), 1);
  EXPECT_EQ(liveHandlers.load(), 0);
  EXPECT_EQ(module.GetLockCount(), 0);
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace pivora

// Writing a file whole, with every file call and every allocation made to fail in turn: the
// target holds the old content or the new one, whole, and nothing is left beside it. A call is
// failed once, twice or for good, through the retry policy a save runs with: one that clears
// (a scanner letting go) does not fail the save. Natively on the in-memory files, under Wine on
// real ones.
#include "core/whole_file.h"

#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/retrying_files.h"
#include "tests/support/seam_faults.h"
#include "tests/support/test_platform.h"

namespace pivora {
namespace {

using testing::CountingPause;
using testing::IsRetried;
using testing::Narrow;
using testing::TestPlatform;
using testing::WalkFaults;
using testing::WalkHeldFiles;

// How often a failed call fails again when it is tried again at once: every attempt the policy
// makes, for a file held for good.
constexpr int kHeldForGood = static_cast<int>(std::size(kRetryPausesMs));

const std::string kOld = "the old scheme, kept whole";
const std::string kNew = "the new scheme, " + std::string(3000, 'n');

std::string Names(TestPlatform& bed) {
  std::string names;
  for (const std::u16string& name : bed.FileNames()) names += Narrow(name) + " ";
  return names;
}

bool Save(FileSystem& faulty, std::u16string_view target) {
  CountingPause pause;
  RetryingFileSystem files(faulty, pause);
  return WriteFileWhole(files, target, kNew);
}

// An existing scheme, and a save of the new one over it that tells whether it saved.
struct Resave {
  std::u16string target;
  bool saved = false;
  std::function<void(TestPlatform&)> prepare = [this](TestPlatform& bed) {
    target = bed.PathOf(u"Saved.crs");
    bed.WriteFile(target, kOld);
  };
  std::function<void(TestPlatform&, FileSystem&)> run = [this](TestPlatform&, FileSystem& files) {
    saved = false;
    saved = Save(files, target);
  };
};

TEST(WholeFileTest, ReplacingAFileLeavesItOldOrNewAndNothingBesideIt) {
  Resave resave;
  const std::u16string& target = resave.target;
  const bool& saved = resave.saved;
  WalkFaults(resave.prepare, resave.run, [&](TestPlatform& bed, const std::string& what) {
    const std::optional<std::string> content = bed.ReadFile(target);
    ASSERT_TRUE(content) << what;
    EXPECT_EQ(*content, saved ? kNew : kOld) << what;
    EXPECT_EQ(Names(bed), "Saved.crs ") << what;
  });
}

TEST(WholeFileTest, ANewFileIsThereWholeOrNotAtAll) {
  std::u16string target;
  bool saved = false;
  WalkFaults([&](TestPlatform& bed) { target = bed.PathOf(u"New.crs"); },
             [&](TestPlatform&, FileSystem& files) {
               saved = false;
               saved = Save(files, target);
             },
             [&](TestPlatform& bed, const std::string& what) {
               EXPECT_EQ(bed.ReadFile(target), saved ? std::optional(kNew) : std::nullopt) << what;
               EXPECT_EQ(Names(bed), saved ? "New.crs " : "") << what;
             });
}

// A file call that fails `repeats` more times when tried again, as a held file does.
struct Held {
  const char* name;
  int repeats;
};

class WholeFileHeldTest : public ::testing::TestWithParam<Held> {};

// Held for a moment, a file saves as if it had not been held; held for good, the old content
// stays whole, and only a file of ours that cannot be deleted stays beside it.
TEST_P(WholeFileHeldTest, ReplacingWaitsForAFileHeldForAMoment) {
  const int repeats = GetParam().repeats;
  Resave resave;
  const std::u16string& target = resave.target;
  const bool& saved = resave.saved;
  WalkHeldFiles(
      resave.prepare, resave.run,
      [&](TestPlatform& bed, const std::string& what) {
        if (repeats < kHeldForGood && IsRetried(what)) {
          EXPECT_TRUE(saved) << what;
        }
        EXPECT_EQ(bed.ReadFile(target), saved ? kNew : kOld) << what;
        const bool undeletable = what.ends_with("(Delete)");
        if (repeats < kHeldForGood || !undeletable) {
          EXPECT_EQ(Names(bed), "Saved.crs ") << what;
        }
      },
      repeats);
}

INSTANTIATE_TEST_SUITE_P(Holds, WholeFileHeldTest,
                         ::testing::Values(Held{"Once", 0}, Held{"Twice", 1},
                                           Held{"ForGood", kHeldForGood}),
                         [](const auto& info) { return std::string(info.param.name); });

// Another program reads the file and shares only reading: it cannot be replaced, and nothing is
// made beside it on the way to finding that out.
TEST(WholeFileTest, AFileHeldForReadingStaysAsItWasWithNothingBesideIt) {
  TestPlatform bed;
  const std::u16string target = bed.PathOf(u"Held.crs");
  bed.WriteFile(target, kOld);
  {
    const auto held = bed.HoldOpenForReading(target);
    EXPECT_FALSE(WriteFileWhole(bed.files(), target, kNew));
  }
  EXPECT_EQ(bed.ReadFile(target), kOld);
  EXPECT_EQ(Names(bed), "Held.crs ");
}

// A pause that lets the holder go, as a scanner does, once it has been waited for `after` times.
class ReleasingPause final : public RetryPause {
 public:
  ReleasingPause(std::shared_ptr<void>& held, int after) : held_(held), after_(after) {}
  void Wait(std::uint32_t milliseconds) override {
    waited += milliseconds;
    if (++waits == after_) held_.reset();
  }
  int waits = 0;
  std::uint32_t waited = 0;

 private:
  std::shared_ptr<void>& held_;
  int after_;
};

// Another program holds the file a moment, then lets go: the save waits for it, a bounded time.
// Held longer than the policy waits, it fails as without waiting, with the code of a file in use.
TEST(WholeFileTest, ASaveWaitsBrieflyForAFileHeldForReading) {
  for (const int release : {1, 2, 4}) {
    TestPlatform bed;
    const std::u16string target = bed.PathOf(u"Held.crs");
    bed.WriteFile(target, kOld);
    std::shared_ptr<void> held = bed.HoldOpenForReading(target);
    ReleasingPause pause(held, release);
    RetryingFileSystem files(bed.files(), pause);
    Status failure = status::kSuccess;
    const bool saved = WriteFileWhole(files, target, kNew, failure);
    const bool clears = release <= kHeldForGood;
    EXPECT_EQ(saved, clears) << release;
    EXPECT_EQ(failure, clears ? status::kSuccess : status::kSharingViolation) << release;
    EXPECT_EQ(bed.ReadFile(target), clears ? kNew : kOld) << release;
    held.reset();
    EXPECT_EQ(Names(bed), "Held.crs ") << release;
    EXPECT_LE(pause.waited, 150u) << release;
  }
}

}  // namespace
}  // namespace pivora

// The retry policy of a person's acts: which calls and codes are tried again, how often, and
// that one act's waiting is bounded. Natively on the in-memory files, under Wine on real ones;
// the failures come from the seam, the calls that clear reach the real file system.
#include "platform/retrying_files.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "tests/support/seam_faults.h"
#include "tests/support/test_platform.h"

namespace pivora {
namespace {

using testing::CountingPause;
using testing::FaultyFiles;
using testing::TestPlatform;

// Makes `call` on files prepared in `bed`: a.cur and b.cur, and an empty folder F.
Status Make(std::string_view call, FileSystem& files, TestPlatform& bed) {
  const std::u16string a = bed.PathOf(u"a.cur");
  const std::u16string b = bed.PathOf(u"b.cur");
  if (call == "Move") return files.Move(a, bed.PathOf(u"c.cur"), false);
  if (call == "Copy") return files.Copy(a, bed.PathOf(u"c.cur"));
  if (call == "Delete") return files.Delete(a);
  if (call == "Replace") return files.Replace(b, a, bed.PathOf(u"b.bak"));
  if (call == "RemoveFolder") return files.RemoveFolder(bed.PathOf(u"F"));
  OpenFile file(files);
  if (call == "OpenForReading") return files.OpenForReading(a, file.put());
  EXPECT_EQ(files.CreateNew(bed.PathOf(u"w.cur"), file.put()), status::kSuccess);
  std::uint32_t written = 0;
  return files.Write(file.get(), "x", 1, written);
}

struct Case {
  const char* name;
  const char* call;
  Status code;
  int failures;  // the calls that fail before the file system answers
  int attempts;  // the calls made
  bool succeeds;
};

class RetryingFilesTest : public ::testing::TestWithParam<Case> {};

TEST_P(RetryingFilesTest, TriesAgainOnlyWhatFailedWithoutChangingAnything) {
  const Case& c = GetParam();
  TestPlatform bed;
  bed.WriteFile(bed.PathOf(u"a.cur"), "a");
  bed.WriteFile(bed.PathOf(u"b.cur"), "b");
  bed.MakeFolder(bed.PathOf(u"F"));
  FaultyFiles faulty(bed.files());
  int attempts = 0;
  faulty.fault = [&](std::string_view call) {
    if (call != c.call) return status::kSuccess;
    return attempts++ < c.failures ? c.code : status::kSuccess;
  };
  CountingPause pause;
  RetryingFileSystem files(faulty, pause);
  const Status result = Make(c.call, files, bed);
  EXPECT_EQ(result, c.succeeds ? status::kSuccess : c.code);
  EXPECT_EQ(attempts, c.attempts);
  EXPECT_EQ(pause.waits, c.attempts - 1);
  EXPECT_EQ(faulty.openHandles, 0);
}

constexpr Status kLockViolation = status::kLockViolation;
constexpr Status kFileExists = status::kFileExists;

INSTANTIATE_TEST_SUITE_P(
    Calls, RetryingFilesTest,
    ::testing::Values(
        Case{"MoveHeldTwice", "Move", status::kSharingViolation, 2, 3, true},
        Case{"CopyOfALockedFile", "Copy", kLockViolation, 1, 2, true},
        Case{"OpenHeldThrice", "OpenForReading", status::kSharingViolation, 3, 4, true},
        Case{"DeleteHeldForGood", "Delete", status::kAccessDenied, 99, 4, false},
        // ReplaceFileW's documentation: nothing moved; the same call again.
        Case{"ReplaceOfAHeldFile", "Replace", status::kUnableToRemoveReplaced, 1, 2, true},
        // Something moved: the caller mends it, never a second replace.
        Case{"ReplaceThatMovedNothingIn", "Replace", status::kUnableToMoveReplacement, 1, 1, false},
        Case{"ReplaceThatMovedTheOldAway", "Replace", status::kUnableToMoveReplacement2, 1, 1,
             false},
        Case{"CopyOntoATakenName", "Copy", kFileExists, 1, 1, false},
        Case{"FolderWithAFileDeletePending", "RemoveFolder", status::kDirectoryNotEmpty, 1, 2,
             true},
        Case{"MoveOntoAFolderNotEmpty", "Move", status::kDirectoryNotEmpty, 1, 1, false},
        // A write may have written part: never made twice.
        Case{"WriteToALockedRange", "Write", kLockViolation, 1, 1, false}),
    [](const auto& info) { return std::string(info.param.name); });

// Files held for good cost one call's pauses each until the act has paused its budget; after
// that every call is made once, so an act over many read-only files still ends at once.
TEST(RetryingFilesBudgetTest, AnActWaitsABoundedTimeInAll) {
  TestPlatform bed;
  FaultyFiles faulty(bed.files());
  int attempts = 0;
  faulty.fault = [&](std::string_view) {
    ++attempts;
    return status::kAccessDenied;
  };
  CountingPause pause;
  RetryingFileSystem files(faulty, pause);
  std::vector<int> made;
  for (const char16_t* name : {u"1.cur", u"2.cur", u"3.cur", u"4.cur"}) {
    attempts = 0;
    EXPECT_EQ(files.Delete(bed.PathOf(name)), status::kAccessDenied);
    made.push_back(attempts);
  }
  EXPECT_EQ(made, (std::vector<int>{4, 4, 1, 1}));
  EXPECT_EQ(pause.waited, 300u);
}

}  // namespace
}  // namespace pivora

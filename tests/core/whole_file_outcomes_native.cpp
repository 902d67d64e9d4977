// Each way the platform's replace is documented to end, on the in-memory files that can make it
// end that way: the save succeeds only with the new content under the target's name, a failed
// one leaves the old content there, and nothing is left beside it either way.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/whole_file.h"
#include "platform/memory_files.h"
#include "tests/platform/table_cases.h"

namespace pivora {
namespace {

using testing::CaseName;
using testing::PrintTo;

constexpr std::u16string_view kFolder = u"C:\\Schemes";
constexpr std::u16string_view kTarget = u"C:\\Schemes\\Saved.crs";

struct Outcome {
  const char* name;
  std::function<void(MemoryFileSystem&)> arrange;
  bool saved;
};

class WholeFileOutcomeTest : public ::testing::TestWithParam<Outcome> {};

TEST_P(WholeFileOutcomeTest, EndsWithOneWholeFileUnderTheTargetsName) {
  MemoryFileSystem files;
  files.MakeFolder(kFolder);
  files.Put(kTarget, "old");
  GetParam().arrange(files);

  EXPECT_EQ(WriteFileWhole(files, kTarget, "new"), GetParam().saved);
  EXPECT_EQ(files.Get(kTarget), GetParam().saved ? "new" : "old");
  EXPECT_EQ(files.NamesIn(kFolder), std::vector<std::u16string>{u"Saved.crs"});
  EXPECT_EQ(files.OpenHandleCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    , WholeFileOutcomeTest,
    ::testing::Values(
        Outcome{"Replaced", [](MemoryFileSystem&) {}, true},
        Outcome{"OldFileNotRemoved",
                [](MemoryFileSystem& f) { f.FailNextReplace(status::kUnableToRemoveReplaced); },
                false},
        Outcome{"NewFileNotRenamedMovesInItself",
                [](MemoryFileSystem& f) { f.FailNextReplace(status::kUnableToMoveReplacement); },
                true},
        Outcome{"OldFileMovedAsideComesBack",
                [](MemoryFileSystem& f) { f.FailNextReplace(status::kUnableToMoveReplacement2); },
                false},
        Outcome{"AccessDenied",
                [](MemoryFileSystem& f) { f.FailNextReplace(status::kAccessDenied); }, false},
        Outcome{"SharingViolation",
                [](MemoryFileSystem& f) { f.FailNextReplace(status::kSharingViolation); }, false},
        Outcome{"DiskFullOnWrite", [](MemoryFileSystem& f) { f.LimitSpace(2); }, false},
        Outcome{"HeldForReading", [](MemoryFileSystem& f) { f.BeginReading(kTarget); }, false}),
    CaseName<Outcome>);

}  // namespace
}  // namespace pivora

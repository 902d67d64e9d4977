// Writing a file whole, with every file call and every allocation made to fail in turn: the
// target holds the old content or the new one, whole, and nothing is left beside it. Natively on
// the in-memory files, under Wine on real ones.
#include "core/whole_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/seam_faults.h"
#include "tests/support/test_platform.h"

namespace pivora {
namespace {

using testing::Narrow;
using testing::TestPlatform;
using testing::WalkFaults;

const std::string kOld = "the old scheme, kept whole";
const std::string kNew = "the new scheme, " + std::string(3000, 'n');

std::string Names(TestPlatform& bed) {
  std::string names;
  for (const std::u16string& name : bed.FileNames()) names += Narrow(name) + " ";
  return names;
}

TEST(WholeFileTest, ReplacingAFileLeavesItOldOrNewAndNothingBesideIt) {
  std::u16string target;
  bool saved = false;
  WalkFaults(
      [&](TestPlatform& bed) {
        target = bed.PathOf(u"Saved.crs");
        bed.WriteFile(target, kOld);
      },
      [&](TestPlatform&, FileSystem& files) {
        saved = false;
        saved = WriteFileWhole(files, target, kNew);
      },
      [&](TestPlatform& bed, const std::string& what) {
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
               saved = WriteFileWhole(files, target, kNew);
             },
             [&](TestPlatform& bed, const std::string& what) {
               EXPECT_EQ(bed.ReadFile(target), saved ? std::optional(kNew) : std::nullopt) << what;
               EXPECT_EQ(Names(bed), saved ? "New.crs " : "") << what;
             });
}

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

}  // namespace
}  // namespace pivora

// Which paths a preview may touch: only a full path on a drive of this machine that names no
// device; every form that reaches another machine, a device or a current folder is elsewhere;
// and on the way to the file, no link and no placeholder whose data is elsewhere.
#include "platform/path_reach.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>

#include "platform/memory_files.h"
#include "tests/platform/table_cases.h"
#include "tests/support/seam_faults.h"

namespace pivora {
namespace {

using testing::CaseName;
using testing::PrintTo;
using namespace std::string_literals;

struct ReachCase {
  const char* name;
  std::u16string path;
  PathReach expected;
};

class PreviewReachTest : public ::testing::TestWithParam<ReachCase> {
 protected:
  PreviewReachTest() {
    files.SetDriveType(u'Z', DriveType::kRemote);
    files.SetDriveType(u'Q', DriveType::kNoRootDir);
    files.SetDriveType(u'U', DriveType::kUnknown);
    files.SetDriveType(u'E', DriveType::kRemovable);
  }
  MemoryFileSystem files;
};

TEST_P(PreviewReachTest, DecidesFromTheTextAndTheDriveKind) {
  DriveTypes drives(files);
  EXPECT_EQ(PreviewReach(GetParam().path, drives), GetParam().expected);
}

constexpr PathReach kHere = PathReach::kHere;
constexpr PathReach kElsewhere = PathReach::kElsewhere;

INSTANTIATE_TEST_SUITE_P(
    Here, PreviewReachTest,
    ::testing::Values(ReachCase{"FixedDrive", u"C:\\Cursors\\arrow.cur", kHere},
                      ReachCase{"LowerCaseLetter", u"c:\\arrow.cur", kHere},
                      ReachCase{"ForwardSlashes", u"C:/Cursors/arrow.cur", kHere},
                      ReachCase{"RemovableDrive", u"E:\\arrow.cur", kHere},
                      ReachCase{"DeviceLikeButLonger", u"C:\\CONSOLE\\COM10\\LPT.cur", kHere},
                      ReachCase{"DeviceInTheMiddleOfAName", u"C:\\my CON.cur", kHere},
                      ReachCase{"DotSegments", u"C:\\a\\..\\.\\arrow.cur", kHere}),
    CaseName<ReachCase>);

INSTANTIATE_TEST_SUITE_P(
    AnotherMachine, PreviewReachTest,
    ::testing::Values(ReachCase{"Unc", u"\\\\host\\share\\x.cur", kElsewhere},
                      ReachCase{"LongUnc", u"\\\\?\\UNC\\host\\share\\x.cur", kElsewhere},
                      ReachCase{"DeviceNamespaceUnc", u"\\\\.\\UNC\\host\\share\\x.cur",
                                kElsewhere},
                      ReachCase{"WebFolder", u"\\\\host@SSL\\DavWWWRoot\\x.cur", kElsewhere},
                      ReachCase{"LongLocalForm", u"\\\\?\\C:\\x.cur", kElsewhere},
                      ReachCase{"GlobalRoot", u"\\\\?\\GLOBALROOT\\Device\\x", kElsewhere},
                      ReachCase{"Pipe", u"\\\\.\\pipe\\x", kElsewhere},
                      ReachCase{"MixedSlashes", u"/\\host/share/x.cur", kElsewhere},
                      ReachCase{"ForwardSlashUnc", u"//host/share/x.cur", kElsewhere},
                      ReachCase{"RemoteDrive", u"Z:\\x.cur", kElsewhere},
                      ReachCase{"NoSuchDrive", u"Q:\\x.cur", kElsewhere},
                      ReachCase{"UnknownDrive", u"U:\\x.cur", kElsewhere}),
    CaseName<ReachCase>);

INSTANTIATE_TEST_SUITE_P(NoFullPath, PreviewReachTest,
                         ::testing::Values(ReachCase{"DriveRelative", u"C:x.cur", kElsewhere},
                                           ReachCase{"DriveAlone", u"C:", kElsewhere},
                                           ReachCase{"Rooted", u"\\x.cur", kElsewhere},
                                           ReachCase{"Relative", u"x.cur", kElsewhere},
                                           ReachCase{"Empty", u"", kElsewhere},
                                           ReachCase{"NotALetter", u"1:\\x.cur", kElsewhere},
                                           ReachCase{"ZeroUnit", u"C:\\a.cur\0\\\\host\\s"s,
                                                     kElsewhere}),
                         CaseName<ReachCase>);

INSTANTIATE_TEST_SUITE_P(
    Devices, PreviewReachTest,
    ::testing::Values(ReachCase{"Con", u"C:\\CON", kElsewhere},
                      ReachCase{"NulWithExtension", u"C:\\x\\nul.cur", kElsewhere},
                      ReachCase{"ConsoleInput", u"C:\\CONIN$", kElsewhere},
                      ReachCase{"ConsoleOutputWithStream", u"C:\\conout$:x", kElsewhere},
                      ReachCase{"DeviceFolder", u"C:\\AUX\\x.cur", kElsewhere},
                      ReachCase{"TrailingDotsAndSpaces", u"C:\\PRN. . .", kElsewhere},
                      ReachCase{"SpaceBeforeExtension", u"C:\\CON .x", kElsewhere},
                      ReachCase{"ComZero", u"C:\\COM0", kElsewhere},
                      ReachCase{"LptNine", u"C:\\lpt9.ani", kElsewhere},
                      ReachCase{"SuperscriptDigit", u"C:\\COM\u00B9.cur", kElsewhere},
                      ReachCase{"ForwardSlashDevice", u"C:/NUL", kElsewhere}),
    CaseName<ReachCase>);

TEST(DataIsElsewhere, OfflineAndRecalledFilesOnly) {
  EXPECT_FALSE(DataIsElsewhere(file_attribute::kNormal));
  EXPECT_FALSE(DataIsElsewhere(0x20 | 0x400));  // archive, reparse point
  EXPECT_TRUE(DataIsElsewhere(0x20 | file_attribute::kOffline));
  EXPECT_TRUE(DataIsElsewhere(file_attribute::kRecallOnOpen));
  EXPECT_TRUE(DataIsElsewhere(0x400 | file_attribute::kRecallOnDataAccess));
}

struct EntryCase {
  const char* name;
  std::u16string path;
  EntryReach expected;
};

// Links and placeholders as the system shows them: a link's own attributes carry the reparse
// point, its tag tells its kind, and every path through it reaches its target.
class PathEntriesTest : public ::testing::TestWithParam<EntryCase> {
 protected:
  PathEntriesTest() {
    files.Put(u"C:\\real\\x.cur", "x");
    files.Put(u"\\\\host\\share\\x.cur", "x");
    files.MakeLink(u"C:\\share", u"\\\\host\\share", reparse_tag::kSymbolicLink, true);
    files.MakeLink(u"C:\\junction", u"C:\\real", reparse_tag::kMountPoint, true);
    files.MakeLink(u"C:\\real\\link.cur", u"\\\\host\\share\\x.cur", reparse_tag::kSymbolicLink,
                   false);
    files.MakeLink(u"C:\\real\\unix", u"C:\\real", 0xA000001D, true);  // another name surrogate
    files.MakeLink(u"C:\\real\\tagless", u"\\\\host\\share", 0, true);
    for (const auto& [name, tag, attributes] :
         {std::tuple{u"synced.cur", 0x9000001Au, 0x20u},
          std::tuple{u"online.cur", 0x9000001Au, 0x20u | file_attribute::kRecallOnDataAccess},
          std::tuple{u"deduplicated.cur", 0x80000013u, 0x20u}}) {
      const std::u16string path = u"C:\\real\\" + std::u16string(name);
      files.Put(path, "x");
      files.SetAttributes(path, attributes);
      files.SetReparseTag(path, tag);
    }
  }
  MemoryFileSystem files;
};

TEST_P(PathEntriesTest, FollowsNoLinkAndFetchesNoData) {
  PathEntries entries(files);
  EXPECT_EQ(entries.Of(GetParam().path), GetParam().expected);
}

constexpr EntryReach kFileHere = EntryReach::kHere;
constexpr EntryReach kLeadsElsewhere = EntryReach::kElsewhere;
constexpr EntryReach kNoFile = EntryReach::kMissing;

INSTANTIATE_TEST_SUITE_P(
    Entries, PathEntriesTest,
    ::testing::Values(
        EntryCase{"PlainFile", u"C:\\real\\x.cur", kFileHere},
        EntryCase{"SymbolicLinkToAShare", u"C:\\share\\x.cur", kLeadsElsewhere},
        EntryCase{"FolderBelowALink", u"C:\\share\\sub\\x.cur", kLeadsElsewhere},
        EntryCase{"Junction", u"C:\\junction\\x.cur", kLeadsElsewhere},
        EntryCase{"LinkedFile", u"C:\\real\\link.cur", kLeadsElsewhere},
        EntryCase{"OtherNameSurrogate", u"C:\\real\\unix\\x.cur", kLeadsElsewhere},
        EntryCase{"ReparsePointWithoutTag", u"C:\\real\\tagless\\x.cur", kLeadsElsewhere},
        EntryCase{"DownloadedCloudFile", u"C:\\real\\synced.cur", kFileHere},
        EntryCase{"CloudFileNotDownloaded", u"C:\\real\\online.cur", kLeadsElsewhere},
        EntryCase{"DeduplicatedFile", u"C:\\real\\deduplicated.cur", kFileHere},
        EntryCase{"LinkLeftByDotDot", u"C:\\share\\..\\real\\x.cur", kFileHere},
        EntryCase{"LinkReachedByDotDot", u"C:\\real\\..\\share\\x.cur", kLeadsElsewhere},
        EntryCase{"SlashesDotsAndTrailingDots", u"C:/real//./x.cur. .", kFileHere},
        EntryCase{"FolderNameEndingInADot", u"C:\\real.\\x.cur", kLeadsElsewhere},
        EntryCase{"NoSuchFolder", u"C:\\none\\x.cur", kNoFile},
        EntryCase{"AFolder", u"C:\\real", kNoFile},
        EntryCase{"AFileAsAFolder", u"C:\\real\\x.cur\\y.cur", kNoFile},
        EntryCase{"Root", u"C:\\..", kNoFile}),
    CaseName<EntryCase>);

// One preview asks each folder once, and nothing past a link.
TEST(PathEntries, AsksEachFolderOnceAndNothingPastALink) {
  MemoryFileSystem memory;
  for (const char16_t* path : {u"C:\\a\\b\\1.cur", u"C:\\a\\b\\2.cur", u"C:\\a\\3.cur"}) {
    memory.Put(path, "x");
  }
  memory.MakeLink(u"C:\\a\\link", u"\\\\host\\share", reparse_tag::kSymbolicLink, true);
  testing::FaultyFiles files(memory);
  std::map<std::string, int> calls;
  files.fault = [&](std::string_view call) {
    ++calls[std::string(call)];
    return status::kSuccess;
  };
  PathEntries entries(files);
  for (const char16_t* path : {u"C:\\a\\b\\1.cur", u"C:\\a\\b\\2.cur", u"C:\\A\\3.cur"}) {
    EXPECT_EQ(entries.Of(path), EntryReach::kHere);
  }
  EXPECT_EQ(calls["Attributes"], 2 + 3);
  calls.clear();
  EXPECT_EQ(entries.Of(u"C:\\a\\link\\x\\y.cur"), EntryReach::kElsewhere);
  EXPECT_EQ(entries.Of(u"C:\\a\\link\\z.cur"), EntryReach::kElsewhere);
  EXPECT_EQ(calls["Attributes"], 1);
  EXPECT_EQ(calls["ReparseTag"], 1);
}

}  // namespace
}  // namespace pivora

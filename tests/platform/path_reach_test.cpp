// Which paths a preview may touch: only a full path on a drive of this machine that names no
// device; every form that reaches another machine, a device or a current folder is elsewhere.
#include "platform/path_reach.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/memory_files.h"
#include "tests/platform/table_cases.h"

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

}  // namespace
}  // namespace pivora

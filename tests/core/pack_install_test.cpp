// Installing a cursor pack, with every file and registry call and every allocation made to fail
// in turn: each pointer setting is as it was or as the pack says, the pack's folder is the old
// one whole or the new one whole, and nothing of ours is left beside it. Natively on the
// in-memory files, under Wine on real ones.
#include "core/pack_install.h"

#include "core/cursor_pack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <numeric>
#include <string>
#include <vector>

#include "core/pointer_roles.h"
#include "core/pointer_settings.h"
#include "platform/retrying_files.h"
#include "tests/support/forwarding_paths.h"
#include "tests/support/seam_faults.h"
#include "tests/support/test_platform.h"

namespace pivora {
namespace {

using testing::Narrow;
using testing::TestPlatform;
using testing::WalkFaults;
using namespace std::string_literals;

constexpr std::size_t kArrow = 0, kHelp = 1, kWait = 3, kHand = 14;

const std::string kInf =
    "[DefaultInstall]\r\nAddReg=Scheme.Reg\r\n[Scheme.Reg]\r\n"
    "HKCU,\"Control Panel\\Cursors\\Schemes\",\"%NAME%\",,\"%10%\\X\\arrow.cur,%10%\\X\\help.cur,,"
    "%10%\\X\\missing.ani\"\r\n"
    "HKCU,\"Control Panel\\Cursors\",Hand,,\"%10%\\X\\ARROW.CUR\"\r\n"
    "[Strings]\r\nNAME=\"Blue: Pack\"\r\n";

struct Bed {
  std::u16string inf;
  std::u16string folder;  // where the pack goes: the scheme's name made a folder name
};

Bed MakePack(TestPlatform& bed) {
  bed.MakeFolder(bed.PathOf(u"Download"));
  bed.WriteFile(bed.PathOf(u"Download\\arrow.cur"), "new arrow");
  bed.WriteFile(bed.PathOf(u"Download\\Help.cur"), "new help");
  bed.WriteFile(bed.PathOf(u"Download\\install.inf"), kInf);
  bed.Store(u"Arrow", u"C:\\old\\arrow.cur");
  bed.Store(u"Hand", u"C:\\old\\hand.cur");
  return {bed.PathOf(u"Download\\install.inf"), bed.PathOf(u"Local\\Pivora\\Cursors\\Blue_ Pack")};
}

std::u16string StoredText(TestPlatform& bed, std::u16string_view role) {
  const std::optional<testing::StoredValue> stored = bed.Stored(role);
  if (!stored) return u"<absent>";
  std::u16string text = stored->text;
  if (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

TEST(PackInstallTest, InstallsCopiesWritesTheSchemeAndAppliesIt) {
  TestPlatform bed;
  const Bed pack = MakePack(bed);
  const std::optional<PackSource> read = ReadPackInf(bed.files(), pack.inf);
  ASSERT_TRUE(read);
  const PackInstallation done = InstallCursorPack(*read, bed.Seams());

  EXPECT_TRUE(done.installed);
  EXPECT_EQ(done.folder, pack.folder);
  EXPECT_EQ(done.rolesKept, std::vector<std::size_t>{kWait});
  EXPECT_EQ(bed.ReadFile(pack.folder + u"\\arrow.cur"), "new arrow");
  EXPECT_EQ(bed.ReadFile(pack.folder + u"\\help.cur"), "new help");
  EXPECT_EQ(bed.ReadFile(pack.folder + u"\\Blue_ Pack.crs"),
            "\xEF\xBB\xBF[Arrow]\r\nPath=arrow.cur\r\n\r\n[Help]\r\nPath=help.cur\r\n\r\n"
            "[AppStarting]\r\nPath=\r\n\r\n[Hand]\r\nPath=ARROW.CUR\r\n\r\n" +
                std::string(1, '\0'));
  EXPECT_EQ(StoredText(bed, u"Arrow"), pack.folder + u"\\arrow.cur");
  EXPECT_EQ(StoredText(bed, u"Hand"), pack.folder + u"\\ARROW.CUR");
  EXPECT_EQ(StoredText(bed, u"AppStarting"), u"<absent>");
  EXPECT_EQ(bed.reloader().count, 1);
}

TEST(PackInstallTest, TheSamePackReplacesItsFolderAndAnotherGetsOneOfItsOwn) {
  TestPlatform bed;
  const Bed pack = MakePack(bed);
  const PackSource read = *ReadPackInf(bed.files(), pack.inf);
  ASSERT_TRUE(InstallCursorPack(read, bed.Seams()).installed);
  bed.WriteFile(bed.PathOf(u"Download\\arrow.cur"), "newer arrow");
  EXPECT_EQ(InstallCursorPack(read, bed.Seams()).folder, pack.folder);
  EXPECT_EQ(bed.ReadFile(pack.folder + u"\\arrow.cur"), "newer arrow");

  bed.MakeFolder(bed.PathOf(u"Other"));
  bed.WriteFile(bed.PathOf(u"Other\\arrow.cur"), "other arrow");
  bed.WriteFile(bed.PathOf(u"Other\\install.inf"), kInf);
  const PackInstallation other =
      InstallCursorPack(*ReadPackInf(bed.files(), bed.PathOf(u"Other\\install.inf")), bed.Seams());
  EXPECT_EQ(other.folder, pack.folder + u" (2)");
  EXPECT_EQ(bed.ReadFile(pack.folder + u"\\arrow.cur"), "newer arrow");
}

TEST(PackInstallTest, AReinstallReplacesOnlyWhatTheLastOneWrote) {
  TestPlatform bed;
  const Bed pack = MakePack(bed);
  const PackSource read = *ReadPackInf(bed.files(), pack.inf);
  ASSERT_TRUE(InstallCursorPack(read, bed.Seams()).installed);
  // The user saves a scheme of their own there, and keeps a folder of theirs beside it.
  bed.WriteFile(pack.folder + u"\\Mine.crs", "mine");
  bed.WriteFile(pack.folder + u"\\Blue_ Pack (2).crs", "mine too");
  bed.MakeFolder(pack.folder + u"\\Sub");
  bed.WriteFile(pack.folder + u"\\Sub\\x.cur", "theirs");
  bed.WriteFile(bed.PathOf(u"Download\\arrow.cur"), "newer arrow");
  ASSERT_TRUE(InstallCursorPack(read, bed.Seams()).installed);

  EXPECT_EQ(bed.ReadFile(pack.folder + u"\\arrow.cur"), "newer arrow");
  EXPECT_EQ(bed.ReadFile(pack.folder + u"\\Mine.crs"), "mine");
  EXPECT_EQ(bed.ReadFile(pack.folder + u"\\Blue_ Pack (2).crs"), "mine too");
  EXPECT_EQ(bed.ReadFile(pack.folder + u"\\Sub\\x.cur"), "theirs");
  EXPECT_TRUE(bed.ReadFile(pack.folder + u"\\Blue_ Pack.crs"));
  for (const std::u16string_view aside : {u".~1", u".~2", u".~3", u".~old1"}) {
    EXPECT_FALSE(bed.files().Exists(pack.folder + std::u16string(aside))) << Narrow(aside);
  }
}

// A name with '%' is stored without it, a name no file can have costs its role alone, and no
// role ever names a path outside the pack's folder.
TEST(PackInstallTest, EveryRoleNamesAFileInsideThePacksFolder) {
  TestPlatform bed;
  bed.MakeFolder(bed.PathOf(u"Download"));
  bed.WriteFile(bed.PathOf(u"Download\\100%.cur"), "percent");
  bed.WriteFile(bed.PathOf(u"Download\\100_.cur"), "underscore");
  bed.WriteFile(bed.PathOf(u"Download\\%ComSpec%"), "not a shell");
  bed.WriteFile(bed.PathOf(u"Download\\hand.cur"), "hand");
  const std::u16string inf = bed.PathOf(u"Download\\install.inf");
  bed.WriteFile(inf,
                "[DefaultInstall]\r\nAddReg=R\r\n[R]\r\n"
                "HKCU,\"Control Panel\\Cursors\\Schemes\",\"CON .x\",,\"100%%.cur,100_.cur,"
                "%%ComSpec%%,NUL,COM1.cur,..,x\\..,hand.cur. .\"\r\n");
  const std::optional<PackSource> read = ReadPackInf(bed.files(), inf);
  ASSERT_TRUE(read);
  const PackInstallation done = InstallCursorPack(*read, bed.Seams());
  ASSERT_TRUE(done.installed);
  // The scheme's name is a device's: the folder is named after the INF's.
  const std::u16string folder = bed.PathOf(u"Local\\Pivora\\Cursors\\Download");
  EXPECT_EQ(done.folder, folder);
  EXPECT_EQ(done.rolesKept, (std::vector<std::size_t>{3, 4, 5, 6}));
  EXPECT_EQ(StoredText(bed, u"Arrow"), folder + u"\\100_.cur");
  EXPECT_EQ(bed.ReadFile(folder + u"\\100_.cur"), "percent");
  EXPECT_EQ(StoredText(bed, u"Help"), folder + u"\\100_ (2).cur");
  EXPECT_EQ(bed.ReadFile(folder + u"\\100_ (2).cur"), "underscore");
  EXPECT_EQ(StoredText(bed, u"AppStarting"), folder + u"\\_ComSpec_");
  EXPECT_EQ(StoredText(bed, u"No"), folder + u"\\hand.cur");
  for (const PointerRole& role : PointerRoles) {
    const std::u16string stored = StoredText(bed, role.valueName);
    EXPECT_TRUE(stored == u"<absent>" || stored.starts_with(folder + u"\\"))
        << Narrow(role.valueName) << ": " << Narrow(stored);
  }
}

TEST(PackInstallTest, APackWithoutAnyOfItsFilesInstallsNothing) {
  TestPlatform bed;
  bed.MakeFolder(bed.PathOf(u"Download"));
  const std::u16string inf = bed.PathOf(u"Download\\install.inf");
  bed.WriteFile(inf, kInf);
  bed.Store(u"Arrow", u"C:\\old\\arrow.cur");
  const PackInstallation done = InstallCursorPack(*ReadPackInf(bed.files(), inf), bed.Seams());
  EXPECT_FALSE(done.installed);
  EXPECT_TRUE(done.noPointerFiles);
  EXPECT_FALSE(bed.files().Exists(bed.PathOf(u"Local\\Pivora")));
  EXPECT_EQ(StoredText(bed, u"Arrow"), u"C:\\old\\arrow.cur");
  EXPECT_EQ(bed.reloader().count, 0);
}

std::u16string ListEntry(TestPlatform& bed, std::u16string_view name) {
  const std::optional<testing::StoredValue> stored = bed.Stored(name, u"Schemes");
  return stored ? stored->text.substr(0, stored->text.find(u'\0')) : u"<absent>";
}

void StoreListEntry(TestPlatform& bed, std::u16string_view name, std::u16string_view paths) {
  CPointerSettings store(bed.registry(), bed.reloader());
  ASSERT_TRUE(store.OpenForWriting());
  ASSERT_TRUE(store.WriteSchemeListEntry(name, paths));
}

std::optional<std::uint32_t> SchemeSource(TestPlatform& bed) {
  const std::optional<testing::StoredValue> stored = bed.Stored(u"Scheme Source");
  if (!stored || stored->type != 4) return std::nullopt;
  return stored->text[0] | static_cast<std::uint32_t>(stored->text[1]) << 16;
}

// Settings from before the first install, with a scheme name that holds the record's own
// separators.
void StoreBefore(TestPlatform& bed) {
  bed.MakeFolder(bed.PathOf(u"old"));
  for (const std::u16string_view role : {u"Arrow", u"Hand"}) {
    const std::u16string file = bed.PathOf(u"old\\" + std::u16string(role) + u".cur");
    bed.WriteFile(file, "old");
    bed.Store(role, file);
  }
  bed.Store(u"", u"Mine|\r\nx", 1);
  const std::uint32_t source = 2;
  bed.StoreBytes(u"Scheme Source", 4, &source, sizeof(source));
}

TEST(PackInstallTest, TheSchemeListHasThePackAndUninstallingPutsBackWhatWasThere) {
  TestPlatform bed;
  const Bed pack = MakePack(bed);
  StoreBefore(bed);
  const PackSource read = *ReadPackInf(bed.files(), pack.inf);
  EXPECT_FALSE(InstalledPackFor(read, bed.Seams()));
  ASSERT_TRUE(InstallCursorPack(read, bed.Seams()).installed);
  // A reinstall must not take the pack's own pointers for what was there before.
  ASSERT_TRUE(InstallCursorPack(read, bed.Seams()).installed);

  const std::u16string f = pack.folder + u"\\";
  EXPECT_EQ(ListEntry(bed, u"Blue_ Pack"),
            f + u"arrow.cur," + f + u"help.cur,,,,,,,,,,,,," + f + u"ARROW.CUR,,");
  EXPECT_EQ(StoredText(bed, u""), u"Blue_ Pack");
  EXPECT_EQ(SchemeSource(bed), 1u);
  EXPECT_EQ(InstalledPackFor(read, bed.Seams()), pack.folder);
  EXPECT_EQ(InstalledPackForScheme(f + u"Blue_ Pack.crs", bed.Seams()), pack.folder);
  EXPECT_FALSE(InstalledPackForScheme(bed.PathOf(u"Download\\Blue_ Pack.crs"), bed.Seams()));
  // A scheme of the person's in the pack's folder is not the pack's.
  bed.WriteFile(f + u"Mine.crs", "mine");
  EXPECT_FALSE(InstalledPackForScheme(f + u"Mine.crs", bed.Seams()));

  // The person changes one pointer and keeps a file of theirs in the pack's folder.
  bed.Store(u"Help", bed.PathOf(u"old\\Arrow.cur"));
  const int reloads = bed.reloader().count;
  const PackUninstallation undone = UninstallCursorPack(pack.folder, bed.Seams());
  EXPECT_TRUE(undone.uninstalled);
  EXPECT_EQ(undone.rolesKept, std::vector<std::size_t>{kHelp});
  EXPECT_TRUE(undone.filesKept);
  EXPECT_EQ(StoredText(bed, u"Arrow"), bed.PathOf(u"old\\Arrow.cur"));
  EXPECT_EQ(StoredText(bed, u"Hand"), bed.PathOf(u"old\\Hand.cur"));
  EXPECT_EQ(StoredText(bed, u"Help"), bed.PathOf(u"old\\Arrow.cur"));
  EXPECT_EQ(ListEntry(bed, u"Blue_ Pack"), u"<absent>");
  EXPECT_EQ(StoredText(bed, u""), u"Mine|\r\nx");
  EXPECT_EQ(SchemeSource(bed), 2u);
  EXPECT_EQ(bed.reloader().count, reloads + 1);
  EXPECT_EQ(bed.ReadFile(f + u"Mine.crs"), "mine");
  for (const std::u16string_view gone : {u"arrow.cur", u"help.cur", u"Blue_ Pack.crs"}) {
    EXPECT_FALSE(bed.files().Exists(f + std::u16string(gone))) << Narrow(gone);
  }
  EXPECT_FALSE(InstalledPackForScheme(f + u"Mine.crs", bed.Seams()));
}

// A record that names a file outside the pack's folder (edited by hand, or copied in from
// elsewhere), or a name that is not one of the folder's own but that the system takes for one of
// them ("Mine.crs." for "Mine.crs"), removes nothing of the person's.
TEST(PackInstallTest, UninstallingRemovesNothingOutsideThePacksFolder) {
  TestPlatform bed;
  const Bed pack = MakePack(bed);
  ASSERT_TRUE(InstallCursorPack(*ReadPackInf(bed.files(), pack.inf), bed.Seams()).installed);
  bed.WriteFile(bed.PathOf(u"Local\\Pivora\\Cursors\\outside.txt"), "theirs");
  bed.WriteFile(pack.folder + u"\\Mine.crs", "mine");
  const std::u16string recordPath = pack.folder + u"\\Pivora.source";
  std::string record = bed.ReadFile(recordPath).value_or("");
  record.insert(record.find(":before"), "..\\outside.txt\r\nMine.crs.\r\n");
  bed.WriteFile(recordPath, record);
  EXPECT_TRUE(UninstallCursorPack(pack.folder, bed.Seams()).uninstalled);
  EXPECT_EQ(bed.ReadFile(bed.PathOf(u"Local\\Pivora\\Cursors\\outside.txt")), "theirs");
  EXPECT_EQ(bed.ReadFile(pack.folder + u"\\Mine.crs"), "mine");
  EXPECT_FALSE(bed.files().Exists(pack.folder + u"\\arrow.cur"));
}

// A scheme of the person's under the pack's folder name (the same pack installed the system's
// way) stays theirs: the pack's entry takes a free name, a reinstall keeps to it, and uninstalling
// removes it only while it holds what the install wrote.
TEST(PackInstallTest, ThePacksSchemeListEntryIsItsOwn) {
  TestPlatform bed;
  const Bed pack = MakePack(bed);
  const std::u16string theirs = u"C:\\theirs\\arrow.cur,,,,,,,,,,,,,,";
  StoreListEntry(bed, u"Blue_ Pack", theirs);
  bed.Store(u"", u"Blue_ Pack", 1);
  const PackSource read = *ReadPackInf(bed.files(), pack.inf);
  for (int install = 0; install < 2; ++install) {
    ASSERT_TRUE(InstallCursorPack(read, bed.Seams()).installed);
    EXPECT_EQ(ListEntry(bed, u"Blue_ Pack"), theirs);
    EXPECT_TRUE(ListEntry(bed, u"Blue_ Pack (2)").starts_with(pack.folder + u"\\arrow.cur,"));
    EXPECT_EQ(ListEntry(bed, u"Blue_ Pack (3)"), u"<absent>");
    EXPECT_EQ(StoredText(bed, u""), u"Blue_ Pack (2)");
  }
  ASSERT_TRUE(UninstallCursorPack(pack.folder, bed.Seams()).uninstalled);
  EXPECT_EQ(ListEntry(bed, u"Blue_ Pack (2)"), u"<absent>");
  EXPECT_EQ(ListEntry(bed, u"Blue_ Pack"), theirs);
  EXPECT_EQ(StoredText(bed, u""), u"Blue_ Pack");

  // An entry the person saved over the pack's since stays.
  ASSERT_TRUE(InstallCursorPack(read, bed.Seams()).installed);
  StoreListEntry(bed, u"Blue_ Pack (2)", u"mine,");
  ASSERT_TRUE(UninstallCursorPack(pack.folder, bed.Seams()).uninstalled);
  EXPECT_EQ(ListEntry(bed, u"Blue_ Pack (2)"), u"mine,");
}

// Duplicates are one file however the pack spells them; a folder or a file larger than a pointer
// can be is not copied, and its role is kept as for a missing file.
TEST(PackInstallTest, EachFileIsCopiedOnceAndOnlyAFileOfAPointersSize) {
  TestPlatform bed;
  bed.MakeFolder(bed.PathOf(u"Download"));
  bed.WriteFile(bed.PathOf(u"Download\\arrow.cur"), "arrow");
  bed.MakeFolder(bed.PathOf(u"Download\\folder.cur"));
  bed.WriteFile(bed.PathOf(u"Download\\large.ani"), std::string((32u << 20) + 1, 'A'));
  const std::u16string inf = bed.PathOf(u"Download\\install.inf");
  bed.WriteFile(
      inf,
      "[DefaultInstall]\r\nAddReg=R\r\n[R]\r\n"
      "HKCU,\"Control Panel\\Cursors\\Schemes\",\"S\",,\"arrow.cur,arrow.cur.,ARROW.CUR..,"
      "folder.cur,large.ani\"\r\n");
  const PackInstallation done = InstallCursorPack(*ReadPackInf(bed.files(), inf), bed.Seams());
  ASSERT_TRUE(done.installed);
  EXPECT_EQ(done.rolesKept, (std::vector<std::size_t>{3, 4}));
  std::vector<std::u16string> names;
  ASSERT_EQ(bed.files().FilesIn(done.folder, names), status::kSuccess);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Pivora.source", u"S.crs", u"arrow.cur"}));
  EXPECT_EQ(StoredText(bed, u"Help"), done.folder + u"\\arrow.cur");
  EXPECT_EQ(StoredText(bed, u"AppStarting"), done.folder + u"\\ARROW.CUR");
}

// Pointer files selected without an INF: each role takes the file its name tells, the others are
// reported as left, and a file that fits no role stays where it is. The folder is the pack.
TEST(PackInstallTest, ASelectionOfPointerFilesInstallsReinstallsAndUninstalls) {
  TestPlatform bed;
  bed.MakeFolder(bed.PathOf(u"Blue"));
  const std::vector<std::u16string> names = {u"Arrow.cur", u"readme.cur", u"hand.ani"};
  for (const std::u16string& name : names) bed.WriteFile(bed.PathOf(u"Blue\\" + name), "new");
  bed.Store(u"Arrow", u"C:\\old\\arrow.cur");
  const PackSource source = *PackSourceFromPointerFiles(bed.PathOf(u"Blue\\"), names);
  const std::u16string folder = bed.PathOf(u"Local\\Pivora\\Cursors\\Blue");

  const PackInstallation done = InstallCursorPack(source, bed.Seams());
  ASSERT_TRUE(done.installed);
  EXPECT_EQ(done.folder, folder);
  std::vector<std::size_t> left(kAllPointerRoleCount);
  std::iota(left.begin(), left.end(), 0);
  left.erase(std::remove_if(left.begin(), left.end(),
                            [](std::size_t role) { return role == kArrow || role == kHand; }),
             left.end());
  EXPECT_EQ(done.rolesKept, left);
  std::vector<std::u16string> copied;
  ASSERT_EQ(bed.files().FilesIn(folder, copied), status::kSuccess);
  std::sort(copied.begin(), copied.end());
  EXPECT_EQ(copied, (std::vector<std::u16string>{u"Arrow.cur", u"Blue.crs", u"Pivora.source",
                                                 u"hand.ani"}));
  EXPECT_EQ(StoredText(bed, u"Hand"), folder + u"\\hand.ani");

  bed.WriteFile(bed.PathOf(u"Blue\\Arrow.cur"), "newer");
  EXPECT_EQ(InstallCursorPack(source, bed.Seams()).folder, folder);
  EXPECT_EQ(bed.ReadFile(folder + u"\\Arrow.cur"), "newer");
  EXPECT_EQ(InstalledPackFor(source, bed.Seams()), folder);
  ASSERT_EQ(InstalledPackForScheme(folder + u"\\Blue.crs", bed.Seams()), folder);
  EXPECT_TRUE(UninstallCursorPack(folder, bed.Seams()).uninstalled);
  EXPECT_EQ(StoredText(bed, u"Arrow"), u"C:\\old\\arrow.cur");
  EXPECT_FALSE(bed.files().Exists(folder));
  EXPECT_FALSE(PackSourceFromPointerFiles(bed.PathOf(u"Blue"),
                                          std::vector<std::u16string>(1001, u"Arrow.cur")));
}

// The platform's path rules, with the folder LOCALAPPDATA names chosen by the test.
class LocalAppDataAt final : public testing::ForwardingPaths {
 public:
  LocalAppDataAt(const PathRules& rules, std::u16string local)
      : ForwardingPaths(rules), local_(std::move(local)) {}
  std::u16string ExpandEnvironment(std::u16string_view text) const override {
    return ExpandEachReference(text, [&](std::u16string_view reference) {
      return EqualsIgnoringAsciiCase(reference, u"%LOCALAPPDATA%")
                 ? local_
                 : ForwardingPaths::ExpandEnvironment(reference);
    });
  }

 private:
  std::u16string local_;
};

// A '%' in LOCALAPPDATA is no reason to refuse; a folder whose stored paths the system would
// expand into others is.
TEST(PackInstallTest, ThePacksFolderMayHoldAPercentSign) {
  for (const auto& [local, installed] :
       {std::pair{u"100%", true}, {u"a%NO SUCH NAME%b", true}, {u"a%PIVORA_SCRATCH%b", false}}) {
    TestPlatform bed;
    const Bed pack = MakePack(bed);
    bed.MakeFolder(bed.PathOf(local));
    const LocalAppDataAt paths(bed.paths(), bed.PathOf(local));
    const Platform seams{bed.registry(), bed.files(), paths, bed.reloader()};
    const PackSource read = *ReadPackInf(bed.files(), pack.inf);
    EXPECT_EQ(InstallCursorPack(read, seams).installed, installed) << Narrow(local);
    EXPECT_EQ(StoredText(bed, u"Arrow"),
              installed ? bed.PathOf(local) + u"\\Pivora\\Cursors\\Blue_ Pack\\arrow.cur"
                        : u"C:\\old\\arrow.cur")
        << Narrow(local);
  }
}

// Each setting the first install found comes back as it was stored, its type and bytes, whether
// or not the file it names is there now; none of them, of whatever type, stops an install.
TEST(PackInstallTest, UninstallingPutsBackEachValueAsItWasStored) {
  struct Value {
    std::u16string_view name;
    std::uint32_t type;
    std::u16string data;  // the bytes, two to a unit
  };
  TestPlatform bed;
  const Bed pack = MakePack(bed);
  const std::vector<Value> before = {
      {u"Arrow", value_type::kString, bed.PathOf(u"gone\\arrow.cur") + u'\0'},
      {u"Help", value_type::kMultiString, u"a.cur\0b.cur\0\0"s},
      {u"AppStarting", value_type::kBinary, u"\x0102\x0304"},
      {u"Hand", value_type::kExpandString, u"C:\\\xD800|\r\n.cur\0"s},
      {u"", value_type::kExpandString, u"Mine\0"s},
      {u"Scheme Source", value_type::kString, u"2\0"s},
  };
  for (const Value& value : before) {
    bed.StoreBytes(value.name, value.type, value.data.data(),
                   static_cast<std::uint32_t>(value.data.size() * 2));
  }
  ASSERT_TRUE(InstallCursorPack(*ReadPackInf(bed.files(), pack.inf), bed.Seams()).installed);
  ASSERT_TRUE(UninstallCursorPack(pack.folder, bed.Seams()).uninstalled);
  for (const Value& value : before) {
    const std::optional<testing::StoredValue> now = bed.Stored(value.name);
    ASSERT_TRUE(now) << Narrow(value.name);
    EXPECT_EQ(now->type, value.type) << Narrow(value.name);
    EXPECT_EQ(now->text, value.data) << Narrow(value.name);
  }
}

// A record of the earlier format, whose values are text of each name's usual type and which
// names no scheme list entry, uninstalls as it did; lines that make no sense put nothing back.
TEST(PackInstallTest, AnEarlierRecordStillUninstalls) {
  TestPlatform bed;
  const Bed pack = MakePack(bed);
  ASSERT_TRUE(InstallCursorPack(*ReadPackInf(bed.files(), pack.inf), bed.Seams()).installed);
  bed.WriteFile(pack.folder + u"\\Pivora.source",
                Narrow(pack.inf) +
                    "\r\narrow.cur\r\nhelp.cur\r\nBlue_ Pack.crs\r\n:before\r\n"
                    "Arrow=C:\\old\\arrow.cur\r\nHelp#3=ABC\r\nHand:x=C:\\y.cur\r\n"
                    "=Mine||1\r\nScheme Source=2");
  ASSERT_TRUE(UninstallCursorPack(pack.folder, bed.Seams()).uninstalled);
  ASSERT_EQ(StoredText(bed, u"Arrow"), u"C:\\old\\arrow.cur");
  EXPECT_EQ(bed.Stored(u"Arrow")->type, value_type::kExpandString);
  EXPECT_EQ(StoredText(bed, u"Help"), u"<absent>");
  EXPECT_EQ(StoredText(bed, u"Hand"), u"<absent>");
  ASSERT_EQ(StoredText(bed, u""), u"Mine|1");
  EXPECT_EQ(bed.Stored(u"")->type, value_type::kString);
  EXPECT_EQ(SchemeSource(bed), 2u);
  EXPECT_EQ(ListEntry(bed, u"Blue_ Pack"), u"<absent>");
  EXPECT_FALSE(bed.files().Exists(pack.folder));
}

// How often a failed call fails again when it is tried again at once: every attempt the policy
// makes, for a file held for good.
constexpr int kHeldForGood = static_cast<int>(std::size(kRetryPausesMs));

// The walk, over a first installation and over a reinstallation: every call and allocation
// failing once, or (with `repeats`) every call failing that many more times when tried again, as
// a file held for a moment or for good. The install runs as the command runs it, through the
// retry policy.
void WalkInstall(bool again, int repeats = -1) {
  Bed pack;
  std::optional<PackSource> read;
  PackInstallation done;
  const auto walk = [&](auto prepare, auto run, auto check) {
    if (repeats < 0) {
      WalkFaults(prepare, run, check);
    } else {
      testing::WalkHeldFiles(prepare, run, check, repeats);
    }
  };
  walk(
      [&](TestPlatform& bed) {
        pack = MakePack(bed);
        read = ReadPackInf(bed.files(), pack.inf);
        ASSERT_TRUE(read);
        if (again) {
          ASSERT_TRUE(InstallCursorPack(*read, bed.Seams()).installed);
          bed.WriteFile(bed.PathOf(u"Download\\arrow.cur"), "newer arrow");
          bed.Store(u"Arrow", u"C:\\old\\arrow.cur");
          bed.WriteFile(pack.folder + u"\\Mine.crs", "mine");
          bed.MakeFolder(pack.folder + u"\\Sub");
          bed.WriteFile(pack.folder + u"\\Sub\\x.cur", "theirs");
        }
      },
      [&](TestPlatform& bed, FileSystem& faulty) {
        testing::CountingPause pause;
        RetryingFileSystem files(faulty, pause);
        const Platform seams{bed.registry(), files, bed.paths(), bed.reloader()};
        done = PackInstallation{};
        done = InstallCursorPack(*read, seams);
      },
      [&](TestPlatform& bed, const std::string& what) {
        const bool heldForGood = repeats >= kHeldForGood;
        if (repeats >= 0 && !heldForGood && testing::IsRetried(what)) {
          EXPECT_TRUE(done.installed) << what << ": a file held for a moment";
        }
        // Not installed for a file call held for good, the result says which code stopped it
        // (a record that could not be read gives none).
        if (heldForGood && !done.installed && testing::IsRetried(what) &&
            !what.ends_with("(OpenForReading)")) {
          EXPECT_EQ(done.failure, status::kAccessDenied) << what;
        }
        const std::u16string arrow = StoredText(bed, u"Arrow");
        EXPECT_TRUE(arrow == u"C:\\old\\arrow.cur" || arrow == pack.folder + u"\\arrow.cur")
            << what << ": " << Narrow(arrow);
        const std::optional<std::string> copied = bed.ReadFile(pack.folder + u"\\arrow.cur");
        const std::optional<std::string> scheme = bed.ReadFile(pack.folder + u"\\Blue_ Pack.crs");
        if (again) {
          ASSERT_TRUE(copied) << what;
          EXPECT_TRUE(*copied == "new arrow" || *copied == "newer arrow") << what;
          EXPECT_EQ(bed.ReadFile(pack.folder + u"\\Mine.crs"), "mine") << what;
          EXPECT_EQ(bed.ReadFile(pack.folder + u"\\Sub\\x.cur"), "theirs") << what;
          const std::optional<std::string> help = bed.ReadFile(pack.folder + u"\\help.cur");
          EXPECT_TRUE(!help || *help == "new help") << what;
        }
        EXPECT_EQ(copied.has_value(), scheme.has_value()) << what << ": a folder half there";
        if (!copied) {
          EXPECT_EQ(arrow, u"C:\\old\\arrow.cur") << what;
        }
        // A folder of ours whose file or self cannot be deleted, or listed, stays, named as ours.
        const bool undeletable =
            heldForGood && (what.ends_with("(Delete)") || what.ends_with("(RemoveFolder)") ||
                            what.ends_with("(FilesIn)"));
        for (const std::u16string_view aside : {u".~1", u".~2", u".~3", u".~old1"}) {
          EXPECT_TRUE(undeletable || !bed.files().Exists(pack.folder + std::u16string(aside)))
              << what << ": " << Narrow(aside) << " left";
        }
        EXPECT_EQ(bed.registry().openHandles, 0) << what;
      });
}

TEST(PackInstallTest, AnUninstallationPutsBackEachPointerOrLeavesIt) {
  Bed pack;
  WalkFaults(
      [&](TestPlatform& bed) {
        pack = MakePack(bed);
        StoreBefore(bed);
        ASSERT_TRUE(InstallCursorPack(*ReadPackInf(bed.files(), pack.inf), bed.Seams()).installed);
        bed.WriteFile(pack.folder + u"\\Mine.crs", "mine");
      },
      [&](TestPlatform& bed, FileSystem& faulty) {
        testing::CountingPause pause;
        RetryingFileSystem files(faulty, pause);
        const Platform seams{bed.registry(), files, bed.paths(), bed.reloader()};
        UninstallCursorPack(pack.folder, seams);
      },
      [&](TestPlatform& bed, const std::string& what) {
        const bool recorded = bed.files().Exists(pack.folder + u"\\Pivora.source");
        for (const std::u16string_view role : {u"Arrow", u"Hand"}) {
          const std::u16string now = StoredText(bed, role);
          const std::u16string old = bed.PathOf(u"old\\" + std::u16string(role) + u".cur");
          EXPECT_TRUE(now == old || (recorded && now.starts_with(pack.folder)))
              << what << ": " << Narrow(now);
          // A pointer still naming the pack's folder names a file that is there.
          EXPECT_TRUE(now == old || bed.files().Exists(now)) << what;
        }
        EXPECT_TRUE(recorded || ListEntry(bed, u"Blue_ Pack") == u"<absent>") << what;
        EXPECT_EQ(bed.ReadFile(pack.folder + u"\\Mine.crs"), "mine") << what;
        EXPECT_EQ(bed.registry().openHandles, 0) << what;
      });
}

TEST(PackInstallTest, AFirstInstallationIsWholeOrNotThere) { WalkInstall(false); }

TEST(PackInstallTest, AReinstallationLeavesTheOldFolderOrTheNewOneWhole) { WalkInstall(true); }

// A scanner or sync holding a file for a moment or two does not stop an install; one holding it
// for good leaves everything as it was.
TEST(PackInstallTest, AFileHeldForAMomentDoesNotStopAFirstInstallation) {
  for (const int repeats : {0, 1, kHeldForGood}) WalkInstall(false, repeats);
}

TEST(PackInstallTest, AFileHeldForAMomentDoesNotStopAReinstallation) {
  for (const int repeats : {0, 1, kHeldForGood}) WalkInstall(true, repeats);
}

}  // namespace
}  // namespace pivora

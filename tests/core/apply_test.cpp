// Applying scheme files to the store, from the command line to the stored values.
#include <gtest/gtest.h>

#include <new>

#include "core/apply.h"
#include "core/pointer_roles.h"
#include "tests/support/forwarding_paths.h"
#include "tests/support/test_platform.h"

namespace pivora {
namespace {

using testing::TestPlatform;

std::string Scheme(std::string_view sections) { return "\xEF\xBB\xBF" + std::string(sections); }

std::string Section(std::string_view name, std::string_view entry) {
  return "[" + std::string(name) + "]\r\nPath=" + std::string(entry) + "\r\n\r\n";
}

std::string Utf8(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out.push_back(static_cast<char>(c));  // ASCII paths only
  return out;
}

class ApplyTest : public ::testing::Test {
 protected:
  std::u16string SchemePath() { return bed.PathOf(u"Blue.crs"); }
  std::u16string Pointer(std::u16string_view relative) {
    const std::u16string path = bed.PathOf(relative);
    bed.WriteFile(path, "pointer");
    return path;
  }
  void Apply(std::string_view file) {
    bed.WriteFile(SchemePath(), file);
    ApplySchemeFile(SchemePath(), bed.Seams());
  }
  std::u16string StoredText(std::u16string_view name) {
    const auto value = bed.Stored(name);
    if (!value) return u"<absent>";
    std::u16string text = value->text;
    if (!text.empty() && text.back() == u'\0') text.pop_back();
    return text;
  }

  TestPlatform bed;
};

TEST_F(ApplyTest, SchemeOfEmptyEntriesDeletesEveryRoleAndNotifiesOnce) {
  for (const PointerRole& role : PointerRoles) bed.Store(role.valueName, u"C:\\old.cur");
  bed.Store(u"Scheme Source", u"kept");
  std::string sections;
  for (const PointerRole& role : PointerRoles)
    sections += "[" + Utf8(role.valueName) + "]\r\nPath=\r\n";
  Apply(Scheme(sections) + std::string(1, '\0'));
  for (const PointerRole& role : PointerRoles) EXPECT_FALSE(bed.Stored(role.valueName));
  EXPECT_EQ(StoredText(u"Scheme Source"), u"kept");
  EXPECT_EQ(bed.reloader().count, 1);
}

// The two roles after the fifteen apply like them, in the same reload.
TEST_F(ApplyTest, PinAndPersonApplyAfterTheFifteen) {
  const std::u16string pin = Pointer(u"pin.cur");
  bed.Store(u"Person", u"C:\\person.cur");
  Apply(Scheme(Section("Arrow", "") + Section("pin", Utf8(pin))));
  EXPECT_EQ(StoredText(u"Pin"), pin);
  EXPECT_EQ(StoredText(u"Person"), u"C:\\person.cur");
  EXPECT_EQ(bed.reloader().count, 1);
}

TEST_F(ApplyTest, FilesWithoutSectionsChangeNothingButCreateTheKey) {
  for (const std::string& file : {std::string(), Scheme(""), Scheme("Path=C:\\a.cur\r\n")}) {
    bed.RemoveCursorsKey();
    bed.registry().log.clear();
    Apply(file);
    EXPECT_TRUE(bed.CursorsKeyExists());
    EXPECT_EQ(bed.registry().log, std::vector<std::string>{"CreateKey Cursors"});
    EXPECT_EQ(bed.reloader().count, 0);
  }
}

TEST_F(ApplyTest, RelativeEntriesResolveAgainstTheSchemeFolder) {
  const std::u16string arrow = Pointer(u"Pointers\\Blue\\arrow.cur");
  const std::u16string busy = Pointer(u"Shared\\busy.ani");
  const std::u16string schemePath = bed.PathOf(u"Pointers\\Blue.crs");
  bed.WriteFile(schemePath, Scheme(Section("Arrow", "Blue\\arrow.cur") +
                                   Section("Wait", "..\\Shared\\busy.ani") +
                                   Section("Help", ".\\Blue\\.\\arrow.cur")));
  ApplySchemeFile(schemePath, bed.Seams());
  EXPECT_EQ(StoredText(u"Arrow"), arrow);
  EXPECT_EQ(StoredText(u"Wait"), busy);
  EXPECT_EQ(StoredText(u"Help"), arrow);
  EXPECT_EQ(bed.Stored(u"Arrow")->type, 2u);
  EXPECT_EQ(bed.reloader().count, 1);
}

TEST_F(ApplyTest, AbsoluteEntriesAreStoredAsWritten) {
  const std::u16string hand = Pointer(u"hand.cur");
  std::u16string upper = hand;
  for (char16_t& c : upper) c = (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
  Apply(Scheme(Section("Hand", Utf8(upper))));
  EXPECT_EQ(StoredText(u"Hand"), upper);
}

TEST_F(ApplyTest, MissingTargetsLeaveTheRoleAsItWas) {
  bed.Store(u"Arrow", u"C:\\custom\\mine.cur");
  bed.Store(u"Help", u"C:\\custom\\help.cur");
  Apply(Scheme(Section("Arrow", "nothing-here.cur") + Section("Help", "C:\\no\\such.cur") +
               Section("Wait", "%PIVORA_SCRATCH%\\missing.ani")));
  EXPECT_EQ(StoredText(u"Arrow"), u"C:\\custom\\mine.cur");
  EXPECT_EQ(StoredText(u"Help"), u"C:\\custom\\help.cur");
  EXPECT_FALSE(bed.Stored(u"Wait"));
  EXPECT_EQ(bed.reloader().count, 0);
}

TEST_F(ApplyTest, AbsentRolesKeepTheirValueAndEmptyOnesLoseIt) {
  bed.Store(u"Arrow", u"C:\\a.cur");
  bed.Store(u"Help", u"C:\\h.cur");
  Apply(Scheme(Section("Help", "")));
  EXPECT_EQ(StoredText(u"Arrow"), u"C:\\a.cur");
  EXPECT_FALSE(bed.Stored(u"Help"));
  EXPECT_EQ(bed.reloader().count, 1);
}

TEST_F(ApplyTest, EnvironmentEntriesAreTestedExpandedAndStoredAsWritten) {
  Pointer(u"pen.cur");
  Apply(Scheme(Section("NWPen", "%PIVORA_SCRATCH%\\pen.cur")));
  EXPECT_EQ(StoredText(u"NWPen"), u"%PIVORA_SCRATCH%\\pen.cur");
  EXPECT_EQ(bed.Stored(u"NWPen")->type, 2u);
}

TEST_F(ApplyTest, RolesAreAppliedInRoleOrderWhateverTheFileOrder) {
  Pointer(u"a.cur");
  Apply(Scheme(Section("Hand", "a.cur") + Section("SizeAll", "") + Section("Arrow", "a.cur") +
               Section("Wait", "")));
  EXPECT_EQ(bed.registry().log,
            (std::vector<std::string>{"CreateKey Cursors", "SetValue Arrow", "DeleteValue Wait",
                                      "DeleteValue SizeAll", "SetValue Hand"}));
}

TEST_F(ApplyTest, QuotedCommandLineIsUnquoted) {
  Pointer(u"a.cur");
  bed.WriteFile(SchemePath(), Scheme(Section("Arrow", "a.cur")));
  ApplySchemeFile(u"\"" + SchemePath() + u"\"", bed.Seams());
  EXPECT_EQ(StoredText(u"Arrow"), bed.PathOf(u"a.cur"));
}

TEST_F(ApplyTest, CommandLinesThatNameNoFileChangeNothing) {
  Pointer(u"a.cur");
  bed.WriteFile(SchemePath(), Scheme(Section("Arrow", "a.cur")));
  for (const std::u16string& line :
       {u"\"" + SchemePath(), SchemePath() + u"\"", u" " + SchemePath(), SchemePath() + u" x",
        std::u16string(), std::u16string(u"\"\"")}) {
    ApplySchemeFile(line, bed.Seams());
  }
  EXPECT_TRUE(bed.registry().log.empty());
  EXPECT_EQ(bed.reloader().count, 0);
}

TEST_F(ApplyTest, SchemeHeldOpenForWritingIsNotApplied) {
  Pointer(u"a.cur");
  bed.WriteFile(SchemePath(), Scheme(Section("Arrow", "a.cur")));
  const auto hold = bed.HoldOpenForWriting(SchemePath());
  ApplySchemeFile(SchemePath(), bed.Seams());
  EXPECT_TRUE(bed.registry().log.empty());
}

TEST_F(ApplyTest, SchemePathWithoutBackslashSkipsOnlyRelativeEntries) {
  const std::u16string absolute = Pointer(u"abs.cur");
  Pointer(u"rel.cur");
  bed.Store(u"Help", u"C:\\h.cur");
  std::u16string schemePath = SchemePath();
  for (char16_t& c : schemePath) c = c == u'\\' ? u'/' : c;  // the file system takes either
  bed.WriteFile(SchemePath(), Scheme(Section("Arrow", Utf8(absolute)) + Section("Help", "") +
                                     Section("Hand", "rel.cur")));
  ApplySchemeFile(schemePath, bed.Seams());
  EXPECT_EQ(StoredText(u"Arrow"), absolute);
  EXPECT_FALSE(bed.Stored(u"Help"));
  EXPECT_FALSE(bed.Stored(u"Hand"));
}

TEST_F(ApplyTest, NoStoreMeansNothingApplied) {
  Pointer(u"a.cur");
  bed.RemoveControlPanelKey();
  Apply(Scheme(Section("Arrow", "a.cur") + Section("Help", "")));
  EXPECT_FALSE(bed.ControlPanelKeyExists());
  EXPECT_EQ(bed.reloader().count, 0);
}

TEST_F(ApplyTest, FailedWritesStillCountAsChanges) {
  Pointer(u"a.cur");
  bed.registry().fault = [](std::string_view call, std::u16string_view name) {
    return call == "SetValue" && name == u"Arrow" ? status::kAccessDenied : status::kSuccess;
  };
  Apply(Scheme(Section("Arrow", "a.cur") + Section("Help", "a.cur")));
  EXPECT_FALSE(bed.Stored(u"Arrow"));
  EXPECT_EQ(StoredText(u"Help"), bed.PathOf(u"a.cur"));
  EXPECT_EQ(bed.reloader().count, 1);
}

TEST_F(ApplyTest, LongAbsoluteEntriesAreStoredWhole) {
  std::u16string folder = bed.folder();
  while (folder.size() < 300) folder += u"\\" + std::u16string(40, u'd');
  const std::u16string pointer = folder + u"\\long.cur";
  bed.WriteFile(pointer, "pointer");
  Apply(Scheme(Section("Arrow", Utf8(pointer)) + Section("Help", Utf8(folder + u"\\none.cur"))));
  EXPECT_EQ(StoredText(u"Arrow"), pointer);
  EXPECT_FALSE(bed.Stored(u"Help"));
}

TEST_F(ApplyTest, RelativeEntriesThatWouldJoinBeyondThePathLimitAreSkipped) {
  const std::u16string fits(259 - bed.folder().size() - 1, u'f');
  bed.WriteFile(bed.PathOf(fits), "pointer");
  bed.Store(u"Help", u"C:\\h.cur");
  Apply(Scheme(Section("Arrow", Utf8(fits)) + Section("Help", Utf8(fits + u"x"))));
  EXPECT_EQ(StoredText(u"Arrow"), bed.PathOf(fits));
  EXPECT_EQ(StoredText(u"Help"), u"C:\\h.cur");
}

TEST_F(ApplyTest, OversizedSchemeFilesAreNotRead) {
  Pointer(u"a.cur");
  std::string file = Scheme(Section("Arrow", "a.cur"));
  file.resize((16u << 20) + 1, '\n');
  Apply(file);
  EXPECT_TRUE(bed.registry().log.empty());
  file.resize(16u << 20);
  Apply(file);
  EXPECT_EQ(StoredText(u"Arrow"), bed.PathOf(u"a.cur"));
}

// Passes calls on to the real file system and makes the chosen one fail.
class FaultyFiles final : public FileSystem {
 public:
  enum class Fault { kSize, kRead, kShortRead };
  FaultyFiles(FileSystem& inner, Fault fault) : inner_(inner), fault_(fault) {}
  Status OpenForReading(std::u16string_view path, FileHandle& out) override {
    return inner_.OpenForReading(path, out);
  }
  Status Size(FileHandle file, std::uint64_t& size) override {
    return fault_ == Fault::kSize ? status::kInvalidHandle : inner_.Size(file, size);
  }
  Status Read(FileHandle file, void* buffer, std::uint32_t size, std::uint32_t& read) override {
    if (fault_ == Fault::kRead) return status::kInvalidHandle;
    const Status result = inner_.Read(file, buffer, size, read);
    if (fault_ == Fault::kShortRead && read > 0) --read;
    return result;
  }
  void Close(FileHandle file) override { inner_.Close(file); }
  bool Exists(std::u16string_view path) override { return inner_.Exists(path); }
  Status Attributes(std::u16string_view path, std::uint32_t& attributes) override {
    return inner_.Attributes(path, attributes);
  }
  Status ReparseTag(std::u16string_view path, std::uint32_t& tag) override {
    return inner_.ReparseTag(path, tag);
  }
  DriveType DriveTypeOf(std::u16string_view root) override { return inner_.DriveTypeOf(root); }
  Status CreateNew(std::u16string_view path, FileHandle& out) override {
    return inner_.CreateNew(path, out);
  }
  Status Write(FileHandle file, const void* data, std::uint32_t size,
               std::uint32_t& written) override {
    return inner_.Write(file, data, size, written);
  }
  Status Flush(FileHandle file) override { return inner_.Flush(file); }
  Status ProbeReplace(std::u16string_view path) override { return inner_.ProbeReplace(path); }
  Status Replace(std::u16string_view target, std::u16string_view replacement,
                 std::u16string_view backup) override {
    return inner_.Replace(target, replacement, backup);
  }
  Status Move(std::u16string_view from, std::u16string_view to, bool replaceExisting) override {
    return inner_.Move(from, to, replaceExisting);
  }
  Status Delete(std::u16string_view path) override { return inner_.Delete(path); }
  Status Copy(std::u16string_view from, std::u16string_view to) override {
    return inner_.Copy(from, to);
  }
  Status CreateFolder(std::u16string_view path) override { return inner_.CreateFolder(path); }
  Status RemoveFolder(std::u16string_view path) override { return inner_.RemoveFolder(path); }
  Status FilesIn(std::u16string_view folder, std::vector<std::u16string>& names) override {
    return inner_.FilesIn(folder, names);
  }

 private:
  FileSystem& inner_;
  Fault fault_;
};

TEST_F(ApplyTest, FailedOrShortReadsApplyNothing) {
  Pointer(u"a.cur");
  bed.WriteFile(SchemePath(), Scheme(Section("Arrow", "a.cur")));
  for (const auto fault :
       {FaultyFiles::Fault::kSize, FaultyFiles::Fault::kRead, FaultyFiles::Fault::kShortRead}) {
    FaultyFiles files(bed.files(), fault);
    ApplySchemeFile(SchemePath(), Platform{bed.registry(), files, bed.paths(), bed.reloader()});
  }
  EXPECT_TRUE(bed.registry().log.empty());
}

// Runs out of memory on the chosen call of Append.
class ExhaustingPaths final : public testing::ForwardingPaths {
 public:
  ExhaustingPaths(const PathRules& inner, int failingAppend)
      : ForwardingPaths(inner), failingAppend_(failingAppend) {}
  std::optional<std::u16string> Append(std::u16string_view folder,
                                       std::u16string_view more) const override {
    if (++appends_ == failingAppend_) throw std::bad_alloc();
    return ForwardingPaths::Append(folder, more);
  }

 private:
  int failingAppend_;
  mutable int appends_ = 0;
};

TEST_F(ApplyTest, OutOfMemoryEndsTheRunWithWholeValuesOnly) {
  const std::u16string pointer = Pointer(u"a.cur");
  bed.Store(u"Wait", u"C:\\w.cur");
  bed.WriteFile(SchemePath(), Scheme(Section("Arrow", "a.cur") + Section("Help", "a.cur") +
                                     Section("Wait", "") + Section("Hand", "a.cur")));
  ExhaustingPaths paths(bed.paths(), 2);
  ApplySchemeFile(SchemePath(), Platform{bed.registry(), bed.files(), paths, bed.reloader()});
  EXPECT_EQ(StoredText(u"Arrow"), pointer);
  EXPECT_FALSE(bed.Stored(u"Help"));
  EXPECT_EQ(StoredText(u"Wait"), u"C:\\w.cur");
  EXPECT_FALSE(bed.Stored(u"Hand"));
  EXPECT_EQ(bed.registry().openHandles, 0);
  EXPECT_EQ(bed.reloader().count, 1);
}

TEST(ResolveEntryPathTest, FollowsThePathRules) {
  TestPlatform bed;
  const PathRules& paths = bed.paths();
  EXPECT_EQ(ResolveEntryPath(u"Blue\\arrow.cur", u"D:\\Pointers\\Blue.crs", paths),
            u"D:\\Pointers\\Blue\\arrow.cur");
  EXPECT_EQ(ResolveEntryPath(u"..\\Shared\\busy.ani", u"D:\\Pointers\\Blue.crs", paths),
            u"D:\\Shared\\busy.ani");
  EXPECT_EQ(ResolveEntryPath(u"E:\\x.cur", u"D:\\Pointers\\Blue.crs", paths), u"E:\\x.cur");
  EXPECT_EQ(ResolveEntryPath(u"\\\\srv\\s\\x.cur", u"D:\\P\\B.crs", paths), u"\\\\srv\\s\\x.cur");
  EXPECT_EQ(ResolveEntryPath(u"\\x.cur", u"D:\\P\\B.crs", paths), u"\\x.cur");
  EXPECT_EQ(ResolveEntryPath(u"%X%\\a.cur", u"D:\\P\\B.crs", paths), u"%X%\\a.cur");
  EXPECT_EQ(ResolveEntryPath(u"a/b.cur", u"D:\\P\\B.crs", paths), u"D:\\P\\a/b.cur");
  EXPECT_EQ(ResolveEntryPath(u"a.cur", u"D:/P/B.crs", paths), std::nullopt);
}

}  // namespace
}  // namespace pivora

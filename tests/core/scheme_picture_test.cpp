// A scheme's picture as a hostile scheme would meet it: paths on other machines, devices and
// cloud placeholders are marked without a file call touching them; every file is read once;
// sizes and expansions stay bounded; and any failing call or allocation gives a mark or no
// picture, never a crash or an open file.
#include "core/scheme_picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "core/pointer_roles.h"
#include "platform/memory_files.h"
#include "platform/portable_path_rules.h"
#include "tests/support/seam_faults.h"
#include "tests/support/test_platform.h"
#include "tools/pointer_files.h"

namespace pivora {
namespace {

constexpr int kSize = 128;
constexpr int kCell = kSize / 4;

// Stands in for the imaging component: every PNG is one opaque white pixel.
class WhitePng final : public PngDecoder {
 public:
  std::optional<PointerPixels> Decode(std::span<const std::uint8_t>) override {
    return PointerPixels{1, 1, {0xFFFFFFFF}};
  }
};

std::string Bytes(const std::vector<std::uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

std::string Arrow() { return Bytes(pointer_files::SamplePointers()[0].bytes); }

struct Picture {
  std::vector<std::uint32_t> pixels = std::vector<std::uint32_t>(kSize * kSize, 0u);
  std::uint32_t At(int role, int x, int y) const {
    return pixels[static_cast<std::size_t>((role / 4 * kCell + y) * kSize + role % 4 * kCell + x)];
  }
  std::uint32_t Centre(int role) const { return At(role, kCell / 2, kCell / 2); }
  // A point on the elsewhere mark's ring.
  std::uint32_t OnRing(int role) const { return At(role, kCell / 2 + kCell / 4, kCell / 2); }
  int Opaque(int role) const {
    const std::vector<std::uint32_t> cell = Cell(role);
    return static_cast<int>(std::count_if(cell.begin(), cell.end(),
                                          [](std::uint32_t pixel) { return pixel >> 24 == 0xFF; }));
  }
  std::vector<std::uint32_t> Cell(int role) const {
    std::vector<std::uint32_t> out;
    for (int y = 0; y < kCell; ++y) {
      for (int x = 0; x < kCell; ++x) out.push_back(At(role, x, y));
    }
    return out;
  }
};

class SchemePictureTest : public ::testing::Test {
 protected:
  SchemePictureTest() {
    memory.SetDriveType(u'Z', DriveType::kRemote);
    memory.Put(u"C:\\s\\arrow.cur", Arrow());
    memory.Put(u"\\\\host\\share\\x.cur", Arrow());
    memory.Put(u"Z:\\x.cur", Arrow());
    memory.MakeLink(u"C:\\s\\share", u"\\\\host\\share", reparse_tag::kSymbolicLink, true);
  }

  // Draws C:\s\Scheme.crs with `text`, counting the file calls by name.
  bool Draw(const std::string& text, Picture& picture) {
    memory.Put(u"C:\\s\\Scheme.crs", "\xEF\xBB\xBF" + text);
    calls.clear();
    files.fault = [this](std::string_view call) {
      ++calls[std::string(call)];
      return status::kSuccess;
    };
    return DrawSchemePicture(u"C:\\s\\Scheme.crs", kSize, files, paths, png, picture.pixels);
  }

  MemoryFileSystem memory;
  testing::FaultyFiles files{memory};
  PortablePathRules paths{{{u"REMOTE", u"\\\\host\\share"}, {u"LONG", std::u16string(2000, u'x')}}};
  WhitePng png;
  std::map<std::string, int> calls;
};

TEST_F(SchemePictureTest, PathsElsewhereAreMarkedWithoutAnyCallOnThem) {
  Picture picture;
  ASSERT_TRUE(
      Draw("[Arrow]\r\nPath=\\\\host\\share\\x.cur\r\n"
           "[Help]\r\nPath=%REMOTE%\\x.cur\r\n"
           "[AppStarting]\r\nPath=\\\\?\\UNC\\host\\share\\x.cur\r\n"
           "[Wait]\r\nPath=Z:\\x.cur\r\n"
           "[Crosshair]\r\nPath=C:\\s\\CON\r\n"
           "[IBeam]\r\nPath=C:\\s\\nul.cur\r\n"
           "[NWPen]\r\nPath=C:x.cur\r\n"
           "[No]\r\nPath=arrow.cur\r\n"
           "[SizeNS]\r\nPath=share\\x.cur\r\n",
           picture));
  for (const int role : {0, 1, 2, 3, 4, 5, 6, 8}) {
    EXPECT_EQ(picture.OnRing(role), kElsewherePointerMark) << "role " << role;
    EXPECT_EQ(picture.Centre(role), 0u) << "role " << role;
  }
  EXPECT_GT(picture.Opaque(7), 8);
  // The scheme and the one local pointer were opened; besides them, only the folder C:\s and
  // the link in it (not what it leads to) were asked for their attributes.
  EXPECT_EQ(calls["OpenForReading"], 2);
  EXPECT_EQ(calls["Attributes"], 4);
  EXPECT_EQ(calls["ReparseTag"], 1);
}

TEST_F(SchemePictureTest, PlaceholdersWhoseDataIsElsewhereAreNotOpened) {
  memory.SetAttributes(u"C:\\s\\arrow.cur", 0x20 | file_attribute::kRecallOnDataAccess);
  Picture picture;
  ASSERT_TRUE(Draw("[Arrow]\r\nPath=arrow.cur\r\n", picture));
  EXPECT_EQ(picture.OnRing(0), kElsewherePointerMark);
  EXPECT_EQ(calls["OpenForReading"], 1);
}

// The scheme's own entry is looked at as a pointer's is: a link, or a placeholder that would be
// downloaded, gives no picture and is not opened; a placeholder already here is drawn.
TEST_F(SchemePictureTest, SchemesElsewhereAreNotRead) {
  const std::u16string scheme = u"C:\\s\\Scheme.crs";
  memory.Put(scheme, "");
  Picture picture;
  for (const std::uint32_t attributes :
       {0x20 | file_attribute::kOffline, file_attribute::kRecallOnOpen,
        0x20 | file_attribute::kReparsePoint | file_attribute::kRecallOnDataAccess}) {
    memory.SetAttributes(scheme, attributes);
    EXPECT_FALSE(Draw("[Arrow]\r\nPath=arrow.cur\r\n", picture)) << attributes;
    EXPECT_EQ(calls["OpenForReading"], 0) << attributes;
  }
  memory.SetAttributes(scheme, 0x20);
  memory.SetReparseTag(scheme, 0x9000001A);  // a cloud file, downloaded
  EXPECT_TRUE(Draw("[Arrow]\r\nPath=arrow.cur\r\n", picture));

  memory.MakeLink(u"C:\\s\\Linked.crs", u"\\\\host\\share\\x.crs", reparse_tag::kSymbolicLink,
                  false);
  memory.Put(u"\\\\host\\share\\x.crs", "[Arrow]\r\nPath=C:\\s\\arrow.cur\r\n");
  calls.clear();
  EXPECT_FALSE(DrawSchemePicture(u"C:\\s\\Linked.crs", kSize, files, paths, png, picture.pixels));
  EXPECT_EQ(calls["OpenForReading"], 0);
}

TEST_F(SchemePictureTest, EachFileIsReadOnceWhateverRolesNameIt) {
  std::string text;
  for (const PointerRole& role : PointerRoles) {
    text += "[" + std::string(role.valueName.begin(), role.valueName.end()) + "]\r\n";
    text += role.valueName == u"Help" ? "Path=C:\\S\\ARROW.CUR\r\n" : "Path=arrow.cur\r\n";
  }
  Picture picture;
  ASSERT_TRUE(Draw(text, picture));
  EXPECT_EQ(calls["OpenForReading"], 2);
  EXPECT_EQ(calls["Attributes"], 3);  // the scheme, its folder, the pointer
  for (int role = 1; role < 15; ++role) EXPECT_EQ(picture.Cell(role), picture.Cell(0));
}

TEST_F(SchemePictureTest, HostileSizesAreBounded) {
  Picture picture;
  std::string large(kMaxPictureSchemeBytes - 3, ';');
  EXPECT_TRUE(Draw(large, picture));
  EXPECT_FALSE(Draw(large + ";", picture));

  // An entry too long to be a path, one whose expansion grows past any path, and one that names
  // more variables than any path does.
  std::string text = "[Arrow]\r\nPath=" + std::string(40000, 'a') + "\r\n[Help]\r\nPath=";
  for (int i = 0; i < 30; ++i) text += "%LONG%";
  text += "\r\n[Wait]\r\nPath=";
  for (int i = 0; i < 33; ++i) text += "%%";
  // An image that lies beyond what a preview reads.
  std::vector<std::uint8_t> far = pointer_files::SamplePointers()[0].bytes;
  const std::uint32_t offset = kPointerReadLimit;
  for (int i = 0; i < 4; ++i) far[18 + i] = static_cast<std::uint8_t>(offset >> (8 * i));
  std::string farFile = Bytes(far);
  farFile.resize(offset + far.size(), '\0');
  memory.Put(u"C:\\s\\far.cur", farFile);
  text += "\r\n[AppStarting]\r\nPath=far.cur\r\n";
  // And an image larger than a cursor directory can name: 1,000 pixels a side, 4 MB.
  std::vector<std::uint8_t> wide = pointer_files::SamplePointers()[0].bytes;
  wide.resize(22 + 40);
  for (const auto& [at, value] : {std::pair{26, 1000}, std::pair{30, 2000}}) {
    for (int i = 0; i < 4; ++i) wide[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
  wide.resize(4'000'000, 0x40);
  memory.Put(u"C:\\s\\wide.cur", Bytes(wide));
  text += "[Crosshair]\r\nPath=wide.cur\r\n";
  ASSERT_TRUE(Draw(text, picture));
  for (const int role : {0, 1, 2, 3, 4}) EXPECT_EQ(picture.Centre(role), kMissingPointerMark);
}

// A pack's reinstall or uninstall deletes and renames pointer files while a folder's thumbnails
// may be reading them: neither waits for the thumbnail, which draws what it opened.
TEST(SchemePictureSharing, FilesBeingReadCanBeDeletedAndRenamed) {
  testing::TestPlatform bed;
  const std::u16string arrow = bed.PathOf(u"arrow.cur");
  const std::u16string help = bed.PathOf(u"help.cur");
  bed.WriteFile(arrow, Arrow());
  bed.WriteFile(help, Arrow());
  bed.WriteFile(bed.PathOf(u"Scheme.crs"),
                "[Arrow]\r\nPath=arrow.cur\r\n[Help]\r\nPath=help.cur\r\n");
  testing::FaultyFiles files(bed.files());
  int opened = 0;
  int readAfter = 0;
  std::vector<Status> outcomes;
  files.fault = [&](std::string_view call) {
    if (call == "OpenForReading") ++opened;
    // The first read of each pointer file, the scheme being the first file opened.
    if (call == "Read" && opened > 1 && readAfter != opened) {
      readAfter = opened;
      outcomes.push_back(opened == 2 ? bed.files().Delete(arrow)
                                     : bed.files().Move(help, bed.PathOf(u"moved.cur"), false));
    }
    return status::kSuccess;
  };
  Picture picture;
  WhitePng png;
  ASSERT_TRUE(
      DrawSchemePicture(bed.PathOf(u"Scheme.crs"), kSize, files, bed.paths(), png, picture.pixels));
  EXPECT_EQ(outcomes, (std::vector<Status>{status::kSuccess, status::kSuccess}));
  EXPECT_GT(picture.Opaque(0), 8);
  EXPECT_GT(picture.Opaque(1), 8);
  EXPECT_FALSE(bed.ReadFile(arrow)) << "gone once the thumbnail let go of it";
}

// Every failing call and allocation: the picture is drawn, with marks where something failed,
// or not at all when the scheme itself could not be read.
TEST(SchemePictureFaults, AnyFailureGivesAMarkOrNoPicture) {
  const auto prepare = [](testing::TestPlatform& bed) {
    bed.MakeFolder(bed.PathOf(u"Blue"));
    std::string text = "\xEF\xBB\xBF[Help]\r\nPath=\r\n";
    for (const auto& sample : pointer_files::SamplePointers()) {
      bed.WriteFile(
          bed.PathOf(u"Blue\\" + std::u16string(sample.file_name.begin(), sample.file_name.end())),
          Bytes(sample.bytes));
      text += "[" + sample.value_name + "]\r\nPath=Blue\\" + sample.file_name + "\r\n";
    }
    bed.WriteFile(bed.PathOf(u"Scheme.crs"), text);
  };
  Picture whole;
  bool drawn = false;
  WhitePng png;
  const auto run = [&](testing::TestPlatform& bed, FileSystem& files) {
    drawn = false;
    std::fill(whole.pixels.begin(), whole.pixels.end(), 0u);
    // A run that runs out of memory leaves no picture: the handler's barrier drops it.
    drawn =
        DrawSchemePicture(bed.PathOf(u"Scheme.crs"), kSize, files, bed.paths(), png, whole.pixels);
  };
  Picture expected;
  {
    testing::TestPlatform bed;
    prepare(bed);
    run(bed, bed.files());
    ASSERT_TRUE(drawn);
    expected = whole;
  }
  testing::WalkFaults(prepare, run, [&](testing::TestPlatform&, const std::string& failed) {
    if (!drawn) return;
    for (int role = 0; role < 15; ++role) {
      if (whole.Cell(role) == expected.Cell(role)) continue;
      EXPECT_TRUE(whole.Centre(role) == kMissingPointerMark ||
                  whole.OnRing(role) == kElsewherePointerMark)
          << failed << ": role " << role;
    }
  });
}

}  // namespace
}  // namespace pivora

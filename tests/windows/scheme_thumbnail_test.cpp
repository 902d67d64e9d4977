// Thumbnails of scheme files, checked by their pixels: the 4 x 4 grid in role order, a pointer
// drawn in its cell, the two marks, transparent cells, premultiplied pixels; the sizes; and a
// long soak that leaves no memory behind.
#include <windows.h>

#include <psapi.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/path_rules_win32.h"
#include "shellext/scheme_thumbnail.h"
#include "tests/support/expected_language.h"
#include "tests/support/test_platform.h"
#include "tests/windows/quiet_windows.h"
#include "tools/pointer_files.h"

namespace pivora {
namespace {

using testing::TestPlatform;

struct Picture {
  int size = 0;
  std::vector<std::uint32_t> pixels;  // premultiplied ARGB, top-down

  std::uint32_t At(int x, int y) const { return pixels[y * size + x]; }
  // The pixels of cell `index` (0 to 15) of the 4 x 4 grid.
  std::vector<std::uint32_t> Cell(int index) const {
    const int cell = size / 4;
    std::vector<std::uint32_t> out;
    for (int y = 0; y < cell; ++y) {
      for (int x = 0; x < cell; ++x) out.push_back(At(index % 4 * cell + x, index / 4 * cell + y));
    }
    return out;
  }
  std::uint32_t Centre(int index) const {
    const int cell = size / 4;
    return At(index % 4 * cell + cell / 2, index / 4 * cell + cell / 2);
  }
};

class SchemeThumbnailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::u16string blue = bed.PathOf(u"Blue");
    ASSERT_TRUE(pointer_files::WriteSamplePointers(std::wstring(blue.begin(), blue.end())).ok());
    bed.WriteFile(bed.PathOf(u"Blue\\broken.cur"), "not a pointer");
  }

  // A provider on the bed's seams, initialised with the scheme at `path`; the caller releases it.
  IThumbnailProvider* Provider(const std::u16string& path) {
    IThumbnailProvider* provider = nullptr;
    EXPECT_EQ(CreateStandalone<CSchemeThumbnail>(kIidThumbnailProvider,
                                                 reinterpret_cast<void**>(&provider)),
              S_OK);
    static_cast<CSchemeThumbnail*>(provider)->UseSeams(seams);
    IInitializeWithFile* init = nullptr;
    provider->QueryInterface(kIidInitializeWithFile, reinterpret_cast<void**>(&init));
    EXPECT_EQ(init->Initialize(reinterpret_cast<const wchar_t*>(path.c_str()), STGM_READ), S_OK);
    init->Release();
    return provider;
  }

  // Draws the thumbnail of a scheme with `text` at `cx`; the bitmap is read and deleted.
  HRESULT Thumbnail(const std::string& text, UINT cx, Picture& picture) {
    bed.WriteFile(bed.PathOf(u"Scheme.crs"), "\xEF\xBB\xBF" + text);
    IThumbnailProvider* provider = Provider(bed.PathOf(u"Scheme.crs"));
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
    const HRESULT result = provider->GetThumbnail(cx, &bitmap, &alpha);
    provider->Release();
    if (bitmap != nullptr) {
      EXPECT_EQ(alpha, WTSAT_ARGB);
      DIBSECTION dib{};
      EXPECT_EQ(GetObjectW(bitmap, sizeof(dib), &dib), static_cast<int>(sizeof(dib)));
      EXPECT_EQ(dib.dsBm.bmBitsPixel, 32);
      picture.size = dib.dsBm.bmWidth;
      EXPECT_EQ(dib.dsBm.bmHeight, picture.size);
      const auto* bits = static_cast<const std::uint32_t*>(dib.dsBm.bmBits);
      picture.pixels.assign(bits, bits + picture.size * picture.size);
      DeleteObject(bitmap);
      EXPECT_EQ(GetObjectType(bitmap), 0u);
    }
    EXPECT_EQ(result == S_OK, bitmap != nullptr);
    return result;
  }

  TestPlatform bed;
  testing::QuietWindows windows;
  Win32PathRules paths;
  ShellSeams seams{bed.registry(), bed.reloader(), paths, windows, bed.files()};
};

bool Transparent(const std::vector<std::uint32_t>& pixels) {
  for (const std::uint32_t pixel : pixels) {
    if (pixel != 0) return false;
  }
  return true;
}

int Opaque(const std::vector<std::uint32_t>& pixels) {
  int count = 0;
  for (const std::uint32_t pixel : pixels) count += (pixel >> 24) == 0xFF ? 1 : 0;
  return count;
}

TEST_F(SchemeThumbnailTest, ShowsEachRoleInItsCellWithTheMarksAndNothingForTheRest) {
  Picture picture;
  ASSERT_EQ(Thumbnail("[Arrow]\r\nPath=Blue\\Arrow.cur\r\n"
                      "[Help]\r\nPath=\r\n"
                      "[AppStarting]\r\nPath=%PIVORA_SCRATCH%\\Blue\\AppStarting.ani\r\n"
                      "[Wait]\r\nPath=Blue\\missing.ani\r\n"
                      "[Crosshair]\r\nPath=Blue\\broken.cur\r\n"
                      "[Hand]\r\nPath=Blue\\Hand.cur\r\n",
                      128, picture),
            S_OK);
  ASSERT_EQ(picture.size, 128);
  for (const int pointer : {0, 2, 14}) {
    const std::vector<std::uint32_t> cell = picture.Cell(pointer);
    EXPECT_GT(Opaque(cell), 8) << "cell " << pointer << " shows no pointer";
    EXPECT_FALSE(Transparent(cell));
  }
  EXPECT_EQ(picture.Centre(1), kSystemPointerMark);
  EXPECT_EQ(picture.Centre(3), kMissingPointerMark);
  EXPECT_EQ(picture.Centre(4), kMissingPointerMark);
  for (const int empty : {5, 6, 7, 8, 9, 10, 11, 12, 13, 15}) {
    EXPECT_TRUE(Transparent(picture.Cell(empty))) << "cell " << empty;
  }
  for (const std::uint32_t pixel : picture.pixels) {
    const std::uint32_t alpha = pixel >> 24;
    for (int shift = 0; shift < 24; shift += 8) {
      ASSERT_LE((pixel >> shift) & 0xFF, alpha) << "not premultiplied: " << std::hex << pixel;
    }
  }
}

TEST_F(SchemeThumbnailTest, SizesBelow32FailAndAbove1024AreDrawnAt1024) {
  Picture picture;
  EXPECT_EQ(Thumbnail("[Help]\r\nPath=\r\n", 31, picture), E_FAIL);
  EXPECT_EQ(Thumbnail("[Help]\r\nPath=\r\n", 32, picture), S_OK);
  EXPECT_EQ(picture.size, 32);
  EXPECT_EQ(Thumbnail("[Help]\r\nPath=\r\n", 4000, picture), S_OK);
  EXPECT_EQ(picture.size, 1024);
  EXPECT_EQ(picture.Centre(1), kSystemPointerMark);
}

TEST_F(SchemeThumbnailTest, AFileThatCannotBeReadGivesNoPicture) {
  IThumbnailProvider* provider = Provider(bed.PathOf(u"Missing.crs"));
  HBITMAP bitmap = reinterpret_cast<HBITMAP>(1);
  WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
  EXPECT_TRUE(FAILED(provider->GetThumbnail(256, &bitmap, &alpha)));
  EXPECT_EQ(bitmap, nullptr);
  provider->Release();
}

// The memory committed to the process alone (Wine 8 leaves PrivateUsage at 0 but keeps this).
SIZE_T PrivateBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  return counters.PagefileUsage;
}

TEST_F(SchemeThumbnailTest, TwoThousandThumbnailsLeaveNothingBehind) {
  if (testing::CzechExpected()) {
    GTEST_SKIP() << "nothing in a thumbnail depends on the language: the soak runs once";
  }
  std::string scheme;
  for (const auto& sample : pointer_files::SamplePointers()) {
    scheme += "[" + sample.value_name + "]\r\nPath=Blue\\" + sample.file_name + "\r\n";
  }
  Picture picture;
  for (int warmUp = 0; warmUp < 100; ++warmUp) ASSERT_EQ(Thumbnail(scheme, 64, picture), S_OK);
  const SIZE_T before = PrivateBytes();
  for (int run = 0; run < 2000; ++run) ASSERT_EQ(Thumbnail(scheme, 64, picture), S_OK);
  // One leaked 16 x 16 canvas per thumbnail would be 2 MB; one leaked picture, 32 MB.
  EXPECT_LT(PrivateBytes(), before + 1024 * 1024);
}

}  // namespace
}  // namespace pivora

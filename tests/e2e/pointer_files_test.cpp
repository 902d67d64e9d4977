// The generated pointer files go through the real loader: each must load as a cursor with the
// hotspot it was written with and draw the picture it was drawn from.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "shellext/gdi.h"
#include "tools/pointer_files.h"

namespace {

namespace fs = std::filesystem;
using pivora::pointer_files::AnimatedCursorFile;
using pivora::pointer_files::Animation;
using pivora::pointer_files::CursorFile;
using pivora::pointer_files::kSize;
using pivora::pointer_files::Picture;
using pivora::pointer_files::Pixel;
using pivora::pointer_files::SamplePointer;
using pivora::pointer_files::SamplePointers;
using pivora::pointer_files::WriteReport;
using pivora::pointer_files::WriteSamplePointers;

// A loaded cursor, destroyed when it goes out of scope.
class Cursor {
 public:
  explicit Cursor(const fs::path& file) : handle_(LoadCursorFromFileW(file.c_str())) {}
  ~Cursor() {
    if (handle_ != nullptr) DestroyCursor(handle_);
  }
  Cursor(const Cursor&) = delete;
  Cursor& operator=(const Cursor&) = delete;

  HCURSOR get() const { return handle_; }

 private:
  HCURSOR handle_;
};

struct LoadedInfo {
  bool ok = false;
  bool is_icon = true;
  DWORD hotspot_x = 0;
  DWORD hotspot_y = 0;
};

LoadedInfo InfoOf(HCURSOR cursor) {
  LoadedInfo info;
  ICONINFO ii{};
  if (!GetIconInfo(cursor, &ii)) return info;
  info.ok = true;
  info.is_icon = ii.fIcon != FALSE;
  info.hotspot_x = ii.xHotspot;
  info.hotspot_y = ii.yHotspot;
  const pivora::UniqueBitmap mask(ii.hbmMask);
  const pivora::UniqueBitmap color(ii.hbmColor);
  return info;
}

constexpr std::uint32_t kBackground = 0x2060A0;  // 0xRRGGBB

// Draws one step of `cursor` over kBackground and returns the pixels as 0xRRGGBB, top row first.
std::vector<std::uint32_t> Render(HCURSOR cursor, UINT step) {
  std::vector<std::uint32_t> out;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = kSize;
  bi.bmiHeader.biHeight = -kSize;  // Top-down.
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  const pivora::UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
  void* bits = nullptr;
  const pivora::UniqueBitmap dib(
      CreateDIBSection(dc.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!dc || !dib || bits == nullptr) return out;
  const pivora::Selection selected = pivora::Select(dc.get(), dib.get());
  auto* px = static_cast<std::uint32_t*>(bits);
  for (int i = 0; i < kSize * kSize; ++i) px[i] = kBackground;
  GdiFlush();
  const BOOL drawn = DrawIconEx(dc.get(), 0, 0, cursor, kSize, kSize, step, nullptr, DI_NORMAL);
  GdiFlush();
  if (drawn) {
    for (int i = 0; i < kSize * kSize; ++i) out.push_back(px[i] & 0xFFFFFF);
  }
  return out;
}

// What a picture looks like over kBackground: opaque pixels exactly, clear ones not at all,
// partly clear ones blended (within rounding).
::testing::AssertionResult LooksLike(const std::vector<std::uint32_t>& drawn,
                                     const Picture& picture) {
  if (drawn.size() != static_cast<std::size_t>(kSize * kSize)) {
    return ::testing::AssertionFailure() << "nothing was drawn";
  }
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      const Pixel want = picture.At(x, y);
      const std::uint32_t got = drawn[static_cast<std::size_t>(y * kSize + x)];
      const int alpha = static_cast<int>(want >> 24);
      for (int shift = 0; shift <= 16; shift += 8) {
        const int fg = static_cast<int>((want >> shift) & 0xFF);
        const int bg = static_cast<int>((kBackground >> shift) & 0xFF);
        const int expected = (fg * alpha + bg * (255 - alpha) + 127) / 255;
        const int actual = static_cast<int>((got >> shift) & 0xFF);
        const int slack = (alpha == 0 || alpha == 255) ? 0 : 3;
        if (std::abs(actual - expected) > slack) {
          return ::testing::AssertionFailure()
                 << "pixel (" << x << ", " << y << ") is 0x" << std::hex << got
                 << ", expected about 0x" << (want & 0xFFFFFF) << " at alpha " << std::dec << alpha
                 << " over 0x" << std::hex << kBackground;
        }
      }
    }
  }
  return ::testing::AssertionSuccess();
}

class PointerFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    ASSERT_GT(n, 0u);
    ASSERT_LE(n, static_cast<DWORD>(MAX_PATH));
    static int counter = 0;
    folder_ =
        fs::path(temp) / (L"pivora-pointer-files-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                          std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(++counter));
    ASSERT_FALSE(fs::exists(folder_));
  }

  void TearDown() override {
    if (folder_.empty()) return;
    std::error_code ec;
    fs::remove_all(folder_, ec);
    EXPECT_FALSE(ec) << ec.message();
  }

  // Writes every sample and expects all of them written.
  void WriteAll() {
    const WriteReport report = WriteSamplePointers(folder_);
    ASSERT_TRUE(report.ok()) << report.error;
    ASSERT_EQ(report.written.size(), samples_.size());
  }

  fs::path Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::error_code ec;
    fs::create_directories(folder_, ec);
    const fs::path path = folder_ / name;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    EXPECT_TRUE(file.good()) << "cannot write " << path.string();
    return path;
  }

  const SamplePointer& Sample(const std::string& value_name) const {
    for (const SamplePointer& s : samples_) {
      if (s.value_name == value_name) return s;
    }
    ADD_FAILURE() << "no sample for " << value_name;
    return samples_.front();
  }

  fs::path folder_;
  const std::vector<SamplePointer> samples_ = SamplePointers();
};

TEST_F(PointerFilesTest, WritesOneFileForEachRoleNamedByItsValueName) {
  ASSERT_NO_FATAL_FAILURE(WriteAll());
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder_)) {
    names.insert(entry.path().filename().string());
  }
  const std::set<std::string> expected = {
      "Arrow.cur",    "Help.cur",     "AppStarting.ani", "Wait.ani",    "Crosshair.cur",
      "IBeam.cur",    "NWPen.cur",    "No.cur",          "SizeNS.cur",  "SizeWE.cur",
      "SizeNWSE.cur", "SizeNESW.cur", "SizeAll.cur",     "UpArrow.cur", "Hand.cur"};
  EXPECT_EQ(names, expected);
  for (const SamplePointer& s : samples_) {
    EXPECT_EQ(fs::file_size(folder_ / s.file_name), s.bytes.size()) << s.file_name;
  }
}

TEST_F(PointerFilesTest, StaticPointersLoadAsCursorsWithTheirHotspots) {
  ASSERT_NO_FATAL_FAILURE(WriteAll());
  int checked = 0;
  for (const SamplePointer& s : samples_) {
    if (s.animated) continue;
    SCOPED_TRACE(s.file_name);
    const Cursor cursor(folder_ / s.file_name);
    ASSERT_NE(cursor.get(), nullptr) << "error " << GetLastError();
    const LoadedInfo info = InfoOf(cursor.get());
    ASSERT_TRUE(info.ok);
    EXPECT_FALSE(info.is_icon);
    EXPECT_EQ(info.hotspot_x, s.drawing.hotspot.x);
    EXPECT_EQ(info.hotspot_y, s.drawing.hotspot.y);
    ++checked;
  }
  EXPECT_EQ(checked, 13);
}

TEST_F(PointerFilesTest, StaticPointersDrawTheirPictures) {
  ASSERT_NO_FATAL_FAILURE(WriteAll());
  for (const SamplePointer& s : samples_) {
    if (s.animated) continue;
    SCOPED_TRACE(s.file_name);
    const Cursor cursor(folder_ / s.file_name);
    ASSERT_NE(cursor.get(), nullptr);
    EXPECT_TRUE(LooksLike(Render(cursor.get(), 0), s.drawing.frames[0]));
  }
}

TEST_F(PointerFilesTest, AnimatedPointersLoadAsCursorsWithTheirHotspots) {
  ASSERT_NO_FATAL_FAILURE(WriteAll());
  int checked = 0;
  for (const SamplePointer& s : samples_) {
    if (!s.animated) continue;
    SCOPED_TRACE(s.file_name);
    EXPECT_GT(s.drawing.frames.size(), 1u);
    const Cursor cursor(folder_ / s.file_name);
    ASSERT_NE(cursor.get(), nullptr) << "error " << GetLastError();
    const LoadedInfo info = InfoOf(cursor.get());
    ASSERT_TRUE(info.ok);
    EXPECT_FALSE(info.is_icon);
    EXPECT_EQ(info.hotspot_x, s.drawing.hotspot.x);
    EXPECT_EQ(info.hotspot_y, s.drawing.hotspot.y);
    ++checked;
  }
  EXPECT_EQ(checked, 2);
}

TEST_F(PointerFilesTest, ACursorWithAnotherHotspotReportsThatHotspot) {
  const Cursor cursor(Write("Moved.cur", CursorFile(Sample("Hand").drawing.frames[0], {30, 2})));
  ASSERT_NE(cursor.get(), nullptr);
  const LoadedInfo info = InfoOf(cursor.get());
  EXPECT_EQ(info.hotspot_x, 30u);
  EXPECT_EQ(info.hotspot_y, 2u);
}

TEST_F(PointerFilesTest, TruncatedFilesDoNotLoad) {
  const SamplePointer& cur = Sample("Arrow");
  const SamplePointer& ani = Sample("Wait");
  // Wine 8 reads past the end of an .ani cut inside its frames and faults, so the animated file
  // is only cut within its header.
  const std::vector<std::pair<const SamplePointer*, std::size_t>> cuts = {
      {&cur, cur.bytes.size() - 1},
      {&cur, cur.bytes.size() / 2},
      {&cur, 30},
      {&cur, 6},
      {&ani, 30},
      {&ani, 6}};
  for (const auto& [sample, keep] : cuts) {
    SCOPED_TRACE(sample->file_name + " cut to " + std::to_string(keep) + " bytes");
    const std::vector<std::uint8_t> cut(sample->bytes.begin(), sample->bytes.begin() + keep);
    const Cursor cursor(Write("cut-" + sample->file_name, cut));
    EXPECT_EQ(cursor.get(), nullptr);
  }
}

TEST_F(PointerFilesTest, GarbageDoesNotLoad) {
  std::vector<std::uint8_t> garbage;
  std::uint32_t state = 12345;
  for (int i = 0; i < 4000; ++i) {
    state = state * 1103515245u + 12345u;
    garbage.push_back(static_cast<std::uint8_t>(state >> 16));
  }
  const Cursor random(Write("garbage.cur", garbage));
  EXPECT_EQ(random.get(), nullptr);
  const std::string text = "this is not a pointer file\r\n";
  const Cursor words(Write("words.ani", std::vector<std::uint8_t>(text.begin(), text.end())));
  EXPECT_EQ(words.get(), nullptr);
}

}  // namespace

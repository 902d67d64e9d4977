// Thumbnails of scheme files, checked by their pixels: the 4 x 4 grid in role order, a pointer
// drawn in its cell, the marks, transparent cells, premultiplied pixels; pointers drawn as the
// system draws them, in every image format a pointer file holds; files that crash the system's
// own loader; the sizes; pointers elsewhere, through links too; PNG images to the system's
// decoder alone; and a long soak that leaves no memory behind.
#include <windows.h>

#include <psapi.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "core/pointer_roles.h"
#include "platform/path_rules_win32.h"
#include "shellext/gdi.h"
#include "shellext/scheme_thumbnail.h"
#include "tests/support/expected_language.h"
#include "tests/support/test_platform.h"
#include "tests/windows/quiet_windows.h"
#include "tools/byte_writer.h"
#include "tools/images.h"
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
  // PNG images are decoded through COM, as on the file manager's threads.
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    const std::u16string blue = bed.PathOf(u"Blue");
    ASSERT_TRUE(pointer_files::WriteSamplePointers(std::wstring(blue.begin(), blue.end())).ok());
    bed.WriteFile(bed.PathOf(u"Blue\\broken.cur"), "not a pointer");
  }
  void TearDown() override { CoUninitialize(); }

  // A provider on the bed's seams, initialised with the scheme at `path`; the caller releases it.
  IThumbnailProvider* Provider(const std::u16string& path) {
    IThumbnailProvider* provider = nullptr;
    EXPECT_EQ(CreateStandalone<CSchemeThumbnail>(kIidThumbnailProvider,
                                                 reinterpret_cast<void**>(&provider)),
              S_OK);
    static_cast<CSchemeThumbnail*>(provider)->UseSeams(*handed);
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

  // Writes `bytes` as the pointer file `name` in the bed and gives its path.
  std::u16string Pointer(const std::u16string& name, const std::vector<std::uint8_t>& bytes) {
    const std::u16string path = bed.PathOf(name);
    bed.WriteFile(path, std::string(bytes.begin(), bytes.end()));
    return path;
  }

  TestPlatform bed;
  testing::QuietWindows windows;
  Win32PathRules paths;
  ShellSeams seams{bed.registry(),
                   bed.reloader(),
                   paths,
                   windows,
                   bed.files(),
                   Win32ShellSeams().pngDecoders,
                   Win32ShellSeams().pause};
  ShellSeams* handed = &seams;  // what the providers are given
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

// ---- Pointers as the system draws them

// The system's own way, kept here as the reference the thumbnail is held to: the pointer loaded
// at the cell's size and its first frame drawn over black and over white. What changes between
// the two is how transparent a pixel is; the drawing over black is its premultiplied colour.
std::vector<std::uint32_t> DrawnBySystem(const std::u16string& file, int cell) {
  const HANDLE pointer = LoadImageW(nullptr, reinterpret_cast<const wchar_t*>(file.c_str()),
                                    IMAGE_CURSOR, cell, cell, LR_LOADFROMFILE);
  if (pointer == nullptr) return {};
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(info.bmiHeader), cell, -cell, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  const UniqueBitmap canvas(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  const UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
  auto* pixels = static_cast<std::uint32_t*>(bits);
  std::vector<std::uint32_t> over[2];
  {
    const Selection selected = Select(dc.get(), canvas.get());
    for (int background = 0; background < 2; ++background) {
      std::fill(pixels, pixels + cell * cell, background == 0 ? 0xFF000000u : 0xFFFFFFFFu);
      DrawIconEx(dc.get(), 0, 0, static_cast<HICON>(pointer), cell, cell, 0, nullptr, DI_NORMAL);
      GdiFlush();
      over[background].assign(pixels, pixels + cell * cell);
    }
  }
  DestroyCursor(static_cast<HCURSOR>(pointer));
  std::vector<std::uint32_t> drawn(over[0].size(), 0u);
  for (std::size_t i = 0; i < drawn.size(); ++i) {
    int alpha = 0;
    for (int shift = 0; shift < 24; shift += 8) {
      const int dark = static_cast<int>((over[0][i] >> shift) & 0xFF);
      const int light = static_cast<int>((over[1][i] >> shift) & 0xFF);
      alpha = std::max(alpha, 255 - std::clamp(light - dark, 0, 255));
    }
    if (alpha == 0) continue;
    std::uint32_t pixel = static_cast<std::uint32_t>(alpha) << 24;
    for (int shift = 0; shift < 24; shift += 8) {
      pixel |= std::min<std::uint32_t>((over[0][i] >> shift) & 0xFF, alpha) << shift;
    }
    drawn[i] = pixel;
  }
  return drawn;
}

// One image of a pointer file made here: `bits` a pixel (1, 4, 8, 24 or 32; 0 for a PNG), with
// straight alpha when `alpha`, a pattern that uses the whole palette and an AND mask that makes
// some pixels transparent and, over colour, some inverted.
struct TestImage {
  int side;
  int bits;
  bool alpha = false;
};

std::uint32_t PaletteColour(int index) {
  return static_cast<std::uint32_t>((index * 37 % 256) << 16 | (index * 91 % 256) << 8 |
                                    (index * 53 % 256));
}
int PaletteIndex(int bits, int x, int y) { return (x * 3 + y * 5) % (1 << bits); }
bool MaskSet(int x, int y) { return (x + 2 * y) % 7 == 0; }
std::uint32_t Colour(int x, int y) {
  return static_cast<std::uint32_t>((x * 4 % 256) << 16 | (y * 4 % 256) << 8 | ((x ^ y) * 4 % 256));
}
std::uint32_t Alpha(int x, int y) { return static_cast<std::uint32_t>((x * 8 + y * 3) % 256); }

std::vector<std::uint8_t> ImageBytes(const TestImage& image) {
  const int side = image.side;
  if (image.bits == 0) {
    std::vector<std::uint8_t> rgba;
    for (int y = 0; y < side; ++y) {
      for (int x = 0; x < side; ++x) {
        const std::uint32_t c = Colour(x, y);
        for (int shift : {16, 8, 0}) rgba.push_back(static_cast<std::uint8_t>(c >> shift));
        rgba.push_back(static_cast<std::uint8_t>(image.alpha ? Alpha(x, y) : 255));
      }
    }
    return images::PngFile(side, side, rgba);
  }
  ByteWriter out;
  out.U32(40);
  out.I32(side);
  out.I32(2 * side);
  out.U16(1);
  out.U16(static_cast<std::uint16_t>(image.bits));
  for (int i = 0; i < 6; ++i) out.U32(0);
  if (image.bits <= 8) {
    for (int i = 0; i < (1 << image.bits); ++i)
      out.U32(image.bits == 1 ? (i ? 0xFFFFFF : 0) : PaletteColour(i));
  }
  // Rows bottom-up, each padded to 32 bits; the colour rows, then the mask's.
  const auto rows = [&](int bits, const std::function<std::uint32_t(int, int)>& value) {
    for (int y = side - 1; y >= 0; --y) {
      std::vector<std::uint8_t> row((static_cast<std::size_t>(side) * bits + 31) / 32 * 4, 0);
      for (int x = 0; x < side; ++x) {
        const std::uint32_t v = value(x, y);
        if (bits >= 8) {
          for (int b = 0; b < bits / 8; ++b)
            row[x * bits / 8 + b] = static_cast<std::uint8_t>(v >> (8 * b));
        } else {
          const int bit = x * bits;
          row[bit / 8] |= static_cast<std::uint8_t>(v << (8 - bits - bit % 8));
        }
      }
      out.Append(row);
    }
  };
  rows(image.bits, [&](int x, int y) -> std::uint32_t {
    if (image.bits <= 8) return static_cast<std::uint32_t>(PaletteIndex(image.bits, x, y));
    if (image.bits == 32 && image.alpha) return Alpha(x, y) << 24 | Colour(x, y);
    return Colour(x, y);
  });
  rows(1, [&](int x, int y) -> std::uint32_t { return MaskSet(x, y) ? 1 : 0; });
  return out.Take();
}

// A cursor file holding `images` in that order.
std::vector<std::uint8_t> CursorOf(const std::vector<TestImage>& images) {
  std::vector<std::vector<std::uint8_t>> bodies;
  for (const TestImage& image : images) bodies.push_back(ImageBytes(image));
  ByteWriter out;
  out.U16(0);
  out.U16(2);
  out.U16(static_cast<std::uint16_t>(images.size()));
  std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    out.U8(static_cast<std::uint8_t>(images[i].side % 256));
    out.U8(static_cast<std::uint8_t>(images[i].side % 256));
    out.U16(0);
    out.U16(1);  // the hotspot
    out.U16(1);
    out.U32(static_cast<std::uint32_t>(bodies[i].size()));
    out.U32(offset);
    offset += static_cast<std::uint32_t>(bodies[i].size());
  }
  for (const auto& body : bodies) out.Append(body);
  return out.Take();
}

// The generated pointers (32 pixels, enlarged to 64) and files made here in every format, drawn
// at 256 pixels by the thumbnail and by the system.
TEST_F(SchemeThumbnailTest, DrawsPointersAsTheSystemDrawsThem) {
  std::vector<std::u16string> files;
  for (const auto& sample : pointer_files::SamplePointers()) {
    files.push_back(
        bed.PathOf(u"Blue\\" + std::u16string(sample.file_name.begin(), sample.file_name.end())));
  }
  const std::vector<std::pair<std::u16string, std::vector<TestImage>>> made = {
      {u"mono.cur", {{64, 1}}},
      {u"nibble.cur", {{64, 4}}},
      {u"palette.cur", {{64, 8}}},
      {u"true.cur", {{64, 24}}},
      {u"unblended.cur", {{64, 32}}},
      {u"blended.cur", {{64, 32, true}}},
      {u"small.cur", {{32, 24}}},
      {u"odd.cur", {{48, 8}}},
      {u"png.cur", {{64, 0, true}}},
      {u"smallpng.cur", {{32, 0, true}}},
      {u"sizes.cur", {{16, 8}, {32, 24}, {48, 32, true}, {96, 24}}}};
  for (const auto& [name, images] : made) files.push_back(Pointer(name, CursorOf(images)));

  for (std::size_t first = 0; first < files.size(); first += 15) {
    std::string text;
    for (std::size_t role = 0; role < 15 && first + role < files.size(); ++role) {
      const std::u16string& file = files[first + role];
      text +=
          "[" +
          std::string(PointerRoles[role].valueName.begin(), PointerRoles[role].valueName.end()) +
          "]\r\nPath=" + std::string(file.begin(), file.end()) + "\r\n";
    }
    Picture picture;
    ASSERT_EQ(Thumbnail(text, 256, picture), S_OK);
    for (std::size_t role = 0; role < 15 && first + role < files.size(); ++role) {
      const std::u16string& file = files[first + role];
      const std::vector<std::uint32_t> expected = DrawnBySystem(file, 64);
      ASSERT_FALSE(expected.empty());
      EXPECT_TRUE(picture.Cell(static_cast<int>(role)) == expected)
          << std::string(file.begin(), file.end());
    }
  }
}

// Two shapes the system's own loader takes the whole process down with: an image whose header
// says it is one pixel high, and an animation whose first frame is a PNG of odd length with a
// second frame after it. The thumbnail never hands a pointer file to that loader.
TEST_F(SchemeThumbnailTest, FilesThatCrashTheSystemsLoaderAreDrawnOrMarked) {
  ByteWriter flat;
  flat.U16(0);
  flat.U16(2);
  flat.U16(1);
  flat.U8(8);
  flat.U8(8);
  flat.U16(0);
  flat.U32(0);
  flat.U32(304);
  flat.U32(22);
  flat.U32(40);
  flat.I32(8);
  flat.I32(1);
  flat.U16(1);
  flat.U16(32);
  for (int i = 0; i < 6; ++i) flat.U32(0);
  for (int i = 0; i < 66; ++i) flat.U32(0xFF2080C0);
  ASSERT_EQ(flat.data().size(), 326u);
  Pointer(u"flat.cur", flat.Take());

  std::vector<std::uint8_t> png = CursorOf({{31, 0, true}});
  if (png.size() % 2 == 0) png.push_back(0);
  ByteWriter ani;
  const std::size_t riff = ani.BeginChunk("RIFF");
  ani.Tag("ACON");
  const std::size_t header = ani.BeginChunk("anih");
  for (const std::uint32_t field : {36u, 2u, 2u, 0u, 0u, 0u, 0u, 6u, 1u}) ani.U32(field);
  ani.EndChunk(header);
  const std::size_t list = ani.BeginChunk("LIST");
  ani.Tag("fram");
  const std::size_t first = ani.BeginChunk("icon");
  ani.Append(png);
  ani.EndChunk(first);
  const std::size_t second = ani.BeginChunk("icon");
  ani.Append(CursorOf({{32, 24}}));
  ani.EndChunk(second);
  ani.EndChunk(list);
  ani.EndChunk(riff);
  Pointer(u"odd.ani", ani.Take());

  Picture picture;
  ASSERT_EQ(Thumbnail("[Arrow]\r\nPath=flat.cur\r\n[Help]\r\nPath=odd.ani\r\n", 256, picture),
            S_OK);
  EXPECT_EQ(picture.Centre(0), kMissingPointerMark);
  EXPECT_GT(Opaque(picture.Cell(1)), 8) << "the PNG frame is drawn";
}

// A thumbnail's PNG images go to a decoder the seams make for it, each image whole, and what the
// decoder gives is what the cell shows.
TEST_F(SchemeThumbnailTest, DecodesPngImagesThroughTheSeams) {
  static constexpr std::uint32_t kGreen = 0xFF00C000;
  struct Recorded {
    int made = 0;
    std::vector<std::vector<std::uint8_t>> images;
  } recorded;
  class Decoder final : public PngDecoder {
   public:
    explicit Decoder(Recorded& recorded) : recorded_(recorded) {}
    std::optional<PointerPixels> Decode(std::span<const std::uint8_t> png) override {
      recorded_.images.emplace_back(png.begin(), png.end());
      return PointerPixels{64, 64, std::vector<std::uint32_t>(64 * 64, kGreen)};
    }

   private:
    Recorded& recorded_;
  };
  class Decoders final : public PngDecoders {
   public:
    explicit Decoders(Recorded& recorded) : recorded_(recorded) {}
    std::unique_ptr<PngDecoder> Make() override {
      ++recorded_.made;
      return std::make_unique<Decoder>(recorded_);
    }

   private:
    Recorded& recorded_;
  } decoders(recorded);
  ShellSeams own{seams.registry, seams.reloader, seams.paths, seams.windows,
                 seams.files,    decoders,       seams.pause};
  handed = &own;
  Pointer(u"png.cur", CursorOf({{64, 0, true}}));
  Pointer(u"again.cur", CursorOf({{64, 0, true}}));
  Pointer(u"true.cur", CursorOf({{64, 24}}));

  Picture picture;
  ASSERT_EQ(Thumbnail("[Arrow]\r\nPath=png.cur\r\n[Help]\r\nPath=true.cur\r\n"
                      "[AppStarting]\r\nPath=again.cur\r\n",
                      256, picture),
            S_OK);
  EXPECT_EQ(recorded.made, 1);
  ASSERT_EQ(recorded.images.size(), 2u);
  EXPECT_EQ(recorded.images[0], ImageBytes({64, 0, true}));
  EXPECT_EQ(picture.Centre(0), kGreen);
  EXPECT_NE(picture.Centre(1), kGreen) << "a DIB image is not the decoder's";
  EXPECT_EQ(picture.Centre(2), kGreen);
}

// ---- Pointers elsewhere

// Wine serves \\host\share from the prefix's dosdevices\unc\host\share; the share is made there,
// through the prefix's own path on the Unix root drive, unless the file trace's script made it
// already (so the trace shows the thumbnail's calls alone).
std::wstring MakeShare() {
  wchar_t prefix[MAX_PATH] = L"";
  if (GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH) == 0) return L"";
  std::wstring share = L"Z:" + std::wstring(prefix) + L"/dosdevices/unc/host/share";
  std::replace(share.begin(), share.end(), L'/', L'\\');
  if (GetEnvironmentVariableW(L"PIVORA_SHARE_MADE", nullptr, 0) != 0) return share;
  std::filesystem::create_directories(share);
  const auto arrow = pointer_files::SamplePointers()[0].bytes;
  std::ofstream(std::filesystem::path(share) / L"x.cur", std::ios::binary)
      .write(reinterpret_cast<const char*>(arrow.data()),
             static_cast<std::streamsize>(arrow.size()));
  return share;
}

// Runs a Unix program, which Wine starts as it starts any, and waits until `done` holds: Wine
// gives a Unix program's handle no exit code to wait for.
bool RunUnix(const wchar_t* program, std::wstring command, const std::function<bool()>& done) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(program, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  for (const ULONGLONG deadline = GetTickCount64() + 10000; GetTickCount64() < deadline;
       Sleep(10)) {
    if (done()) return true;
  }
  return false;
}

// A link to a folder, as Wine can show one. Wine 8's CreateSymbolicLinkW makes nothing (yet says
// it did) and its file system takes no reparse point; a Unix symbolic link is what it shows as
// a link: to a folder, as a reparse point with no tag (attributes 0x410, dwReserved0 0); to a
// file, as a plain file. Wine cannot delete such a link either (RemoveDirectoryW gives error 32,
// DeleteFileW error 5), so the Unix `ln` makes it and `rm` takes it away.
class UnixFolderLink {
 public:
  // `target` is a Unix path: naming it in Windows form would show in the file trace.
  UnixFolderLink(const std::wstring& link, const std::wstring& target) : link_(link) {
    using UnixName = char*(CDECL*)(LPCWSTR);
    const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    char* name = unixName != nullptr ? unixName(link.c_str()) : nullptr;
    if (name == nullptr) return;
    unixLink_ = L" \"" + std::wstring(name, name + std::strlen(name)) + L"\"";
    HeapFree(GetProcessHeap(), 0, name);
    made = RunUnix(L"Z:\\bin\\ln", L"/bin/ln -sfn \"" + target + L"\"" + unixLink_,
                   [&] { return GetFileAttributesW(link_.c_str()) != INVALID_FILE_ATTRIBUTES; });
  }
  ~UnixFolderLink() {
    if (made) {
      RunUnix(L"Z:\\bin\\rm", L"/bin/rm" + unixLink_,
              [&] { return GetFileAttributesW(link_.c_str()) == INVALID_FILE_ATTRIBUTES; });
    }
  }
  UnixFolderLink(const UnixFolderLink&) = delete;
  UnixFolderLink& operator=(const UnixFolderLink&) = delete;

  bool made = false;

 private:
  std::wstring link_;
  std::wstring unixLink_;  // quoted, with a blank before it
};

constexpr char kElsewhereScheme[] =
    "[Arrow]\r\nPath=\\\\host\\share\\x.cur\r\n"
    "[Help]\r\nPath=%PIVORA_REMOTE%\\x.cur\r\n"
    "[AppStarting]\r\nPath=\\\\?\\UNC\\host\\share\\x.cur\r\n"
    "[Wait]\r\nPath=\\\\.\\UNC\\host\\share\\x.cur\r\n"
    "[Crosshair]\r\nPath=\\\\host@SSL\\DavWWWRoot\\x.cur\r\n"
    "[IBeam]\r\nPath=CON\r\n"
    "[NWPen]\r\nPath=NUL\r\n"
    "[No]\r\nPath=CONIN$\r\n"
    "[SizeNS]\r\nPath=linked-share\\x.cur\r\n"
    "[Hand]\r\nPath=Blue\\Hand.cur\r\n";

// What the next test relies on: the system itself does reach the share.
TEST_F(SchemeThumbnailTest, TheSystemReachesThePointerOnTheShare) {
  if (MakeShare().empty()) GTEST_SKIP() << "not under Wine";
  EXPECT_FALSE(DrawnBySystem(u"\\\\host\\share\\x.cur", 64).empty());
}

// Under WINEDEBUG=+file, tests/windows/file_trace_test.sh runs this one alone and finds no file
// call naming the share in the trace, nor any through the folder linked to it.
TEST_F(SchemeThumbnailTest, PointersElsewhereAreMarkedAndNeverTouched) {
  if (MakeShare().empty()) GTEST_SKIP() << "not under Wine";
  wchar_t prefix[MAX_PATH] = L"";
  GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH);
  const std::u16string link = bed.PathOf(u"linked-share");
  const UnixFolderLink linked(std::wstring(link.begin(), link.end()),
                              std::wstring(prefix) + L"/dosdevices/unc/host/share");
  ASSERT_TRUE(linked.made);
  SetEnvironmentVariableW(L"PIVORA_REMOTE", L"\\\\host\\share");
  Picture picture;
  ASSERT_EQ(Thumbnail(kElsewhereScheme, 256, picture), S_OK);
  SetEnvironmentVariableW(L"PIVORA_REMOTE", nullptr);
  for (int role = 0; role < 9; ++role) {
    EXPECT_EQ(picture.At(role % 4 * 64 + 48, role / 4 * 64 + 32), kElsewherePointerMark)
        << "role " << role;
    EXPECT_EQ(Opaque(picture.Cell(role)) > 1000, false) << "role " << role << " drawn";
  }
  EXPECT_EQ(picture.Cell(14), DrawnBySystem(bed.PathOf(u"Blue\\Hand.cur"), 64));
}

// A codec that claims the bytes a PNG image begins with, registered as an installed codec is (the
// imaging component's decoder category, its pattern), its class served from this process: it
// counts how often it is created and then declines.
class ForeignPngCodec final : public IClassFactory {
 public:
  static constexpr CLSID kClass = GuidFromText(u"{00000001-5EED-4C0D-8E5A-C0DEC0DEC0DE}");
  ForeignPngCodec() {
    const std::wstring id = L"{00000001-5EED-4C0D-8E5A-C0DEC0DEC0DE}";
    const auto text = [](std::wstring_view value) {  // with its terminator
      const auto* bytes = reinterpret_cast<const BYTE*>(value.data());
      return std::vector<BYTE>(bytes, bytes + (value.size() + 1) * sizeof(wchar_t));
    };
    const std::wstring pattern = key_ + id + L"\\Patterns\\0";
    const std::tuple<std::wstring, const wchar_t*, DWORD, std::vector<BYTE>> values[] = {
        {instance_ + id, L"CLSID", REG_SZ, text(id)},
        {key_ + id, L"ContainerFormat", REG_SZ, text(L"{1B7CFAF4-713F-473C-BBCD-6137425FAEAF}")},
        {pattern, L"Position", REG_DWORD, {0, 0, 0, 0}},
        {pattern, L"Length", REG_DWORD, {8, 0, 0, 0}},
        {pattern, L"Pattern", REG_BINARY, {0x89, 'P', 'N', 'G', 13, 10, 26, 10}},
        {pattern, L"Mask", REG_BINARY, std::vector<BYTE>(8, 0xFF)}};
    registered = true;
    for (const auto& [key, name, type, data] : values) {
      registered =
          registered && RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, type, data.data(),
                                        static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
    }
    registered = registered && SUCCEEDED(CoRegisterClassObject(kClass, this, CLSCTX_INPROC_SERVER,
                                                               REGCLS_MULTIPLEUSE, &cookie_));
    key_ += id;
    instance_ += id;
  }
  ~ForeignPngCodec() {
    if (cookie_ != 0) CoRevokeClassObject(cookie_);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, key_.c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, instance_.c_str());
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(IClassFactory))
               ? static_cast<IClassFactory*>(this)
               : nullptr;
    return *out != nullptr ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, void** out) override {
    ++created;
    *out = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  bool registered = false;
  int created = 0;

 private:
  std::wstring key_ = L"Software\\Classes\\CLSID\\";
  std::wstring instance_ =
      L"Software\\Classes\\CLSID\\{7ED96837-96F0-4812-B211-F13C24117ED3}\\Instance\\";
  DWORD cookie_ = 0;
};

TEST_F(SchemeThumbnailTest, PngImagesGoToTheSystemsDecoderAlone) {
  ForeignPngCodec codec;
  ASSERT_TRUE(codec.registered);
  const std::vector<std::uint8_t> png = ImageBytes({64, 0, true});
  {
    // What the test relies on: the imaging component, choosing by the bytes, asks this codec.
    IWICImagingFactory* factory = nullptr;
    ASSERT_EQ(CoCreateInstance(GuidFromText(u"{CACAF262-9370-4615-A13B-9F5539DA4C0A}"), nullptr,
                               CLSCTX_INPROC_SERVER, __uuidof(IWICImagingFactory),
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    IWICStream* stream = nullptr;
    factory->CreateStream(&stream);
    stream->InitializeFromMemory(const_cast<BYTE*>(png.data()), static_cast<DWORD>(png.size()));
    IWICBitmapDecoder* decoder = nullptr;
    factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand, &decoder);
    if (decoder != nullptr) decoder->Release();
    stream->Release();
    factory->Release();
    ASSERT_GT(codec.created, 0);
  }
  codec.created = 0;
  Pointer(u"png.cur", CursorOf({{64, 0, true}}));
  Picture picture;
  ASSERT_EQ(Thumbnail("[Arrow]\r\nPath=png.cur\r\n", 256, picture), S_OK);
  EXPECT_EQ(codec.created, 0);
  EXPECT_TRUE(picture.Cell(0) == DrawnBySystem(bed.PathOf(u"png.cur"), 64));
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

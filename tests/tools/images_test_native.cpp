// The library's images: the committed files match the generator, and the bytes are what the
// resource compiler and the system's image loaders expect.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/images.h"

namespace pivora::images {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t U16(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(b.at(at) | (b.at(at + 1) << 8));
}

std::uint32_t U32(const Bytes& b, std::size_t at) { return U16(b, at) | (U16(b, at + 2) << 16); }

std::int32_t I32(const Bytes& b, std::size_t at) { return static_cast<std::int32_t>(U32(b, at)); }

std::uint32_t BigU32(const Bytes& b, std::size_t at) {
  return (static_cast<std::uint32_t>(b.at(at)) << 24) | (b.at(at + 1) << 16) | (b.at(at + 2) << 8) |
         b.at(at + 3);
}

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

const std::filesystem::path kResources = std::filesystem::path(PIVORA_SOURCE_DIR) / "resources";

// Drawn once for the whole run; every call gives the same bytes.
const Bytes& Icon() {
  static const Bytes icon = SchemeIconFile();
  return icon;
}

const std::vector<Rendering>& AllRenderings() {
  static const std::vector<Rendering> renderings = Renderings();
  return renderings;
}

// ---- The committed files ----

TEST(CommittedImagesTest, GlyphMatchesTheGenerator) {
  const Bytes committed = ReadFile(kResources / "glyph.bmp");
  ASSERT_FALSE(committed.empty()) << "resources/glyph.bmp is missing";
  EXPECT_TRUE(committed == GlyphBitmapFile())
      << "resources/glyph.bmp differs from the drawing; run make_images resources";
}

TEST(CommittedImagesTest, IconMatchesTheGenerator) {
  const Bytes committed = ReadFile(kResources / "pivora.ico");
  ASSERT_FALSE(committed.empty()) << "resources/pivora.ico is missing";
  EXPECT_TRUE(committed == Icon())
      << "resources/pivora.ico differs from the drawing; run make_images resources";
}

// ---- The glyph ----

constexpr std::size_t kGlyphPixels = 14 + 40;

struct Bgra {
  std::uint8_t b, g, r, a;
};

// Pixel (x, y) counted from the top-left, in a bottom-up DIB.
Bgra GlyphPixel(const Bytes& file, int x, int y) {
  const std::size_t at = kGlyphPixels + static_cast<std::size_t>((12 - y) * 52 + x * 4);
  return {file.at(at), file.at(at + 1), file.at(at + 2), file.at(at + 3)};
}

TEST(GlyphTest, HeadersDescribeA13By13PremultipliedBitmap) {
  const Bytes file = GlyphBitmapFile();
  ASSERT_EQ(file.size(), 730u);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  EXPECT_EQ(U32(file, 2), 730u);
  EXPECT_EQ(U32(file, 6), 0u);
  EXPECT_EQ(U32(file, 10), 54u);
  const std::size_t dib = 14;
  EXPECT_EQ(U32(file, dib), 40u);
  EXPECT_EQ(I32(file, dib + 4), 13);
  EXPECT_EQ(I32(file, dib + 8), 13);  // positive: rows run bottom-up
  EXPECT_EQ(U16(file, dib + 12), 1u);
  EXPECT_EQ(U16(file, dib + 14), 32u);
  EXPECT_EQ(U32(file, dib + 16), 0u);
  EXPECT_EQ(U32(file, dib + 20), 0u);
  EXPECT_EQ(I32(file, dib + 24), 3779);
  EXPECT_EQ(I32(file, dib + 28), 3779);
  EXPECT_EQ(U32(file, dib + 32), 0u);
  EXPECT_EQ(U32(file, dib + 36), 0u);
  EXPECT_EQ(file.size() - dib, 716u);
}

TEST(GlyphTest, NoColourChannelExceedsItsAlpha) {
  const Bytes file = GlyphBitmapFile();
  for (int y = 0; y < kGlyphSize; ++y) {
    for (int x = 0; x < kGlyphSize; ++x) {
      const Bgra p = GlyphPixel(file, x, y);
      EXPECT_LE(p.b, p.a) << x << "," << y;
      EXPECT_LE(p.g, p.a) << x << "," << y;
      EXPECT_LE(p.r, p.a) << x << "," << y;
    }
  }
}

TEST(GlyphTest, CornersAreFullyTransparent) {
  const Bytes file = GlyphBitmapFile();
  for (auto [x, y] : {std::pair{0, 0}, {12, 0}, {0, 12}, {12, 12}}) {
    const Bgra p = GlyphPixel(file, x, y);
    EXPECT_EQ(p.a, 0) << x << "," << y;
    EXPECT_EQ(p.b | p.g | p.r, 0) << x << "," << y;
  }
}

// A white pointer ringed in a dark colour, pointing to the top-left, with a translucent shadow
// lying below and to the right of it.
TEST(GlyphTest, ShowsAWhitePointerWithOutlineAndShadow) {
  const Bytes file = GlyphBitmapFile();
  int white = 0, dark = 0, shadow = 0;
  double opaque_x = 0, opaque_y = 0, shadow_x = 0, shadow_y = 0;
  int top = kGlyphSize, left_at_top = kGlyphSize;
  for (int y = 0; y < kGlyphSize; ++y) {
    for (int x = 0; x < kGlyphSize; ++x) {
      const Bgra p = GlyphPixel(file, x, y);
      if (p.a == 255) {
        if (p.r == 255 && p.g == 255 && p.b == 255) ++white;
        if (p.r < 64 && p.g < 64 && p.b < 64) ++dark;
        opaque_x += x;
        opaque_y += y;
        if (y < top) {
          top = y;
          left_at_top = x;
        }
      } else if (p.a > 0) {
        ++shadow;
        shadow_x += x;
        shadow_y += y;
      }
    }
  }
  const int opaque = white + dark;
  ASSERT_GT(white, 10);
  ASSERT_GT(dark, 10);
  ASSERT_GT(shadow, 10);
  EXPECT_LE(top, 1);
  EXPECT_LE(left_at_top, 1);
  EXPECT_GT(shadow_x / shadow, opaque_x / opaque);
  EXPECT_GT(shadow_y / shadow, opaque_y / opaque);
}

// ---- The icon ----

struct Entry {
  int size;
  int bits;
};

constexpr Entry kEntries[] = {{48, 4}, {32, 4},  {16, 4},  {48, 8}, {32, 8},
                              {16, 8}, {48, 32}, {32, 32}, {16, 32}};

std::uint32_t RowBytes(int width, int bits) {
  return static_cast<std::uint32_t>((width * bits + 31) / 32 * 4);
}

std::uint32_t PaletteBytes(int bits) { return bits <= 8 ? 4u << bits : 0u; }

std::uint32_t ImageBytes(Entry e) {
  const auto rows = static_cast<std::uint32_t>(e.size);
  return 40 + PaletteBytes(e.bits) + RowBytes(e.size, e.bits) * rows + RowBytes(e.size, 1) * rows;
}

// One icon image read back: straight R,G,B,A per pixel top-down and the AND mask.
struct Decoded {
  struct Rgba {
    int r, g, b, a;
  };
  std::vector<Rgba> pixels;
  std::vector<bool> mask;
};

Decoded Decode(const Bytes& file, std::size_t at, Entry e) {
  Decoded d;
  const std::size_t palette = at + 40;
  std::size_t pos = palette + PaletteBytes(e.bits);
  d.pixels.resize(static_cast<std::size_t>(e.size * e.size));
  d.mask.resize(d.pixels.size());
  for (int row = 0; row < e.size; ++row, pos += RowBytes(e.size, e.bits)) {
    for (int x = 0; x < e.size; ++x) {
      auto& p = d.pixels[static_cast<std::size_t>((e.size - 1 - row) * e.size + x)];
      std::size_t c = 0;
      if (e.bits == 32) {
        c = pos + static_cast<std::size_t>(x) * 4;
        p.a = file.at(c + 3);
      } else {
        const int per_byte = 8 / e.bits;
        const int byte = file.at(pos + static_cast<std::size_t>(x / per_byte));
        const int index = (byte >> ((per_byte - 1 - x % per_byte) * e.bits)) & ((1 << e.bits) - 1);
        c = palette + static_cast<std::size_t>(index) * 4;
        p.a = 255;
      }
      p.b = file.at(c);
      p.g = file.at(c + 1);
      p.r = file.at(c + 2);
    }
  }
  for (int row = 0; row < e.size; ++row, pos += RowBytes(e.size, 1)) {
    for (int x = 0; x < e.size; ++x) {
      const int byte = file.at(pos + static_cast<std::size_t>(x / 8));
      d.mask[static_cast<std::size_t>((e.size - 1 - row) * e.size + x)] = (byte >> (7 - x % 8)) & 1;
    }
  }
  return d;
}

TEST(IconTest, DirectoryListsNineImagesInOrderBackToBack) {
  const Bytes& file = Icon();
  EXPECT_EQ(U16(file, 0), 0u);
  EXPECT_EQ(U16(file, 2), 1u);
  ASSERT_EQ(U16(file, 4), 9u);
  std::uint32_t expected_offset = 6 + 16 * 9;
  for (std::size_t i = 0; i < 9; ++i) {
    const Entry e = kEntries[i];
    const std::size_t at = 6 + 16 * i;
    SCOPED_TRACE(std::to_string(e.size) + "x" + std::to_string(e.size) + " " +
                 std::to_string(e.bits) + "bpp");
    EXPECT_EQ(file.at(at), e.size);
    EXPECT_EQ(file.at(at + 1), e.size);
    EXPECT_EQ(file.at(at + 2), e.bits == 4 ? 16 : 0);
    EXPECT_EQ(file.at(at + 3), 0);
    EXPECT_EQ(U16(file, at + 4), 1u);
    EXPECT_EQ(U16(file, at + 6), static_cast<std::uint32_t>(e.bits));
    EXPECT_EQ(U32(file, at + 8), ImageBytes(e));
    EXPECT_EQ(U32(file, at + 12), expected_offset);
    expected_offset += ImageBytes(e);
  }
  EXPECT_EQ(file.size(), expected_offset);
}

TEST(IconTest, EachImageHeaderCoversColourBitmapAndMask) {
  const Bytes& file = Icon();
  for (std::size_t i = 0; i < 9; ++i) {
    const Entry e = kEntries[i];
    const std::size_t at = U32(file, 6 + 16 * i + 12);
    SCOPED_TRACE(std::to_string(e.size) + " " + std::to_string(e.bits));
    EXPECT_EQ(U32(file, at), 40u);
    EXPECT_EQ(I32(file, at + 4), e.size);
    EXPECT_EQ(I32(file, at + 8), 2 * e.size);
    EXPECT_EQ(U16(file, at + 12), 1u);
    EXPECT_EQ(U16(file, at + 14), static_cast<std::uint32_t>(e.bits));
    EXPECT_EQ(U32(file, at + 16), 0u);
    // Zero means the whole palette the depth allows is present.
    EXPECT_EQ(U32(file, at + 32), 0u);
  }
}

TEST(IconTest, TrueColourMaskIsSetExactlyWhereAlphaIsZero) {
  const Bytes& file = Icon();
  for (std::size_t i = 6; i < 9; ++i) {
    const Decoded d = Decode(file, U32(file, 6 + 16 * i + 12), kEntries[i]);
    int clear = 0;
    for (std::size_t p = 0; p < d.pixels.size(); ++p) {
      EXPECT_EQ(d.mask[p], d.pixels[p].a == 0) << kEntries[i].size << " pixel " << p;
      clear += d.mask[p];
    }
    EXPECT_GT(clear, 0);
  }
}

// Straight alpha: a faint edge keeps its colour rather than fading it towards black, so some
// translucent pixel has a channel above its alpha, which premultiplied data never has. (The
// 16-pixel image is pixel art whose only translucent pixels are black shadow, alike either way.)
TEST(IconTest, TrueColourImagesCarryStraightAlpha) {
  const Bytes& file = Icon();
  for (std::size_t i = 6; i < 8; ++i) {
    const Decoded d = Decode(file, U32(file, 6 + 16 * i + 12), kEntries[i]);
    bool above = false;
    for (const auto& p : d.pixels) {
      if (p.a > 0 && p.a < 255 && std::max({p.r, p.g, p.b}) > p.a) above = true;
    }
    EXPECT_TRUE(above) << kEntries[i].size;
  }
}

// Under a set mask bit the colour must be black, or the screen would be XORed instead of showing
// through unchanged.
TEST(IconTest, ColourTableImagesAreBlackWhereverTheMaskLetsTheScreenThrough) {
  const Bytes& file = Icon();
  for (std::size_t i = 0; i < 6; ++i) {
    const Decoded d = Decode(file, U32(file, 6 + 16 * i + 12), kEntries[i]);
    int clear = 0;
    for (std::size_t p = 0; p < d.pixels.size(); ++p) {
      if (!d.mask[p]) continue;
      ++clear;
      EXPECT_EQ(d.pixels[p].r | d.pixels[p].g | d.pixels[p].b, 0) << i << " pixel " << p;
    }
    EXPECT_GT(clear, 0) << i;
  }
}

TEST(IconTest, SixteenAndTwoFiftySixColourImagesHaveTheSameShape) {
  const Bytes& file = Icon();
  for (std::size_t i = 0; i < 3; ++i) {
    const Decoded four = Decode(file, U32(file, 6 + 16 * i + 12), kEntries[i]);
    const Decoded eight = Decode(file, U32(file, 6 + 16 * (i + 3) + 12), kEntries[i + 3]);
    EXPECT_EQ(four.mask, eight.mask) << kEntries[i].size;
  }
}

// Every image shows white, red and green pointers with dark outlines on a clear background.
TEST(IconTest, EveryImageShowsWhiteRedAndGreenPointersOnClearCorners) {
  const Bytes& file = Icon();
  for (std::size_t i = 0; i < 9; ++i) {
    const Entry e = kEntries[i];
    const Decoded d = Decode(file, U32(file, 6 + 16 * i + 12), e);
    int white = 0, red = 0, green = 0, dark = 0;
    for (std::size_t p = 0; p < d.pixels.size(); ++p) {
      const auto& c = d.pixels[p];
      if (d.mask[p] || c.a < 255) continue;
      if (c.r > 230 && c.g > 230 && c.b > 230) ++white;
      if (c.r > 180 && c.g < 100 && c.b < 100) ++red;
      if (c.g > 100 && c.r < 100 && c.b < 120) ++green;
      if (c.r < 64 && c.g < 64 && c.b < 64) ++dark;
    }
    SCOPED_TRACE(std::to_string(e.size) + " " + std::to_string(e.bits));
    EXPECT_GE(white, e.size / 2);
    EXPECT_GE(red, e.size / 4);
    EXPECT_GE(green, e.size / 4);
    EXPECT_GE(dark, e.size);
    const int last = e.size - 1;
    for (int corner : {0, last, last * e.size, last * e.size + last}) {
      EXPECT_TRUE(d.mask[static_cast<std::size_t>(corner)]) << corner;
    }
  }
}

// ---- PNG ----

std::uint32_t Crc(const Bytes& b, std::size_t from, std::size_t to) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = from; i < to; ++i) {
    crc ^= b[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

struct Png {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  Bytes ihdr;
  Bytes raw;  // The inflated image data: a filter byte and the pixels of each row.
};

// Reads a PNG whose image data is in stored deflate blocks, checking every chunk's CRC, the
// block lengths and the Adler-32 sum on the way.
Png ReadPng(const Bytes& file) {
  const Bytes signature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (file.size() < 8 || !std::equal(signature.begin(), signature.end(), file.begin())) {
    throw std::runtime_error("no PNG signature");
  }
  Png png;
  Bytes zlib;
  bool ended = false;
  for (std::size_t at = 8; at < file.size();) {
    const std::uint32_t length = BigU32(file, at);
    const std::string type(file.begin() + static_cast<std::ptrdiff_t>(at + 4),
                           file.begin() + static_cast<std::ptrdiff_t>(at + 8));
    const std::size_t data = at + 8;
    if (Crc(file, at + 4, data + length) != BigU32(file, data + length)) {
      throw std::runtime_error("bad CRC in " + type);
    }
    const Bytes body(file.begin() + static_cast<std::ptrdiff_t>(data),
                     file.begin() + static_cast<std::ptrdiff_t>(data + length));
    if (type == "IHDR") png.ihdr = body;
    if (type == "IDAT") zlib.insert(zlib.end(), body.begin(), body.end());
    if (type == "IEND") ended = data + length + 4 == file.size();
    at = data + length + 4;
  }
  if (!ended) throw std::runtime_error("IEND is not the last chunk");
  if (png.ihdr.size() != 13) throw std::runtime_error("bad IHDR");
  png.width = BigU32(png.ihdr, 0);
  png.height = BigU32(png.ihdr, 4);
  if ((zlib.at(0) * 256 + zlib.at(1)) % 31 != 0 || (zlib[0] & 0x0F) != 8) {
    throw std::runtime_error("bad zlib header");
  }
  std::size_t at = 2;
  for (bool last = false; !last;) {
    last = zlib.at(at) & 1;
    if ((zlib[at] >> 1) != 0) throw std::runtime_error("not a stored block");
    const std::uint32_t n = U16(zlib, at + 1);
    if ((n ^ U16(zlib, at + 3)) != 0xFFFF) throw std::runtime_error("bad block length");
    png.raw.insert(png.raw.end(), zlib.begin() + static_cast<std::ptrdiff_t>(at + 5),
                   zlib.begin() + static_cast<std::ptrdiff_t>(at + 5 + n));
    at += 5 + n;
  }
  std::uint32_t a = 1, b = 0;
  for (std::uint8_t byte : png.raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  if (BigU32(zlib, at) != ((b << 16) | a) || at + 4 != zlib.size()) {
    throw std::runtime_error("bad Adler-32 or trailing data");
  }
  return png;
}

// R,G,B,A of pixel (x, y) of an unfiltered RGBA image.
std::vector<int> PngPixel(const Png& png, std::uint32_t x, std::uint32_t y) {
  const std::size_t at = y * (1 + png.width * 4) + 1 + x * 4;
  return {png.raw.at(at), png.raw.at(at + 1), png.raw.at(at + 2), png.raw.at(at + 3)};
}

TEST(PngTest, HoldsThePixelsAsGivenAcrossSeveralStoredBlocks) {
  // 200 x 100 RGBA is 80,100 bytes of image data: more than one stored block holds.
  const int width = 200, height = 100;
  Bytes rgba;
  for (int i = 0; i < width * height * 4; ++i) rgba.push_back(static_cast<std::uint8_t>(i * 7));
  const Png png = ReadPng(PngFile(width, height, rgba));
  EXPECT_EQ(png.width, 200u);
  EXPECT_EQ(png.height, 100u);
  EXPECT_EQ(png.ihdr[8], 8);   // bits per channel
  EXPECT_EQ(png.ihdr[9], 6);   // RGBA
  EXPECT_EQ(png.ihdr[12], 0);  // not interlaced
  ASSERT_EQ(png.raw.size(), static_cast<std::size_t>(height * (1 + width * 4)));
  for (int y = 0; y < height; ++y) {
    const std::size_t row = static_cast<std::size_t>(y * (1 + width * 4));
    ASSERT_EQ(png.raw[row], 0) << y;
    ASSERT_TRUE(std::equal(rgba.begin() + y * width * 4, rgba.begin() + (y + 1) * width * 4,
                           png.raw.begin() + static_cast<std::ptrdiff_t>(row + 1)))
        << y;
  }
}

TEST(PngTest, EndsWithTheFixedEndChunk) {
  const Bytes file = PngFile(1, 1, {1, 2, 3, 4});
  const Bytes iend = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
  ASSERT_GE(file.size(), iend.size());
  EXPECT_TRUE(std::equal(iend.begin(), iend.end(), file.end() - 12));
  EXPECT_EQ(PngPixel(ReadPng(file), 0, 0), (std::vector<int>{1, 2, 3, 4}));
}

TEST(PngTest, RejectsPixelDataOfTheWrongSize) {
  EXPECT_THROW(PngFile(2, 2, Bytes(15)), std::invalid_argument);
  EXPECT_THROW(PngFile(0, 1, Bytes()), std::invalid_argument);
}

// ---- Renderings ----

TEST(RenderingsTest, EnlargeTheGlyphAndEveryIconImage) {
  std::vector<std::string> names;
  for (const Rendering& r : AllRenderings()) {
    names.push_back(r.file_name);
    const Png png = ReadPng(r.png);
    if (r.file_name == "glyph_checker.png") {
      EXPECT_EQ(png.width, 104u);
      EXPECT_EQ(png.height, 104u);
    }
    if (r.file_name == "icon_48_4bit.png" || r.file_name == "icon_48_32bit.png") {
      EXPECT_EQ(png.width, 384u);
      EXPECT_EQ(png.height, 384u);
    }
    if (r.file_name == "icon_16_8bit.png") {
      EXPECT_EQ(png.width, 128u);
      EXPECT_EQ(png.height, 128u);
    }
  }
  for (const char* name :
       {"glyph_checker.png", "glyph_menu.png", "icon_48_4bit.png", "icon_32_4bit.png",
        "icon_16_4bit.png", "icon_48_8bit.png", "icon_32_8bit.png", "icon_16_8bit.png",
        "icon_48_32bit.png", "icon_32_32bit.png", "icon_16_32bit.png", "overview.png"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
  }
}

// Clear pixels show the checkerboard behind them; opaque ones show exactly their colour.
TEST(RenderingsTest, GlyphViewShowsTheBackgroundOnlyThroughClearPixels) {
  const Bytes glyph = GlyphBitmapFile();
  Png view;
  for (const Rendering& r : AllRenderings()) {
    if (r.file_name == "glyph_checker.png") view = ReadPng(r.png);
  }
  ASSERT_EQ(view.width, 104u);
  for (int y = 0; y < kGlyphSize; ++y) {
    for (int x = 0; x < kGlyphSize; ++x) {
      const Bgra p = GlyphPixel(glyph, x, y);
      if (p.a != 0 && p.a != 255) continue;
      std::vector<std::vector<int>> seen;
      for (std::uint32_t dy = 0; dy < 8; ++dy) {
        for (std::uint32_t dx = 0; dx < 8; ++dx) {
          const auto c = PngPixel(view, static_cast<std::uint32_t>(x * 8) + dx,
                                  static_cast<std::uint32_t>(y * 8) + dy);
          if (std::find(seen.begin(), seen.end(), c) == seen.end()) seen.push_back(c);
        }
      }
      if (p.a == 0) {
        EXPECT_EQ(seen.size(), 2u) << x << "," << y;
      } else {
        ASSERT_EQ(seen.size(), 1u) << x << "," << y;
        EXPECT_EQ(seen[0], (std::vector<int>{p.r, p.g, p.b, 255})) << x << "," << y;
      }
    }
  }
}

// ---- Writing ----

class WriteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("pivora_images_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::filesystem::path dir_;
};

TEST_F(WriteTest, ResourceFilesLandInANewFolder) {
  const std::filesystem::path folder = dir_ / "a" / "b";
  EXPECT_EQ(WriteResourceFiles(folder), "");
  EXPECT_TRUE(ReadFile(folder / "glyph.bmp") == GlyphBitmapFile());
  EXPECT_TRUE(ReadFile(folder / "pivora.ico") == Icon());
}

TEST_F(WriteTest, RenderingsLandUnderTheirNames) {
  EXPECT_EQ(WriteRenderings(dir_), "");
  for (const Rendering& r : AllRenderings()) {
    EXPECT_TRUE(ReadFile(dir_ / r.file_name) == r.png) << r.file_name;
  }
}

TEST_F(WriteTest, FolderThatIsAFileIsReported) {
  std::filesystem::create_directories(dir_);
  std::ofstream(dir_ / "taken") << "x";
  EXPECT_NE(WriteResourceFiles(dir_ / "taken"), "");
  EXPECT_NE(WriteRenderings(dir_ / "taken" / "deeper"), "");
}

}  // namespace
}  // namespace pivora::images

// The picture a preview draws of a pointer file: which image it takes at a cell's size, how it
// decodes a DIB image, and how it resizes the result. The fuzz target covers malformed input
// beyond the cases here.
#include "core/pointer_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/platform/table_cases.h"
#include "tools/byte_writer.h"

namespace pivora {
namespace {

using testing::CaseName;
using testing::PrintTo;
using Bytes = std::vector<std::uint8_t>;
using Result = PointerImageLookup::Result;
using namespace std::string_view_literals;

Bytes Patched(Bytes bytes, std::size_t at, const Bytes& with) {
  std::copy(with.begin(), with.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
  return bytes;
}

Bytes Cut(const Bytes& bytes, std::size_t size) {
  return Bytes(bytes.begin(), bytes.begin() + size);
}

// A DIB image: `pixels` top row first (0xAARRGGBB, or palette indices up to 8 bits), `mask`
// one '0' or '1' a pixel top row first (empty: no mask), `palette` as 0x00RRGGBB.
Bytes Dib(int width, int height, int bits, const std::vector<std::uint32_t>& pixels,
          const std::string& mask, const std::vector<std::uint32_t>& palette = {},
          std::uint32_t header = 40) {
  ByteWriter out;
  for (const std::uint32_t v : {header, std::uint32_t(width), std::uint32_t(2 * height),
                                1u | bits << 16, 0u, 0u, 0u, 0u, std::uint32_t(palette.size())}) {
    out.U32(v);
  }
  for (std::uint32_t at = 36; at < header; at += 4) out.U32(0);
  for (const std::uint32_t c : palette) out.U32(c);
  // Rows bottom-up, each padded to four bytes; a pixel narrower than a byte leftmost highest.
  const auto rows = [&](int each, auto value) {
    for (int y = height - 1; y >= 0; --y) {
      Bytes row((width * each + 31) / 32 * 4);
      for (int x = 0, bit = 0; x < width; ++x, bit += each) {
        const std::uint32_t v = value(y * width + x);
        for (int b = 0; b < each / 8; ++b) row[bit / 8 + b] = std::uint8_t(v >> 8 * b);
        if (each < 8) row[bit / 8] |= std::uint8_t(v << (8 - each - bit % 8));
      }
      out.Append(row);
    }
  };
  rows(bits, [&](int i) { return pixels[i]; });
  if (!mask.empty()) rows(1, [&](int i) { return mask[i] == '1' ? 1u : 0u; });
  return out.Take();
}

Bytes Png(std::uint32_t width, std::uint32_t height) {
  ByteWriter out;
  // The signature, then the header chunk's length, type ("IHDR"), width and height.
  for (const std::uint32_t v : {0x89504E47u, 0x0D0A1A0Au, 13u, 0x49484452u, width, height}) {
    out.BigU32(v);
  }
  out.Append(Bytes(5));
  return out.Take();
}

// One image of a directory: the sides its entry gives (0 means 256), its depth, a PNG or a DIB.
struct Entry {
  int width;
  int height;
  int bits = 32;
  bool png = false;
};

// An icon (type 1) or cursor (type 2) directory. Its entries' planes and bit count fields say
// the opposite of the images' depths, so only the images themselves can break a tie. `offsets`
// receives where each image starts, counted from the directory.
Bytes Directory(std::uint16_t type, const std::vector<Entry>& entries,
                std::vector<std::uint32_t>* offsets = nullptr) {
  const auto count = static_cast<std::uint32_t>(entries.size());
  ByteWriter out, images;
  out.U16(0);
  out.U16(type);
  out.U16(static_cast<std::uint16_t>(count));
  for (const Entry& e : entries) {
    const Bytes image = e.png ? Png(e.width, e.height) : Dib(1, 1, e.bits, {0}, "0");
    const std::uint32_t at = 6 + 16 * count + static_cast<std::uint32_t>(images.data().size());
    out.U16(static_cast<std::uint16_t>((e.width & 0xFF) | (e.height & 0xFF) << 8));
    out.U16(0);
    out.U16(1);
    out.U16(static_cast<std::uint16_t>(64 - e.bits));
    out.U32(static_cast<std::uint32_t>(image.size()));
    out.U32(at);
    images.Append(image);
    if (offsets) offsets->push_back(at);
  }
  out.Append(images.data());
  return out.Take();
}

struct ChoiceCase {
  const char* name;
  std::uint16_t type;
  std::vector<Entry> entries;
  int cell;
  std::size_t chosen;
};

class PointerImageChoiceTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(PointerImageChoiceTest, TakesTheExpectedImage) {
  std::vector<std::uint32_t> offsets;
  const Bytes file = Directory(GetParam().type, GetParam().entries, &offsets);
  const PointerImageLookup found = FindPointerImage(file, file.size(), GetParam().cell);
  ASSERT_EQ(found.result, Result::kFound);
  EXPECT_EQ(found.offset, offsets[GetParam().chosen]);
  const std::size_t end =
      GetParam().chosen + 1 < offsets.size() ? offsets[GetParam().chosen + 1] : file.size();
  EXPECT_EQ(found.size, end - found.offset);
  EXPECT_EQ(found.format, GetParam().entries[GetParam().chosen].png ? PointerImageFormat::kPng
                                                                    : PointerImageFormat::kDib);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PointerImageChoiceTest,
    ::testing::Values(
        ChoiceCase{"LargestThatFits", 1, {{16, 16}, {48, 48}, {32, 32}}, 40, 2},
        ChoiceCase{"AnEqualSideFits", 2, {{16, 16}, {32, 32}, {48, 48}}, 32, 1},
        ChoiceCase{"BothSidesMustFit", 1, {{64, 16}, {24, 24}}, 32, 1},
        ChoiceCase{"NoneFitsTakesTheSmallest", 2, {{64, 64}, {48, 48}, {128, 128}}, 32, 1},
        ChoiceCase{"SmallestTieTakesTheFirst", 1, {{64, 48}, {48, 64}}, 32, 0},
        ChoiceCase{"ZeroMeans256", 1, {{0, 0}, {128, 128}}, 256, 0},
        ChoiceCase{"TieGoesToTheDeepestImage", 2, {{32, 32, 8}, {32, 32, 32}, {32, 32, 24}}, 32, 1},
        ChoiceCase{"DepthOnlyBreaksTies", 1, {{16, 16, 32}, {32, 32, 1}}, 32, 1},
        ChoiceCase{"EqualDepthTakesTheFirst", 1, {{32, 32, 24}, {32, 32, 24}}, 32, 0},
        ChoiceCase{"PngCountsAs32", 2, {{32, 32, 24}, {32, 32, 32, true}}, 32, 1},
        ChoiceCase{"PngTiesWith32", 1, {{32, 32, 32}, {32, 32, 32, true}}, 32, 0}),
    CaseName<ChoiceCase>);

// The generator's animations (below) are plain; this one has chunks of odd length (each followed
// by a pad byte) before its first frame, its "anih" header after the "LIST" "fram" chunk, a wrong
// RIFF size and a first "icon" chunk claiming far more than the file holds.
TEST(PointerImageTest, AnAnimationShowsItsFirstFrameWhereverItsChunksLie) {
  ByteWriter out;
  const auto odd = [&](std::string_view id, std::string_view tag) {
    const std::size_t chunk = out.BeginChunk(id);
    out.Tag(tag);
    out.Tag("odd");
    out.EndChunk(chunk);
  };
  const std::size_t riff = out.BeginChunk("RIFF");
  out.Tag("ACON");
  odd("LIST", "INFO");
  const std::size_t list = out.BeginChunk("LIST");
  out.Tag("fram");
  odd("junk", "");
  const std::size_t icon = out.BeginChunk("icon");
  std::vector<std::uint32_t> offsets;
  out.Append(Directory(2, {{16, 16}, {32, 32}}, &offsets));
  out.EndChunk(icon);
  out.EndChunk(out.BeginChunk("icon"));  // an empty second frame
  out.EndChunk(list);
  odd("anih", "....");
  out.EndChunk(riff);
  Bytes file = Patched(out.Take(), 4, {4, 0, 0, 0});
  file[icon - 2] = 0x7F;
  const PointerImageLookup found = FindPointerImage(file, file.size(), 32);
  ASSERT_EQ(found.result, Result::kFound);
  EXPECT_EQ(found.offset, icon + offsets[1]);
}

// Handing over exactly what each call asks for: the first bytes, the directory, both tied
// images' headers at once, then the answer the whole file gives.
TEST(PointerImageTest, AsksForWhatItNeedsInTurn) {
  const Bytes file = Directory(1, {{32, 32, 8}, {32, 32, 24}});  // images of 48 bytes at 38 and 86
  std::vector<std::uint32_t> asked;
  PointerImageLookup lookup;
  for (std::size_t have = 0; asked.size() < 5; have = lookup.needed) {
    lookup = FindPointerImage(std::span(file).first(have), file.size(), 32);
    if (lookup.result != Result::kNeedMore) break;
    asked.push_back(lookup.needed);
  }
  EXPECT_EQ(asked, (std::vector<std::uint32_t>{12, 38, 102}));
  ASSERT_EQ(lookup.result, Result::kFound);
  EXPECT_EQ(lookup.offset, 86u);
}

struct UnusableCase {
  const char* name;
  Bytes head;
  std::uint64_t fileSize;  // 0: the head's size
};

const Bytes kOne = Directory(1, {{32, 32}});

Bytes Text(std::string_view text, const Bytes& then = {}) {
  Bytes bytes(text.begin(), text.end());
  bytes.insert(bytes.end(), then.begin(), then.end());
  return bytes;
}

class PointerImageUnusableTest : public ::testing::TestWithParam<UnusableCase> {};

TEST_P(PointerImageUnusableTest, IsUnusable) {
  const UnusableCase& c = GetParam();
  EXPECT_EQ(FindPointerImage(c.head, c.fileSize ? c.fileSize : c.head.size(), 32).result,
            Result::kUnusable);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PointerImageUnusableTest,
    ::testing::Values(
        UnusableCase{"TooShort", {0, 0, 1, 0, 1}, 0},
        UnusableCase{"ReservedNotZero", Patched(kOne, 0, {1}), 0},
        UnusableCase{"TypeThree", Patched(kOne, 2, {3}), 0},
        UnusableCase{"NoImages", Patched(kOne, 4, {0}), 0},
        UnusableCase{"EntriesPastTheEnd", Patched(kOne, 4, {0xFF}), 0},
        UnusableCase{"OffsetPastTheEnd", Patched(kOne, 18, {0xFF}), 0},
        UnusableCase{"EmptyImage", Patched(kOne, 14, {0, 0, 0, 0}), 0},
        UnusableCase{"ImageEndsPastTheReadLimit",
                     Patched(Cut(kOne, 22), 14, {0, 0, 1, 0, 0xF0, 0xFF, 0x3F, 0}), 8u << 20},
        UnusableCase{"NotAnAnimation", Text("RIFF\0\0\0\0AVI LIST\4\0\0\0fram"sv), 0},
        UnusableCase{"NoFrameList", Text("RIFF\0\0\0\0ACONLIST\4\0\0\0INFO"sv), 0},
        UnusableCase{"FrameListWithoutIcon", Text("RIFF\0\0\0\0ACONLIST\4\0\0\0fram"sv), 0},
        UnusableCase{"IconAfterTheFrameList",
                     Text("RIFF\0\0\0\0ACONLIST\4\0\0\0framicon\x46\0\0\0"sv, kOne), 0},
        UnusableCase{"ChunksPastTheReadLimit", Text("RIFF\0\0\0\0ACONjunk\0\0\x50\0...."sv),
                     8u << 20}),
    CaseName<UnusableCase>);

TEST(PointerImageTest, AnImageIsCutAtTheFilesEnd) {
  const Bytes file = Patched(kOne, 14, {0, 1, 0, 0});  // claims 256 bytes of 48
  const PointerImageLookup found = FindPointerImage(file, file.size(), 32);
  ASSERT_EQ(found.result, Result::kFound);
  EXPECT_EQ(found.size, file.size() - 22);
}

struct DecodeCase {
  DecodeCase(const char* n, Bytes i, int w = 0, std::vector<std::uint32_t> p = {})
      : name(n), image(std::move(i)), width(w), pixels(std::move(p)) {}
  const char* name;
  Bytes image;
  int width;
  std::vector<std::uint32_t> pixels;  // top row first; empty: not decoded
};

class PointerImageDecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(PointerImageDecodeTest, ShowsWhatDrawingShows) {
  const std::optional<PointerPixels> picture = DecodeDibImage(GetParam().image);
  ASSERT_EQ(picture.has_value(), !GetParam().pixels.empty());
  if (!picture) return;
  EXPECT_EQ(picture->width, GetParam().width);
  EXPECT_EQ(picture->height, static_cast<int>(GetParam().pixels.size()) / GetParam().width);
  EXPECT_EQ(picture->pixels, GetParam().pixels);
}

const std::vector<std::uint32_t> kBlackWhite = {0x000000, 0xFFFFFF};
const std::vector<std::uint32_t> kClear256(256);

INSTANTIATE_TEST_SUITE_P(
    Decoded, PointerImageDecodeTest,
    ::testing::Values(
        // Over black the colour, over white inverted where the mask is set; the system's own
        // drawing is the reference for every depth in the Windows tests.
        DecodeCase("InvertedColourIsPartlyTransparent", Dib(2, 1, 24, {0x646464, 0x0A141E}, "11"),
                   2, {0xC8646464, 0x3C0A141E}),
        DecodeCase("IndexPastThePaletteIsBlack",
                   Dib(4, 1, 8, {0, 1, 2, 255}, "0000", {0xFF0000, 0x00FF00}), 4,
                   {0xFFFF0000, 0xFF00FF00, 0xFF000000, 0xFF000000}),
        DecodeCase("AlphaBlendsIgnoringTheMask",
                   Dib(3, 1, 32, {0x80C86401, 0x00FFFFFF, 0xFF102030}, "111"), 3,
                   {0x80643201, 0, 0xFF102030}),
        DecodeCase("AlphaNeedsNoMask", Dib(1, 1, 32, {0x01FFFFFF}, ""), 1, {0x01010101}),
        DecodeCase("NoAlphaTakesTheMask", Dib(2, 1, 32, {0xFF0000, 0}, "01"), 2, {0xFFFF0000, 0}),
        DecodeCase("LargestHeader", Dib(1, 1, 24, {0x123456}, "0", {}, 124), 1, {0xFF123456}),
        DecodeCase("WidestImage", Dib(256, 1, 1, kClear256, std::string(256, '1'), kBlackWhite),
                   256, kClear256)),
    CaseName<DecodeCase>);

const Bytes kGood = Dib(2, 1, 24, {0, 0}, "00");

INSTANTIATE_TEST_SUITE_P(
    Malformed, PointerImageDecodeTest,
    ::testing::Values(DecodeCase("UnknownHeaderSize", Patched(kGood, 0, {41})),
                      DecodeCase("NoWidth", Patched(kGood, 4, {0})),
                      DecodeCase("TooWide", Dib(257, 1, 1, std::vector<std::uint32_t>(257),
                                                std::string(257, '0'))),
                      DecodeCase("HeightOfOneRow", Patched(kGood, 8, {1})),
                      DecodeCase("NegativeHeight", Patched(kGood, 8, {0xFE, 0xFF, 0xFF, 0xFF})),
                      DecodeCase("SixteenBits", Patched(kGood, 14, {16})),
                      DecodeCase("Compressed", Patched(kGood, 16, {1})),
                      DecodeCase("ShortColourRows", Cut(kGood, 47)),
                      DecodeCase("ShortMask", Cut(kGood, kGood.size() - 1)),
                      DecodeCase("NoAlphaNoMask", Dib(1, 1, 32, {0xFFFFFF}, ""))),
    CaseName<DecodeCase>);

TEST(PointerImageTest, APngsSizeIsItsHeaders) {
  EXPECT_EQ(PngImageSize(Png(48, 300)), std::pair(48, 300));
  EXPECT_EQ(PngImageSize(Cut(Png(1, 1), 23)), std::nullopt);
  EXPECT_EQ(PngImageSize(Patched(Png(1, 1), 1, {'p'})), std::nullopt);   // not its signature
  EXPECT_EQ(PngImageSize(Patched(Png(1, 1), 12, {'i'})), std::nullopt);  // another chunk first
  EXPECT_EQ(PngImageSize(Png(0, 1)), std::nullopt);
  EXPECT_EQ(PngImageSize(Png(1, 0x80000000u)), std::nullopt);
}

struct ScaleCase {
  ScaleCase(const char* n, PointerPixels p, int c, std::vector<std::uint32_t> e)
      : name(n), picture(std::move(p)), cell(c), cellPixels(std::move(e)) {}
  const char* name;
  PointerPixels picture;
  int cell;
  std::vector<std::uint32_t> cellPixels;
};

class PointerImageScaleTest : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(PointerImageScaleTest, FillsTheCell) {
  EXPECT_EQ(ScaleToCell(GetParam().picture, GetParam().cell), GetParam().cellPixels);
}

constexpr std::uint32_t kBlue = 0xFF0000FF, kGreen = 0xFF00FF00, kRed = 0x80800000,
                        kGrey = 0x40202020, kWhite = 0xFFFFFFFF;
const PointerPixels kFour = {2, 2, {kBlue, kGreen, kRed, kGrey}};

INSTANTIATE_TEST_SUITE_P(
    Cases, PointerImageScaleTest,
    ::testing::Values(ScaleCase("NothingGivesAClearCell", {}, 2, {0, 0, 0, 0}),
                      ScaleCase("SameSizeIsUnchanged", kFour, 2, kFour.pixels),
                      ScaleCase("EnlargingTakesThePixelUnderTheCentre", kFour, 3,
                                {kBlue, kGreen, kGreen, kRed, kGrey, kGrey, kRed, kGrey, kGrey}),
                      // Each target covers four source pixels, one of them opaque white.
                      ScaleCase("ShrinkingAverages",
                                {4, 4, {kWhite, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}, 2,
                                {0x40404040, 0, 0, 0}),
                      // A one-pixel line, halfway into each target, covers a third of it.
                      ScaleCase("AThinLineStaysVisible", {3, 1, {0, kBlue, 0}}, 2,
                                {0x55000055, 0x55000055, 0x55000055, 0x55000055}),
                      ScaleCase("OneAxisEnlargedTheOtherShrunk",
                                {1, 4, {0xFFFF0000, kBlue, 0, kGreen}}, 2,
                                {0xFF800080, 0xFF800080, 0x80008000, 0x80008000})),
    CaseName<ScaleCase>);

}  // namespace
}  // namespace pivora

// The picture of a pointer file (.cur, an icon directory, or an animated .ani) as a preview
// draws it: which image of the file to draw at a cell's size, and a DIB image decoded to
// premultiplied pixels and resized to the cell. Pointer files come from downloads, so every
// count, size and offset is checked against what was read, and nothing grows beyond the input
// or the caps below.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace pivora {

// A preview reads this much of a pointer file first, and more only when the chosen image needs
// it; an image that ends beyond the limit is not drawn.
inline constexpr std::uint32_t kPointerFirstRead = 64u << 10;
inline constexpr std::uint32_t kPointerReadLimit = 4u << 20;
// The widest and tallest image decoded: the largest a cursor directory can name. A larger one
// costs a thumbnail a hundred times its time (15 images of 1,000 pixels took 0.95 s).
inline constexpr int kMaxPointerImageSide = 256;
// The most bytes such an image takes: 32 bits a pixel, a full palette and the AND mask, or an
// uncompressed PNG, with room to spare. A larger image is not read.
inline constexpr std::uint32_t kMaxPointerImageBytes = 512u << 10;

enum class PointerImageFormat { kDib, kPng };

struct PointerImageLookup {
  enum class Result { kFound, kNeedMore, kUnusable };
  Result result = Result::kUnusable;
  // kFound: where the chosen image's bytes lie in the file, and their kind.
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
  PointerImageFormat format = PointerImageFormat::kDib;
  // kNeedMore: how many bytes from the file's start the lookup needs to go on; always more than
  // it was given and never more than kPointerReadLimit or the file's size.
  std::uint32_t needed = 0;
};

// Finds the image that a preview `cell` pixels wide draws. In an icon or cursor directory: the
// largest image not larger than the cell in either side (of equal sizes the deepest colour,
// then the first), else the smallest; in an animation (RIFF "ACON"), that choice within its
// first frame (the first "icon" chunk of its "LIST" "fram" chunk, whatever order the chunks come
// in). `head` is the file's first bytes; `fileSize` the whole file's size. kUnusable for
// anything malformed or for an image that ends beyond kPointerReadLimit. Each lookup is linear
// in `head`, so a caller that must read more grows what it holds at least twofold.
PointerImageLookup FindPointerImage(std::span<const std::uint8_t> head, std::uint64_t fileSize,
                                    int cell);

// Pixels as 0xAARRGGBB, premultiplied (no channel above the alpha), row 0 at the top.
struct PointerPixels {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
};

// Decodes one DIB image of an icon or cursor (a BITMAPINFOHEADER or a larger header, 1, 4, 8,
// 24 or 32 bits a pixel, uncompressed; its height counts the colour rows and the AND mask's) as
// drawing it shows it: a 32-bit image with any alpha is blended by its straight alpha; any other
// takes its AND mask, transparent where the mask is set over black, and where the mask is set
// over colour (the screen inverted) the pixel that drawing over black and over white gives.
// Nothing for a malformed image or one larger than kMaxPointerImageSide. The pixels go into
// `memory` (its contents do not matter), so that a caller decoding many images reuses one
// allocation.
std::optional<PointerPixels> DecodeDibImage(std::span<const std::uint8_t> image,
                                            std::vector<std::uint32_t> memory = {});

// The width and height a PNG image's header gives; nothing when `image` is not a PNG.
std::optional<std::pair<int, int>> PngImageSize(std::span<const std::uint8_t> image);

// The picture resized to `cell` x `cell`. Enlarging (and an equal size) takes the source pixel
// under each target pixel's centre, as GDI stretches an icon; shrinking averages the source
// pixels each target pixel covers (a box filter over premultiplied pixels), which keeps thin
// lines visible where picking one source pixel would drop them.
std::vector<std::uint32_t> ScaleToCell(const PointerPixels& picture, int cell);

}  // namespace pivora

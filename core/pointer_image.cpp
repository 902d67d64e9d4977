#include "core/pointer_image.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <initializer_list>
#include <iterator>

namespace pivora {
namespace {

using Bytes = std::span<const std::uint8_t>;
using Lookup = PointerImageLookup;
using Result = PointerImageLookup::Result;

// Callers check every range against the bytes' size first.
std::uint16_t U16(Bytes b, std::uint64_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
std::uint32_t U32(Bytes b, std::uint64_t at) {
  return static_cast<std::uint32_t>(U16(b, at)) | static_cast<std::uint32_t>(U16(b, at + 2)) << 16;
}
std::uint32_t BigU32(Bytes b, std::uint64_t at) {
  return static_cast<std::uint32_t>(b[at]) << 24 | static_cast<std::uint32_t>(b[at + 1]) << 16 |
         static_cast<std::uint32_t>(b[at + 2]) << 8 | b[at + 3];
}
bool TagAt(Bytes b, std::uint64_t at, const char (&tag)[5]) {
  return std::equal(tag, tag + 4, b.begin() + static_cast<std::ptrdiff_t>(at));
}

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

bool StartsWithPng(Bytes b) {
  return b.size() >= sizeof kPngSignature &&
         std::equal(std::begin(kPngSignature), std::end(kPngSignature), b.begin());
}

// What a lookup has of the file: its first bytes (never more than the file) and its size.
struct Source {
  Bytes head;
  std::uint64_t fileSize;

  Bytes Range(std::uint64_t begin, std::uint64_t end) const {
    return head.subspan(begin, end - begin);
  }
};

Lookup Unusable() { return {}; }

Lookup NeedMore(std::uint64_t end) {
  Lookup lookup;
  lookup.result = Result::kNeedMore;
  lookup.needed = static_cast<std::uint32_t>(end);
  return lookup;
}

// Nothing when the file's bytes up to `end` are at hand; else the lookup's answer: unusable when
// they would lie past `regionEnd` (the end of the structure being read, never past the file) or
// past the read limit, else a request for them. What is read never depends on how much the
// head holds, so a shorter head reaches the same answer as the whole file once it has been given
// what it asked for.
std::optional<Lookup> Missing(const Source& source, std::uint64_t end, std::uint64_t regionEnd) {
  if (end > regionEnd || end > kPointerReadLimit) return Unusable();
  if (end > source.head.size()) return NeedMore(end);
  return std::nullopt;
}

// The bytes of one directory entry's image: [begin, end) in the file.
struct Span {
  std::uint64_t begin = 0;
  std::uint64_t end = 0;
};

// The image's bytes as the entry gives them, cut at the end of the region that holds them;
// nothing when they start outside it, are empty or end past the read limit.
std::optional<Span> ImageSpan(Bytes entry, std::uint64_t base, std::uint64_t regionEnd) {
  const std::uint64_t begin = base + U32(entry, 12);
  if (begin >= regionEnd) return std::nullopt;
  const std::uint64_t end = std::min<std::uint64_t>(begin + U32(entry, 8), regionEnd);
  if (end == begin || end > kPointerReadLimit) return std::nullopt;
  return Span{begin, end};
}

// The colour depth an image's own first bytes give: a PNG counts as 32 bits a pixel, a DIB its
// header's bit count; 0 when too short to tell.
int DepthOf(Bytes start) {
  if (StartsWithPng(start)) return 32;
  if (start.size() < 16) return 0;
  return U16(start, U32(start, 0) == 12 ? 10 : 14);
}

// The choice within one icon or cursor directory at `base`, whose bytes end at `regionEnd`;
// entry offsets count from `base`.
Lookup FindInDirectory(const Source& source, std::uint64_t base, std::uint64_t regionEnd,
                       int cell) {
  if (auto stop = Missing(source, base + 6, regionEnd)) return *stop;
  const Bytes directory = source.head.subspan(base);
  const std::uint16_t type = U16(directory, 2);
  const std::uint16_t count = U16(directory, 4);
  if (U16(directory, 0) != 0 || (type != 1 && type != 2) || count == 0) return Unusable();
  if (auto stop = Missing(source, base + 6 + 16ull * count, regionEnd)) return *stop;
  const auto entry = [&](std::uint32_t i) { return directory.subspan(6 + 16ull * i, 16); };
  const auto area = [&](std::uint32_t i) {
    const Bytes e = entry(i);
    const std::uint32_t width = e[0] == 0 ? 256 : e[0];
    const std::uint32_t height = e[1] == 0 ? 256 : e[1];
    const bool fits = cell > 0 && width <= static_cast<std::uint32_t>(cell) &&
                      height <= static_cast<std::uint32_t>(cell);
    return std::pair<bool, std::uint32_t>(fits, width * height);
  };

  std::uint32_t smallest = 0;
  std::optional<std::uint32_t> largestFitting;
  for (std::uint32_t i = 0; i < count; ++i) {
    const auto [fits, size] = area(i);
    if (size < area(smallest).second) smallest = i;
    if (fits && (!largestFitting || size > area(*largestFitting).second)) largestFitting = i;
  }

  std::uint32_t chosen = smallest;
  if (largestFitting) {
    // Of the fitting images as large as the largest, the deepest colour wins, read from each
    // image's own header since a cursor's entry holds its hotspot there. Images whose bytes
    // cannot be had never win a tie. Every missing header is asked for at once.
    const std::uint32_t best = area(*largestFitting).second;
    std::uint64_t needed = 0;
    for (std::uint32_t i = *largestFitting; i < count; ++i) {
      const auto [fits, size] = area(i);
      const std::optional<Span> span = ImageSpan(entry(i), base, regionEnd);
      if (fits && size == best && span) {
        needed = std::max(needed, std::min(span->begin + 16, span->end));
      }
    }
    if (needed > source.head.size()) return NeedMore(needed);
    int deepest = -1;
    for (std::uint32_t i = *largestFitting; i < count; ++i) {
      const auto [fits, size] = area(i);
      const std::optional<Span> span = ImageSpan(entry(i), base, regionEnd);
      if (!fits || size != best || !span) continue;
      const int depth = DepthOf(source.Range(span->begin, std::min(span->begin + 16, span->end)));
      if (depth > deepest) {
        deepest = depth;
        chosen = i;
      }
    }
    if (deepest < 0) chosen = *largestFitting;
  }

  const std::optional<Span> span = ImageSpan(entry(chosen), base, regionEnd);
  if (!span) return Unusable();
  const std::uint64_t signatureEnd = std::min(span->begin + sizeof kPngSignature, span->end);
  if (auto stop = Missing(source, signatureEnd, regionEnd)) return *stop;
  Lookup found;
  found.result = Result::kFound;
  found.offset = static_cast<std::uint32_t>(span->begin);
  found.size = static_cast<std::uint32_t>(span->end - span->begin);
  found.format = StartsWithPng(source.Range(span->begin, signatureEnd)) ? PointerImageFormat::kPng
                                                                        : PointerImageFormat::kDib;
  return found;
}

// RIFF chunks from `at` up to `regionEnd`: calls `visit(id offset, data start, data end)` for each
// until it returns an answer. A chunk's size may claim more than there is; its data is cut at
// the region's end. Running out of chunks is unusable: the frame was not there.
template <typename Visit>
Lookup WalkChunks(const Source& source, std::uint64_t at, std::uint64_t regionEnd, Visit visit) {
  for (;;) {
    if (auto stop = Missing(source, at + 8, regionEnd)) return *stop;
    const std::uint32_t size = U32(source.head, at + 4);
    const std::uint64_t dataStart = at + 8;
    const std::uint64_t dataEnd = std::min<std::uint64_t>(dataStart + size, regionEnd);
    if (std::optional<Lookup> answer = visit(at, dataStart, dataEnd)) return *answer;
    // Each chunk's data is padded to an even length.
    at = dataStart + size + (size & 1);
  }
}

// The first frame of an animation: the first "icon" chunk of a "fram" list, an icon or cursor
// file whose offsets count from the chunk's data.
Lookup FindInFrameList(const Source& source, std::uint64_t start, std::uint64_t end, int cell) {
  return WalkChunks(source, start, end,
                    [&](std::uint64_t id, std::uint64_t dataStart,
                        std::uint64_t dataEnd) -> std::optional<Lookup> {
                      if (!TagAt(source.head, id, "icon")) return std::nullopt;
                      return FindInDirectory(source, dataStart, dataEnd, cell);
                    });
}

// The choice within an animation's first frame, in the first "LIST" "fram" chunk whatever comes
// before or after it. The RIFF size is not trusted; the file's end bounds the chunks.
Lookup FindInAnimation(const Source& source, int cell) {
  return WalkChunks(source, 12, source.fileSize,
                    [&](std::uint64_t id, std::uint64_t dataStart,
                        std::uint64_t dataEnd) -> std::optional<Lookup> {
                      if (!TagAt(source.head, id, "LIST") || dataStart + 4 > dataEnd) {
                        return std::nullopt;
                      }
                      if (auto stop = Missing(source, dataStart + 4, dataEnd)) return *stop;
                      if (!TagAt(source.head, dataStart, "fram")) return std::nullopt;
                      return FindInFrameList(source, dataStart + 4, dataEnd, cell);
                    });
}

// ---- Decoding ----

std::uint32_t Argb(std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return a << 24 | r << 16 | g << 8 | b;
}

std::uint32_t Premultiplied(std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t a) {
  const auto scale = [a](std::uint32_t c) { return (c * a + 127) / 255; };
  return Argb(a, scale(r), scale(g), scale(b));
}

// A pixel drawn through its AND mask: over black the screen shows `dark` (the colour), over
// white `light` (the colour, inverted where the mask is set). Blending a pixel of alpha a over
// white brightens each channel by 255 - a, so the channel brightened least sets the alpha; no
// channel ends brighter than it shows over black.
std::uint32_t Masked(std::uint32_t r, std::uint32_t g, std::uint32_t b, bool maskSet) {
  std::uint32_t alpha = 0;
  for (const std::uint32_t dark : {r, g, b}) {
    const int light = maskSet ? 255 - static_cast<int>(dark) : static_cast<int>(dark);
    const int difference = std::clamp(light - static_cast<int>(dark), 0, 255);
    alpha = std::max(alpha, static_cast<std::uint32_t>(255 - difference));
  }
  if (alpha == 0) return 0;
  return Argb(alpha, std::min(r, alpha), std::min(g, alpha), std::min(b, alpha));
}

}  // namespace

PointerImageLookup FindPointerImage(std::span<const std::uint8_t> head, std::uint64_t fileSize,
                                    int cell) {
  const Source source{head.first(std::min<std::uint64_t>(head.size(), fileSize)), fileSize};
  if (auto stop = Missing(source, std::min<std::uint64_t>(12, fileSize), fileSize)) return *stop;
  if (fileSize >= 12 && TagAt(source.head, 0, "RIFF")) {
    if (!TagAt(source.head, 8, "ACON")) return Unusable();
    return FindInAnimation(source, cell);
  }
  return FindInDirectory(source, 0, fileSize, cell);
}

std::optional<PointerPixels> DecodeDibImage(std::span<const std::uint8_t> image,
                                            std::vector<std::uint32_t> memory) {
  if (image.size() < 4) return std::nullopt;
  const std::uint32_t headerSize = U32(image, 0);
  std::int64_t width = 0;
  std::int64_t totalHeight = 0;
  std::uint32_t bitCount = 0;
  std::uint64_t colors = 0;
  std::uint64_t paletteEntryBytes = 4;
  if (headerSize == 12) {
    // The old core header: 16-bit sizes and a palette of three-byte entries.
    if (image.size() < 12) return std::nullopt;
    width = U16(image, 4);
    totalHeight = U16(image, 6);
    bitCount = U16(image, 10);
    paletteEntryBytes = 3;
    if (bitCount <= 8) colors = 1ull << bitCount;
  } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 ||
             headerSize == 124) {
    if (image.size() < headerSize) return std::nullopt;
    width = static_cast<std::int32_t>(U32(image, 4));
    totalHeight = static_cast<std::int32_t>(U32(image, 8));
    bitCount = U16(image, 14);
    if (U32(image, 16) != 0) return std::nullopt;  // Compressed or bit fields.
    const std::uint32_t used = U32(image, 32);
    if (bitCount <= 8) {
      colors = used != 0 && used <= (1u << bitCount) ? used : 1ull << bitCount;
    } else {
      // A deeper image may carry a palette it does not index; it is skipped, as far as the
      // largest palette goes.
      colors = std::min<std::uint32_t>(used, 256);
    }
  } else {
    return std::nullopt;
  }
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32) {
    return std::nullopt;
  }
  // The height counts the colour rows and as many AND mask rows.
  const std::int64_t height = totalHeight / 2;
  if (width < 1 || width > kMaxPointerImageSide || height < 1 || height > kMaxPointerImageSide) {
    return std::nullopt;
  }

  const auto w = static_cast<std::uint64_t>(width);
  const auto h = static_cast<std::uint64_t>(height);
  const std::uint64_t paletteStart = headerSize;
  const std::uint64_t colourStart = paletteStart + colors * paletteEntryBytes;
  const std::uint64_t colourRowBytes = (w * bitCount + 31) / 32 * 4;
  const std::uint64_t maskStart = colourStart + colourRowBytes * h;
  const std::uint64_t maskRowBytes = (w + 31) / 32 * 4;
  const std::uint64_t maskEnd = maskStart + maskRowBytes * h;
  if (maskStart > image.size()) return std::nullopt;

  bool blended = false;
  if (bitCount == 32) {
    for (std::uint64_t at = colourStart + 3; at < maskStart && !blended; at += 4) {
      blended = image[at] != 0;
    }
  }
  if (!blended && maskEnd > image.size()) return std::nullopt;

  PointerPixels out;
  out.width = static_cast<int>(width);
  out.height = static_cast<int>(height);
  out.pixels = std::move(memory);
  out.pixels.resize(w * h);
  for (std::uint64_t y = 0; y < h; ++y) {
    // Rows are stored bottom-up.
    const Bytes row = image.subspan(colourStart + (h - 1 - y) * colourRowBytes, colourRowBytes);
    const std::uint64_t maskRow = maskStart + (h - 1 - y) * maskRowBytes;
    for (std::uint64_t x = 0; x < w; ++x) {
      std::uint32_t r = 0, g = 0, b = 0, a = 0;
      if (bitCount >= 24) {
        const std::uint64_t at = x * (bitCount / 8);
        b = row[at];
        g = row[at + 1];
        r = row[at + 2];
        if (bitCount == 32) a = row[at + 3];
      } else {
        // Palette indices, the leftmost pixel in a byte's most significant bits.
        const std::uint64_t bit = x * bitCount;
        const unsigned shift = 8 - bitCount - bit % 8;
        const std::uint32_t index = (row[bit / 8] >> shift) & ((1u << bitCount) - 1);
        if (index < colors) {
          const std::uint64_t entry = paletteStart + index * paletteEntryBytes;
          b = image[entry];
          g = image[entry + 1];
          r = image[entry + 2];
        }
      }
      std::uint32_t& pixel = out.pixels[y * w + x];
      if (blended) {
        pixel = Premultiplied(r, g, b, a);
      } else {
        const bool maskSet = (image[maskRow + x / 8] >> (7 - x % 8)) & 1;
        pixel = Masked(r, g, b, maskSet);
      }
    }
  }
  return out;
}

std::optional<std::pair<int, int>> PngImageSize(std::span<const std::uint8_t> image) {
  // Signature, the first chunk's length and type, then the width and height.
  if (image.size() < 24 || !StartsWithPng(image) || !TagAt(image, 12, "IHDR")) {
    return std::nullopt;
  }
  const std::uint32_t width = BigU32(image, 16);
  const std::uint32_t height = BigU32(image, 20);
  if (width == 0 || height == 0 || width > INT_MAX || height > INT_MAX) return std::nullopt;
  return std::pair(static_cast<int>(width), static_cast<int>(height));
}

namespace {

// Which source pixels along one axis make each target pixel, and how much each counts.
//
// Enlarging (or an equal size) takes the one source pixel under the target pixel's centre.
// Shrinking is a box filter with exact fractional coverage: in units of 1/cell of a source
// pixel, target x covers [x * source, (x + 1) * source) and source i covers [i * cell,
// (i + 1) * cell); each source pixel counts by the length of the overlap, so every target's
// weights add up to `source`. All weights are whole numbers and the sums are rounded once, at
// the end.
struct AxisTaps {
  std::vector<std::uint32_t> firstSource;  // per target pixel
  std::vector<std::uint32_t> firstWeight;  // per target pixel, and one past the last
  std::vector<std::uint32_t> weights;
  std::uint64_t total = 1;  // what each target pixel's weights add up to
};

AxisTaps TapsFor(std::uint64_t source, std::uint64_t cell) {
  AxisTaps taps;
  for (std::uint64_t x = 0; x < cell; ++x) {
    taps.firstWeight.push_back(static_cast<std::uint32_t>(taps.weights.size()));
    if (cell >= source) {
      const std::uint64_t under = std::min((2 * x + 1) * source / (2 * cell), source - 1);
      taps.firstSource.push_back(static_cast<std::uint32_t>(under));
      taps.weights.push_back(1);
    } else {
      const std::uint64_t low = x * source;
      const std::uint64_t high = low + source;
      taps.firstSource.push_back(static_cast<std::uint32_t>(low / cell));
      for (std::uint64_t i = low / cell; i * cell < high; ++i) {
        const std::uint64_t covered = std::min(high, (i + 1) * cell) - std::max(low, i * cell);
        taps.weights.push_back(static_cast<std::uint32_t>(covered));
      }
    }
  }
  taps.firstWeight.push_back(static_cast<std::uint32_t>(taps.weights.size()));
  taps.total = cell >= source ? 1 : source;
  return taps;
}

}  // namespace

std::vector<std::uint32_t> ScaleToCell(const PointerPixels& picture, int cell) {
  if (cell <= 0) return {};
  const auto side = static_cast<std::uint64_t>(cell);
  std::vector<std::uint32_t> out(side * side, 0);
  if (picture.width <= 0 || picture.height <= 0) return out;
  const auto width = static_cast<std::uint64_t>(picture.width);
  const auto height = static_cast<std::uint64_t>(picture.height);
  if (picture.pixels.size() < width * height) return out;

  if (width > side && height > side && width % side == 0 && height % side == 0) {
    // Whole blocks of source pixels (a 256-pixel image in a 64-pixel cell): every source pixel
    // weighs `side` units along each axis, so the weighing below reduces to block sums, with
    // the same rounding.
    const std::uint64_t blockWidth = width / side;
    const std::uint64_t blockHeight = height / side;
    const std::uint64_t total = width * height;
    const std::uint64_t weight = side * side;
    for (std::uint64_t ty = 0; ty < side; ++ty) {
      for (std::uint64_t tx = 0; tx < side; ++tx) {
        std::uint64_t sums[4] = {};
        for (std::uint64_t sy = ty * blockHeight; sy < (ty + 1) * blockHeight; ++sy) {
          const std::uint32_t* row = picture.pixels.data() + sy * width + tx * blockWidth;
          for (std::uint64_t sx = 0; sx < blockWidth; ++sx) {
            for (int c = 0; c < 4; ++c) sums[c] += (row[sx] >> (8 * c)) & 0xFF;
          }
        }
        std::uint32_t pixel = 0;
        for (int c = 0; c < 4; ++c) {
          pixel |= static_cast<std::uint32_t>((sums[c] * weight + total / 2) / total) << (8 * c);
        }
        out[ty * side + tx] = pixel;
      }
    }
    return out;
  }
  const AxisTaps across = TapsFor(width, side);
  const AxisTaps down = TapsFor(height, side);
  if (width <= side && height <= side) {
    // One source pixel each: picked without the weighing, which a thumbnail would feel.
    for (std::uint64_t ty = 0; ty < side; ++ty) {
      const std::uint32_t* row = picture.pixels.data() + down.firstSource[ty] * width;
      std::uint32_t* target = out.data() + ty * side;
      for (std::uint64_t tx = 0; tx < side; ++tx) target[tx] = row[across.firstSource[tx]];
    }
    return out;
  }
  const std::uint64_t total = across.total * down.total;
  for (std::uint64_t ty = 0; ty < side; ++ty) {
    for (std::uint64_t tx = 0; tx < side; ++tx) {
      std::uint64_t sums[4] = {};
      for (std::uint32_t j = down.firstWeight[ty]; j < down.firstWeight[ty + 1]; ++j) {
        const std::uint64_t sy = down.firstSource[ty] + (j - down.firstWeight[ty]);
        for (std::uint32_t i = across.firstWeight[tx]; i < across.firstWeight[tx + 1]; ++i) {
          const std::uint64_t sx = across.firstSource[tx] + (i - across.firstWeight[tx]);
          const std::uint64_t weight =
              static_cast<std::uint64_t>(down.weights[j]) * across.weights[i];
          const std::uint32_t pixel = picture.pixels[sy * width + sx];
          for (int c = 0; c < 4; ++c) sums[c] += weight * ((pixel >> (8 * c)) & 0xFF);
        }
      }
      // Rounding keeps the order of the sums, so no channel ends above the alpha.
      std::uint32_t pixel = 0;
      for (int c = 0; c < 4; ++c) {
        pixel |= static_cast<std::uint32_t>((sums[c] + total / 2) / total) << (8 * c);
      }
      out[ty * side + tx] = pixel;
    }
  }
  return out;
}

}  // namespace pivora

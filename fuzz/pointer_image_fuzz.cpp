// Any bytes after the first are a pointer file to the preview's image lookup, the first byte
// choosing the cell's size (16 to 256). The image it chooses is decoded and resized. Nothing may
// crash; every pixel must stay premultiplied; every request for more bytes must ask for more
// than it had and no more than the file and the read limit hold; and reading the file a part at
// a time, as the lookup asks, must end where reading it whole does. The seeds in image_corpus/
// are each a cell-size byte followed by a pointer file.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "core/pointer_image.h"

namespace {

using namespace pivora;
using Bytes = std::span<const std::uint8_t>;
using Result = PointerImageLookup::Result;

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckPremultiplied(const std::vector<std::uint32_t>& pixels) {
  for (const std::uint32_t p : pixels) {
    const std::uint32_t alpha = p >> 24;
    Check(((p >> 16) & 0xFF) <= alpha && ((p >> 8) & 0xFF) <= alpha && (p & 0xFF) <= alpha);
  }
}

void CheckLookup(const PointerImageLookup& lookup, std::uint64_t headSize, std::uint64_t fileSize) {
  const std::uint64_t reach = std::min<std::uint64_t>(kPointerReadLimit, fileSize);
  if (lookup.result == Result::kNeedMore) {
    Check(lookup.needed > headSize && lookup.needed <= reach);
  } else if (lookup.result == Result::kFound) {
    Check(lookup.size > 0 && std::uint64_t{lookup.offset} + lookup.size <= reach);
  }
}

bool Same(const PointerImageLookup& a, const PointerImageLookup& b) {
  return a.result == b.result && a.offset == b.offset && a.size == b.size && a.format == b.format &&
         a.needed == b.needed;
}

void Draw(Bytes image, int cell) {
  const std::optional<PointerPixels> picture = DecodeDibImage(image);
  if (!picture) return;
  const int width = picture->width;
  const int height = picture->height;
  Check(width >= 1 && width <= kMaxPointerImageSide && height >= 1 &&
        height <= kMaxPointerImageSide);
  Check(picture->pixels.size() == static_cast<std::size_t>(width) * height);
  CheckPremultiplied(picture->pixels);
  const std::vector<std::uint32_t> scaled = ScaleToCell(*picture, cell);
  Check(scaled.size() == static_cast<std::size_t>(cell) * cell);
  CheckPremultiplied(scaled);
  if (width == cell && height == cell) Check(scaled == picture->pixels);
}

// The chosen image's bytes, as far as `file` holds them.
void DrawChosen(Bytes file, const PointerImageLookup& found, int cell) {
  if (found.offset >= file.size()) return;
  const Bytes image =
      file.subspan(found.offset, std::min<std::size_t>(found.size, file.size() - found.offset));
  const std::optional<std::pair<int, int>> size = PngImageSize(image);
  if (size) Check(found.format == PointerImageFormat::kPng && size->first > 0 && size->second > 0);
  if (found.format == PointerImageFormat::kDib) Draw(image, cell);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int cell = 16 + data[0] % 241;
  const Bytes file(data + 1, size - 1);

  const PointerImageLookup whole = FindPointerImage(file, file.size(), cell);
  CheckLookup(whole, file.size(), file.size());
  Check(whole.result != Result::kNeedMore);
  if (whole.result == Result::kFound) DrawChosen(file, whole, cell);

  // A caller reading on as asked: exactly what is asked at first, then at least twice as much,
  // so a file of many small chunks takes few rounds.
  std::size_t have = file.size() * (data[0] >> 6) / 4;
  PointerImageLookup part;
  for (int round = 0;; ++round) {
    part = FindPointerImage(file.first(have), file.size(), cell);
    CheckLookup(part, have, file.size());
    if (part.result != Result::kNeedMore) break;
    have = round < 64 ? part.needed
                      : std::max<std::size_t>(part.needed, std::min(file.size(), 2 * have));
  }
  Check(Same(part, whole));

  // The same bytes as the start of a longer file.
  const std::uint64_t longer = file.size() + 1 + data[0] * 4099u;
  const PointerImageLookup start = FindPointerImage(file, longer, cell);
  CheckLookup(start, file.size(), longer);
  if (start.result == Result::kFound) DrawChosen(file, start, cell);

  // The decoder on its own, for whatever the lookup would not lead to.
  Draw(file, cell);
  return 0;
}

// The picture a scheme file's thumbnail shows: its pointers in a 4 x 4 grid in role order, row
// by row (the sixteenth cell empty). Schemes and the pointer files they name come from
// downloads and shares and are drawn because a folder was shown, so the scheme is read only up
// to a size no real one reaches, every path is decided on before anything touches it, and each
// pointer file is read once, only as far as the image drawn.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/pointer_image.h"
#include "platform/files.h"
#include "platform/path_rules.h"

namespace pivora {

// What a cell shows for a role the scheme gives back to the system, for one whose pointer file
// is missing or cannot be drawn, and for one whose pointer lives elsewhere: on another machine,
// on a device or in the cloud (premultiplied ARGB, as the picture's pixels are).
inline constexpr std::uint32_t kSystemPointerMark = 0xFF808080;     // an opaque grey disc
inline constexpr std::uint32_t kMissingPointerMark = 0xFFD02020;    // an opaque red cross
inline constexpr std::uint32_t kElsewherePointerMark = 0xFF2060C0;  // an opaque blue ring

// A real scheme is a few kilobytes; a thumbnail reads none larger than this.
inline constexpr std::uint64_t kMaxPictureSchemeBytes = 1u << 20;

// Decodes a PNG image to premultiplied pixels (on Windows through the imaging component).
class PngDecoder {
 public:
  virtual ~PngDecoder() = default;
  virtual std::optional<PointerPixels> Decode(std::span<const std::uint8_t> png) = 0;
};

// Draws the scheme at `schemePath` into `pixels`, `size` x `size`, top-down, which the caller
// has made fully transparent; cells are size / 4 pixels wide. A role the scheme leaves alone
// stays transparent. False, with nothing drawn, when the scheme cannot be read or is larger
// than kMaxPictureSchemeBytes, and with nothing read, when the scheme's own entry is a link or
// a placeholder whose data is elsewhere.
bool DrawSchemePicture(std::u16string_view schemePath, int size, FileSystem& files,
                       const PathRules& paths, PngDecoder& png, std::span<std::uint32_t> pixels);

}  // namespace pivora

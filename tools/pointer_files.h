// Makes real pointer files (.cur and animated .ani) from simple drawings, so tests and demos
// have sample pointers that come from this repository rather than from anywhere else.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace pivora::pointer_files {

// Every picture is square, this many pixels a side.
inline constexpr int kSize = 32;

// One pixel as 0xAARRGGBB with straight (not premultiplied) alpha.
using Pixel = std::uint32_t;

// A pointer's picture, row 0 at the top.
struct Picture {
  std::array<Pixel, kSize * kSize> pixels{};

  Pixel At(int x, int y) const { return pixels[static_cast<std::size_t>(y * kSize + x)]; }
  Pixel& At(int x, int y) { return pixels[static_cast<std::size_t>(y * kSize + x)]; }
};

// The pixel that is the pointer's position on screen, from the picture's top-left corner.
struct Hotspot {
  std::uint16_t x = 0;
  std::uint16_t y = 0;
};

// The bytes of a .cur file holding `picture` as one 32x32 32-bit image with an AND mask that is
// set where the picture is fully transparent. Throws std::invalid_argument if the hotspot lies
// outside the picture.
std::vector<std::uint8_t> CursorFile(const Picture& picture, Hotspot hotspot);

// What an animated pointer shows: its frames, and at each step which frame and for how long.
struct Animation {
  std::vector<Picture> frames;
  Hotspot hotspot;
  // Time each step shows, in 1/60 s, unless `rates` says otherwise.
  std::uint32_t jiffies = 6;
  // One time per step; empty: every step shows for `jiffies`.
  std::vector<std::uint32_t> rates;
  // The frame shown at each step; empty: every frame once, in order.
  std::vector<std::uint32_t> sequence;

  std::size_t Steps() const { return sequence.empty() ? frames.size() : sequence.size(); }
  std::uint32_t FrameAtStep(std::size_t step) const {
    return sequence.empty() ? static_cast<std::uint32_t>(step) : sequence[step];
  }
};

// The bytes of an .ani file (RIFF "ACON") whose frames are each a complete .cur image. A "rate"
// chunk is written when `rates` is given, a "seq " chunk when `sequence` is. Throws
// std::invalid_argument when there are no frames, the hotspot lies outside the picture, the
// sequence names a frame that does not exist, or `rates` does not have one entry per step.
std::vector<std::uint8_t> AnimatedCursorFile(const Animation& animation);

// A sample pointer for one of the system's pointer roles.
struct SamplePointer {
  std::string value_name;  // The role's value name in a pointer scheme, e.g. "Arrow".
  std::string file_name;   // value_name with ".cur", or ".ani" when animated.
  bool animated = false;
  Animation drawing;  // A static pointer has one frame and no rates or sequence.
  std::vector<std::uint8_t> bytes;
};

// One sample for each of the 15 roles, in the order schemes list them: Arrow, Help, AppStarting,
// Wait, Crosshair, IBeam, NWPen, No, SizeNS, SizeWE, SizeNWSE, SizeNESW, SizeAll, UpArrow, Hand.
// AppStarting and Wait are animated, the rest static.
std::vector<SamplePointer> SamplePointers();

struct WriteReport {
  std::vector<std::filesystem::path> written;  // In the order of SamplePointers().
  std::string error;                           // Empty when every file was written.

  bool ok() const { return error.empty(); }
};

// Creates `folder` if needed and writes every sample pointer into it under its file name,
// replacing files of the same name. Stops at the first failure and describes it in `error`.
WriteReport WriteSamplePointers(const std::filesystem::path& folder);

// The install.inf of a cursor pack of the sample pointers, as packs are passed around: its
// DefaultInstall section copies the files (to the system's folder, %10%) and names them, through
// [Strings], in a scheme called `name`.
std::string SampleCursorPackInf(const std::string& name);

}  // namespace pivora::pointer_files

// Draws the library's two pictures, the menu glyph and the scheme file icon, from simple geometry
// and encodes them as the files the resource script includes. The output depends on nothing but
// this code, so regenerating gives the same bytes and a drawing change shows up as a file change.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace pivora::images {

// The menu glyph is square, this many pixels a side: the size menus give a check mark.
inline constexpr int kGlyphSize = 13;

// The icon holds these sizes at each colour depth.
inline constexpr int kIconSizes[] = {48, 32, 16};
inline constexpr int kIconBitCounts[] = {4, 8, 32};

// The bytes of glyph.bmp: a file header and a bottom-up 32-bit DIB whose colour channels are
// premultiplied by alpha, the form menus blend without further work.
std::vector<std::uint8_t> GlyphBitmapFile();

// The bytes of pivora.ico: nine images, 4-bit then 8-bit then 32-bit, each at 48, 32 and 16
// pixels. The 4- and 8-bit images are transparent through their AND masks; the 32-bit ones carry
// straight alpha and an AND mask set exactly where alpha is 0.
std::vector<std::uint8_t> SchemeIconFile();

// The bytes of a PNG file holding `rgba` (width * height pixels, each R,G,B,A with straight
// alpha, rows top-down) without compression. Throws std::invalid_argument if the sizes disagree.
std::vector<std::uint8_t> PngFile(int width, int height, const std::vector<std::uint8_t>& rgba);

struct Rendering {
  std::string file_name;  // e.g. "glyph_checker.png"
  std::vector<std::uint8_t> png;
};

// Enlarged views of the glyph and of every icon image, decoded from the files above and laid over
// a background, for a person to look at.
std::vector<Rendering> Renderings();

// Creates `folder` if needed and writes glyph.bmp and pivora.ico into it. Returns an empty string
// on success, else what went wrong.
std::string WriteResourceFiles(const std::filesystem::path& folder);

// Creates `folder` if needed and writes every rendering into it. Returns an empty string on
// success, else what went wrong.
std::string WriteRenderings(const std::filesystem::path& folder);

}  // namespace pivora::images

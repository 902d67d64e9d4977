#include "tools/images.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "tools/byte_writer.h"

namespace pivora::images {
namespace {

// ---- Bytes ----

std::uint32_t ReadU16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint32_t>(b.at(at) | (b.at(at + 1) << 8));
}

std::uint32_t ReadU32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return ReadU16(b, at) | (ReadU16(b, at + 2) << 16);
}

constexpr std::uint32_t kInfoHeaderBytes = 40;
constexpr std::uint32_t kFileHeaderBytes = 14;
// 96 dots per inch.
constexpr std::int32_t kPelsPerMeter = 3779;

// Rows of a DIB are padded to whole 32-bit words.
std::uint32_t RowBytes(int width, int bits) {
  return static_cast<std::uint32_t>((width * bits + 31) / 32 * 4);
}

void InfoHeader(ByteWriter& out, int width, int height, int bits, std::uint32_t image_bytes,
                std::int32_t pels_per_meter) {
  out.U32(kInfoHeaderBytes);
  out.I32(width);
  out.I32(height);
  out.U16(1);  // planes
  out.U16(static_cast<std::uint16_t>(bits));
  out.U32(0);  // BI_RGB
  out.U32(image_bytes);
  out.I32(pels_per_meter);
  out.I32(pels_per_meter);
  out.U32(0);  // every palette entry the depth allows
  out.U32(0);  // all of them important
}

// ---- Colour ----

// Components from 0 to 1, not premultiplied.
struct Color {
  double r;
  double g;
  double b;
};

constexpr Color Rgb(int r, int g, int b) { return {r / 255.0, g / 255.0, b / 255.0}; }

// A colour as drawn, and its stand-in among the 16 fixed colours for 16-colour images.
struct Paint {
  Color color;
  Color basic;
};

constexpr Paint kInk = {Rgb(24, 24, 28), Rgb(0, 0, 0)};
constexpr Paint kWhite = {Rgb(255, 255, 255), Rgb(255, 255, 255)};
constexpr Paint kRed = {Rgb(222, 52, 48), Rgb(255, 0, 0)};
constexpr Paint kGreen = {Rgb(40, 168, 76), Rgb(0, 128, 0)};

// A pixel with premultiplied components, so blending and averaging are plain sums.
struct Pixel {
  double r = 0;
  double g = 0;
  double b = 0;
  double a = 0;
};

Pixel Opaque(Color c) { return {c.r, c.g, c.b, 1}; }

Pixel Over(Pixel top, Pixel below) {
  const double keep = 1 - top.a;
  return {top.r + below.r * keep, top.g + below.g * keep, top.b + below.b * keep,
          top.a + below.a * keep};
}

std::uint8_t ToByte(double v) {
  const double scaled = v * 255 + 0.5;
  return static_cast<std::uint8_t>(scaled < 0 ? 0 : (scaled > 255 ? 255 : scaled));
}

// 8-bit R,G,B,A with straight alpha.
using Rgba8 = std::array<std::uint8_t, 4>;

Rgba8 Straight(Pixel p) {
  const std::uint8_t a = ToByte(p.a);
  if (a == 0) return {0, 0, 0, 0};
  return {ToByte(p.r / p.a), ToByte(p.g / p.a), ToByte(p.b / p.a), a};
}

// A component never exceeds its alpha, which blending relies on; the cap only guards against
// rounding.
Rgba8 Premultiplied(Pixel p) {
  const std::uint8_t a = ToByte(p.a);
  if (a == 0) return {0, 0, 0, 0};
  return {std::min(ToByte(p.r), a), std::min(ToByte(p.g), a), std::min(ToByte(p.b), a), a};
}

// A DIB's pixels and palette entries are stored blue, green, red, then alpha or a reserved byte.
void Bgra(ByteWriter& out, const Rgba8& c, std::uint8_t fourth) {
  out.U8(c[2]);
  out.U8(c[1]);
  out.U8(c[0]);
  out.U8(fourth);
}

// ---- Geometry ----

struct Point {
  double x;
  double y;
};

using Polygon = std::vector<Point>;

bool Inside(const Polygon& polygon, Point p) {
  bool inside = false;
  Point prev = polygon.back();
  for (const Point& cur : polygon) {
    if ((cur.y > p.y) != (prev.y > p.y)) {
      const double cross_x = cur.x + (p.y - cur.y) * (prev.x - cur.x) / (prev.y - cur.y);
      if (p.x < cross_x) inside = !inside;
    }
    prev = cur;
  }
  return inside;
}

double DistanceSquaredToEdge(const Polygon& polygon, Point p) {
  double best = 1e300;
  Point prev = polygon.back();
  for (const Point& cur : polygon) {
    const double vx = cur.x - prev.x;
    const double vy = cur.y - prev.y;
    double t = ((p.x - prev.x) * vx + (p.y - prev.y) * vy) / (vx * vx + vy * vy);
    t = std::clamp(t, 0.0, 1.0);
    const double dx = p.x - (prev.x + t * vx);
    const double dy = p.y - (prev.y + t * vy);
    best = std::min(best, dx * dx + dy * dy);
    prev = cur;
  }
  return best;
}

// The pointer's outline with its tip at the origin, about 11 units wide and 18 tall: a straight
// left side, a 45-degree right side and a tail slanting down and to the right.
const Polygon& ArrowShape() {
  static const Polygon shape = {{0, 0},      {0, 15},     {3.6, 11.6}, {6.4, 17.6},
                                {9.2, 16.4}, {6.6, 10.8}, {10.8, 10.8}};
  return shape;
}

// A turn by a cosine and sine taken from whole-number right triangles (3-4-5 and the like), so no
// library trigonometry can change the output between builds.
struct Turn {
  double cos = 1;
  double sin = 0;
};

Polygon PlaceArrow(Point tip, double scale, Turn turn = {}) {
  Polygon placed;
  for (const Point& p : ArrowShape()) {
    const double x = p.x * turn.cos - p.y * turn.sin;
    const double y = p.x * turn.sin + p.y * turn.cos;
    placed.push_back({tip.x + x * scale, tip.y + y * scale});
  }
  return placed;
}

// ---- Drawing ----

// One pointer of a drawing: its silhouette, painted with `fill` inside a band of `ink`.
struct Layer {
  Polygon shape;
  Paint fill;
  Paint ink = kInk;
};

struct Shadow {
  double dx = 1;
  double dy = 1;
  double opacity = 0.4;
};

class Picture {
 public:
  explicit Picture(int size) : size_(size), pixels_(static_cast<std::size_t>(size * size)) {}

  int size() const { return size_; }
  Pixel At(int x, int y) const { return pixels_[Index(x, y)]; }
  Pixel& At(int x, int y) { return pixels_[Index(x, y)]; }

 private:
  std::size_t Index(int x, int y) const { return static_cast<std::size_t>(y * size_ + x); }

  int size_;
  std::vector<Pixel> pixels_;
};

Point Center(int x, int y) { return {x + 0.5, y + 0.5}; }

// The front-most layer covering p (layers run back to front), or -1.
int LayerAt(const std::vector<Layer>& layers, Point p) {
  for (int i = static_cast<int>(layers.size()) - 1; i >= 0; --i) {
    if (Inside(layers[static_cast<std::size_t>(i)].shape, p)) return i;
  }
  return -1;
}

// Pixel art: each pixel belongs wholly to the layer covering its centre, and a pixel is ink when
// one of its four neighbours lies outside that layer. That gives one-pixel outlines whose
// diagonals are clean single steps, which reads best at the smallest sizes and needs no colours
// beyond the ones named. `basic` paints with the 16-colour stand-ins.
Picture DrawCrisp(int size, const std::vector<Layer>& layers, bool basic = false) {
  Picture picture(size);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const int owner = LayerAt(layers, Center(x, y));
      if (owner < 0) continue;
      const Layer& layer = layers[static_cast<std::size_t>(owner)];
      const bool edge =
          !Inside(layer.shape, Center(x - 1, y)) || !Inside(layer.shape, Center(x + 1, y)) ||
          !Inside(layer.shape, Center(x, y - 1)) || !Inside(layer.shape, Center(x, y + 1));
      const Paint& paint = edge ? layer.ink : layer.fill;
      picture.At(x, y) = Opaque(basic ? paint.basic : paint.color);
    }
  }
  return picture;
}

// Smooth edges: each pixel averages a grid of samples, each sample taking the colour of the layer
// in front there, ink within `ink_width` of that layer's edge.
Picture DrawSmooth(int size, const std::vector<Layer>& layers, double ink_width) {
  constexpr int kGrid = 8;
  Picture picture(size);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      Pixel sum;
      for (int sy = 0; sy < kGrid; ++sy) {
        for (int sx = 0; sx < kGrid; ++sx) {
          const Point p{x + (sx + 0.5) / kGrid, y + (sy + 0.5) / kGrid};
          const int owner = LayerAt(layers, p);
          if (owner < 0) continue;
          const Layer& layer = layers[static_cast<std::size_t>(owner)];
          const bool edge = DistanceSquaredToEdge(layer.shape, p) < ink_width * ink_width;
          const Color c = (edge ? layer.ink : layer.fill).color;
          sum.r += c.r;
          sum.g += c.g;
          sum.b += c.b;
          sum.a += 1;
        }
      }
      constexpr double kSamples = kGrid * kGrid;
      picture.At(x, y) = {sum.r / kSamples, sum.g / kSamples, sum.b / kSamples, sum.a / kSamples};
    }
  }
  return picture;
}

// Lays a soft black shadow of everything drawn under it, moved down and to the right: the
// picture's coverage, offset, spread by a small binomial blur and faded.
Picture WithShadow(const Picture& art, Shadow shadow) {
  const int size = art.size();
  const auto coverage = [&](double fx, double fy) {
    // Bilinear, so fractional offsets move the shadow smoothly.
    const int x0 = static_cast<int>(fx < 0 ? fx - 1 : fx);
    const int y0 = static_cast<int>(fy < 0 ? fy - 1 : fy);
    const double tx = fx - x0;
    const double ty = fy - y0;
    const auto alpha = [&](int x, int y) {
      return x < 0 || y < 0 || x >= size || y >= size ? 0.0 : art.At(x, y).a;
    };
    return (alpha(x0, y0) * (1 - tx) + alpha(x0 + 1, y0) * tx) * (1 - ty) +
           (alpha(x0, y0 + 1) * (1 - tx) + alpha(x0 + 1, y0 + 1) * tx) * ty;
  };
  constexpr double kWeights[] = {1, 2, 1};
  Picture out(size);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      double a = 0;
      for (int ky = -1; ky <= 1; ++ky) {
        for (int kx = -1; kx <= 1; ++kx) {
          a += kWeights[kx + 1] * kWeights[ky + 1] *
               coverage(x + kx - shadow.dx, y + ky - shadow.dy);
        }
      }
      const Pixel dark{0, 0, 0, a / 16 * shadow.opacity};
      out.At(x, y) = Over(art.At(x, y), dark);
    }
  }
  return out;
}

// ---- The glyph ----

// A pointer drawn for the smallest sizes, 8 by 12 pixels with its tip in pixel (1 + dx, dy). The
// edges run between pixel centres, so every pixel is plainly inside or outside and the outline
// comes out in the clean one-pixel steps a pointer this small wants.
Polygon SmallArrow(int dx, int dy) {
  Polygon arrow = {{1, -0.5}, {9.5, 8},  {6.5, 8},       {9, 10.5},
                   {7.5, 12}, {6.5, 12}, {3.375, 8.875}, {1, 11.25}};
  for (Point& p : arrow) p = {p.x + dx, p.y + dy};
  return arrow;
}

Picture GlyphPicture() {
  return WithShadow(DrawCrisp(kGlyphSize, {{SmallArrow(0, 0), kWhite}}), {1, 1, 0.45});
}

// ---- The icon ----

// Three pointers fanned out like a hand of cards, white in front: a scheme is a set of pointers.
std::vector<Layer> IconLayers(int size) {
  if (size <= 16) {
    // Too small to fan out: the three stand one behind another.
    return {{SmallArrow(6, 1), kGreen}, {SmallArrow(3, 2), kRed}, {SmallArrow(0, 3), kWhite}};
  }
  // Tips on whole pixels (less half a pixel down, which keeps pixel centres off the 45-degree
  // edges) so the upright white pointer's left side is one sharp column at every size.
  const double u = size / 48.0;
  const auto tip = [u](double x, double y) {
    return Point{std::floor(x * u + 0.5), std::floor(y * u + 0.5) - 0.5};
  };
  const double scale = 2.1 * u;
  return {
      {PlaceArrow(tip(12, 4), scale, {15.0 / 17, -8.0 / 17}), kGreen},
      {PlaceArrow(tip(8, 6), scale, {24.0 / 25, -7.0 / 25}), kRed},
      {PlaceArrow(tip(4, 8), scale), kWhite},
  };
}

Picture IconPicture(int size, int bits) {
  const std::vector<Layer> layers = IconLayers(size);
  if (bits < 32) return DrawCrisp(size, layers, bits == 4);
  if (size <= 16) return WithShadow(DrawCrisp(size, layers), {1, 1, 0.4});
  const double unit = size / 48.0;
  return WithShadow(DrawSmooth(size, layers, std::max(1.0, 1.5 * unit)),
                    {1.5 * unit, 1.5 * unit, 0.35});
}

// The 16 colours every display can show, in their customary order, so a 16-colour image looks
// the same whatever palette is in force.
constexpr std::array<Rgba8, 16> kSixteenColors = {{
    {0, 0, 0, 0},
    {128, 0, 0, 0},
    {0, 128, 0, 0},
    {128, 128, 0, 0},
    {0, 0, 128, 0},
    {128, 0, 128, 0},
    {0, 128, 128, 0},
    {192, 192, 192, 0},
    {128, 128, 128, 0},
    {255, 0, 0, 0},
    {0, 255, 0, 0},
    {255, 255, 0, 0},
    {0, 0, 255, 0},
    {255, 0, 255, 0},
    {0, 255, 255, 0},
    {255, 255, 255, 0},
}};

int DistanceSquared(const Rgba8& a, const Rgba8& b) {
  int sum = 0;
  for (int i = 0; i < 3; ++i) sum += (a[i] - b[i]) * (a[i] - b[i]);
  return sum;
}

// A colour-table image: indices per pixel top-down, the table, and which pixels show through.
struct Indexed {
  std::vector<Rgba8> palette;
  std::vector<std::uint8_t> index;
  std::vector<bool> clear;
};

// Entry 0 is black, the colour under every clear pixel, so the AND mask alone decides them.
Indexed Index(const Picture& picture, int bits) {
  Indexed out;
  const int size = picture.size();
  if (bits == 4) {
    out.palette.assign(kSixteenColors.begin(), kSixteenColors.end());
  } else {
    out.palette.push_back({0, 0, 0, 0});
  }
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const Rgba8 c = Straight(picture.At(x, y));
      out.clear.push_back(c[3] < 128);
      if (c[3] < 128) {
        out.index.push_back(0);
        continue;
      }
      const Rgba8 color{c[0], c[1], c[2], 0};
      std::size_t best = 0;
      if (bits == 4) {
        for (std::size_t i = 1; i < out.palette.size(); ++i) {
          if (DistanceSquared(out.palette[i], color) < DistanceSquared(out.palette[best], color)) {
            best = i;
          }
        }
      } else {
        best = static_cast<std::size_t>(
            std::find(out.palette.begin() + 1, out.palette.end(), color) - out.palette.begin());
        if (best == out.palette.size()) {
          if (best == 256) throw std::logic_error("more than 256 colours in an 8-bit image");
          out.palette.push_back(color);
        }
      }
      out.index.push_back(static_cast<std::uint8_t>(best));
    }
  }
  out.palette.resize(std::size_t{1} << bits, Rgba8{0, 0, 0, 0});
  return out;
}

// Bits set where the screen shows through, rows bottom-up.
void AndMask(ByteWriter& out, int size, const std::vector<bool>& clear) {
  const std::uint32_t row_bytes = RowBytes(size, 1);
  for (int y = size - 1; y >= 0; --y) {
    std::vector<std::uint8_t> row(row_bytes, 0);
    for (int x = 0; x < size; ++x) {
      if (clear[static_cast<std::size_t>(y * size + x)]) {
        row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
      }
    }
    out.Append(row);
  }
}

std::vector<std::uint8_t> IconImage(int size, int bits) {
  const Picture picture = IconPicture(size, bits);
  const std::uint32_t xor_bytes = RowBytes(size, bits) * static_cast<std::uint32_t>(size);
  const std::uint32_t and_bytes = RowBytes(size, 1) * static_cast<std::uint32_t>(size);
  ByteWriter out;
  // An icon's DIB is as tall as its colour bitmap and mask together.
  InfoHeader(out, size, size * 2, bits, xor_bytes + and_bytes, 0);
  std::vector<bool> clear;
  if (bits == 32) {
    for (int y = size - 1; y >= 0; --y) {
      for (int x = 0; x < size; ++x) {
        const Rgba8 c = Straight(picture.At(x, y));
        Bgra(out, c, c[3]);
      }
    }
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) clear.push_back(Straight(picture.At(x, y))[3] == 0);
    }
  } else {
    const Indexed indexed = Index(picture, bits);
    for (const Rgba8& c : indexed.palette) {
      Bgra(out, c, 0);
    }
    const std::uint32_t row_bytes = RowBytes(size, bits);
    const int per_byte = 8 / bits;
    for (int y = size - 1; y >= 0; --y) {
      std::vector<std::uint8_t> row(row_bytes, 0);
      for (int x = 0; x < size; ++x) {
        const std::uint8_t index = indexed.index[static_cast<std::size_t>(y * size + x)];
        const int shift = (per_byte - 1 - x % per_byte) * bits;
        row[static_cast<std::size_t>(x / per_byte)] |= static_cast<std::uint8_t>(index << shift);
      }
      out.Append(row);
    }
    clear = indexed.clear;
  }
  AndMask(out, size, clear);
  return out.Take();
}

// ---- The files ----

std::vector<std::uint8_t> GlyphFileBytes() {
  const Picture picture = GlyphPicture();
  const std::uint32_t pixel_bytes = RowBytes(kGlyphSize, 32) * kGlyphSize;
  const std::uint32_t offset = kFileHeaderBytes + kInfoHeaderBytes;
  ByteWriter out;
  out.U8('B');
  out.U8('M');
  out.U32(offset + pixel_bytes);
  out.U32(0);  // reserved
  out.U32(offset);
  InfoHeader(out, kGlyphSize, kGlyphSize, 32, 0, kPelsPerMeter);
  for (int y = kGlyphSize - 1; y >= 0; --y) {
    for (int x = 0; x < kGlyphSize; ++x) {
      const Rgba8 c = Premultiplied(picture.At(x, y));
      Bgra(out, c, c[3]);
    }
  }
  return out.Take();
}

std::vector<std::uint8_t> IconFileBytes() {
  struct Entry {
    int size;
    int bits;
    std::vector<std::uint8_t> dib;
  };
  std::vector<Entry> entries;
  for (int bits : kIconBitCounts) {
    for (int size : kIconSizes) entries.push_back({size, bits, IconImage(size, bits)});
  }
  constexpr std::uint32_t kDirectoryHeaderBytes = 6;
  constexpr std::uint32_t kEntryBytes = 16;
  ByteWriter out;
  out.U16(0);  // reserved
  out.U16(1);  // an icon, not a cursor
  out.U16(static_cast<std::uint16_t>(entries.size()));
  auto offset = static_cast<std::uint32_t>(kDirectoryHeaderBytes + kEntryBytes * entries.size());
  for (const Entry& e : entries) {
    out.U8(static_cast<std::uint8_t>(e.size));
    out.U8(static_cast<std::uint8_t>(e.size));
    out.U8(e.bits == 4 ? 16 : 0);  // palette size, 0 when 256 or more
    out.U8(0);                     // reserved
    out.U16(1);                    // planes
    out.U16(static_cast<std::uint16_t>(e.bits));
    out.U32(static_cast<std::uint32_t>(e.dib.size()));
    out.U32(offset);
    offset += static_cast<std::uint32_t>(e.dib.size());
  }
  for (const Entry& e : entries) out.Append(e.dib);
  return out.Take();
}

// ---- PNG ----

std::uint32_t Crc32(const std::vector<std::uint8_t>& data) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::uint8_t byte : data) crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

std::uint32_t Adler32(const std::vector<std::uint8_t>& data) {
  constexpr std::uint32_t kModulus = 65521;
  std::uint32_t a = 1;
  std::uint32_t b = 0;
  for (std::uint8_t byte : data) {
    a = (a + byte) % kModulus;
    b = (b + a) % kModulus;
  }
  return (b << 16) | a;
}

// A zlib stream of stored deflate blocks: no compression, so no compressor is needed.
std::vector<std::uint8_t> ZlibStored(const std::vector<std::uint8_t>& raw) {
  constexpr std::size_t kMaxBlock = 65535;
  ByteWriter out;
  out.U8(0x78);  // deflate with a 32 KiB window
  out.U8(0x01);  // no preset dictionary; makes the header a multiple of 31
  std::size_t at = 0;
  do {
    const std::size_t n = std::min(kMaxBlock, raw.size() - at);
    const bool last = at + n == raw.size();
    out.U8(last ? 1 : 0);
    out.U16(static_cast<std::uint16_t>(n));
    out.U16(static_cast<std::uint16_t>(~n));
    out.Append(std::vector<std::uint8_t>(raw.begin() + static_cast<std::ptrdiff_t>(at),
                                         raw.begin() + static_cast<std::ptrdiff_t>(at + n)));
    at += n;
  } while (at < raw.size());
  out.BigU32(Adler32(raw));
  return out.Take();
}

void PngChunk(ByteWriter& out, const char* type, const std::vector<std::uint8_t>& data) {
  out.BigU32(static_cast<std::uint32_t>(data.size()));
  std::vector<std::uint8_t> typed(type, type + 4);
  typed.insert(typed.end(), data.begin(), data.end());
  out.Append(typed);
  out.BigU32(Crc32(typed));
}

// ---- Reading the files back, for the renderings ----

// One image as stored: colours top-down, and how it meets the screen.
struct Stored {
  int size = 0;
  int bits = 0;
  bool premultiplied = false;
  std::vector<Rgba8> color;  // R,G,B,A; A is 255 for colour-table images.
  std::vector<bool> mask;    // Empty when there is no AND mask.
};

Stored ReadDib(const std::vector<std::uint8_t>& file, std::size_t at, bool icon) {
  Stored s;
  s.size = static_cast<int>(ReadU32(file, at + 4));
  s.bits = static_cast<int>(ReadU16(file, at + 14));
  const int rows = static_cast<int>(ReadU32(file, at + 8)) / (icon ? 2 : 1);
  if (s.size <= 0 || rows != s.size) throw std::runtime_error("unexpected image size");
  std::size_t pos = at + ReadU32(file, at);
  std::vector<Rgba8> palette;
  if (s.bits <= 8) {
    for (int i = 0; i < (1 << s.bits); ++i, pos += 4) {
      palette.push_back({file.at(pos + 2), file.at(pos + 1), file.at(pos), 255});
    }
  }
  s.color.resize(static_cast<std::size_t>(s.size * s.size));
  const std::size_t row_bytes = RowBytes(s.size, s.bits);
  for (int row = 0; row < s.size; ++row, pos += row_bytes) {
    const int y = s.size - 1 - row;
    for (int x = 0; x < s.size; ++x) {
      Rgba8& c = s.color[static_cast<std::size_t>(y * s.size + x)];
      if (s.bits == 32) {
        const std::size_t p = pos + static_cast<std::size_t>(x) * 4;
        c = {file.at(p + 2), file.at(p + 1), file.at(p), file.at(p + 3)};
      } else {
        const int per_byte = 8 / s.bits;
        const std::uint8_t byte = file.at(pos + static_cast<std::size_t>(x / per_byte));
        const int shift = (per_byte - 1 - x % per_byte) * s.bits;
        c = palette.at(static_cast<std::size_t>((byte >> shift) & ((1 << s.bits) - 1)));
      }
    }
  }
  if (icon) {
    s.mask.resize(s.color.size());
    const std::size_t mask_row_bytes = RowBytes(s.size, 1);
    for (int row = 0; row < s.size; ++row, pos += mask_row_bytes) {
      const int y = s.size - 1 - row;
      for (int x = 0; x < s.size; ++x) {
        const std::uint8_t byte = file.at(pos + static_cast<std::size_t>(x / 8));
        s.mask[static_cast<std::size_t>(y * s.size + x)] = (byte >> (7 - x % 8)) & 1;
      }
    }
  }
  return s;
}

// The pixel the screen shows where `s` is drawn over `screen`.
Rgba8 Show(const Stored& s, int x, int y, Rgba8 screen) {
  const Rgba8 c = s.color[static_cast<std::size_t>(y * s.size + x)];
  Rgba8 out{0, 0, 0, 255};
  for (int i = 0; i < 3; ++i) {
    if (s.bits == 32) {
      const int behind = screen[i] * (255 - c[3]);
      const int front = s.premultiplied ? c[i] * 255 : c[i] * c[3];
      out[i] = static_cast<std::uint8_t>((front + behind + 127) / 255);
    } else {
      const bool through = s.mask[static_cast<std::size_t>(y * s.size + x)];
      out[i] = static_cast<std::uint8_t>((through ? screen[i] : 0) ^ c[i]);
    }
  }
  return out;
}

class Canvas {
 public:
  Canvas(int width, int height, Rgba8 color)
      : width_(width), height_(height), pixels_(static_cast<std::size_t>(width * height), color) {}

  // Light and lighter squares, smaller than an enlarged pixel so clear pixels stand out.
  void Checker(int left, int top, int width, int height, int cell) {
    for (int y = top; y < top + height; ++y) {
      for (int x = left; x < left + width; ++x) {
        const bool light = ((x - left) / cell + (y - top) / cell) % 2 == 0;
        At(x, y) = light ? Rgba8{255, 255, 255, 255} : Rgba8{206, 206, 206, 255};
      }
    }
  }

  void Fill(int left, int top, int width, int height, Rgba8 color) {
    for (int y = top; y < top + height; ++y) {
      for (int x = left; x < left + width; ++x) At(x, y) = color;
    }
  }

  // Draws `s` enlarged `scale` times, each pixel a square.
  void Draw(const Stored& s, int left, int top, int scale) {
    for (int y = 0; y < s.size * scale; ++y) {
      for (int x = 0; x < s.size * scale; ++x) {
        Rgba8& screen = At(left + x, top + y);
        screen = Show(s, x / scale, y / scale, screen);
      }
    }
  }

  std::vector<std::uint8_t> Png() const {
    std::vector<std::uint8_t> rgba;
    for (const Rgba8& p : pixels_) rgba.insert(rgba.end(), p.begin(), p.end());
    return PngFile(width_, height_, rgba);
  }

 private:
  Rgba8& At(int x, int y) { return pixels_.at(static_cast<std::size_t>(y * width_ + x)); }

  int width_;
  int height_;
  std::vector<Rgba8> pixels_;
};

void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string WriteAll(const std::filesystem::path& folder,
                     const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& files) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) return "cannot create " + folder.string() + ": " + error.message();
  try {
    for (const auto& [name, bytes] : files) WriteBytes(folder / name, bytes);
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

}  // namespace

std::vector<std::uint8_t> GlyphBitmapFile() { return GlyphFileBytes(); }

std::vector<std::uint8_t> SchemeIconFile() { return IconFileBytes(); }

std::vector<std::uint8_t> PngFile(int width, int height, const std::vector<std::uint8_t>& rgba) {
  if (width <= 0 || height <= 0 ||
      rgba.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4) {
    throw std::invalid_argument("pixel data does not match the PNG's size");
  }
  ByteWriter header;
  header.BigU32(static_cast<std::uint32_t>(width));
  header.BigU32(static_cast<std::uint32_t>(height));
  header.U8(8);  // bits per component
  header.U8(6);  // RGBA
  header.U8(0);  // deflate
  header.U8(0);  // per-row filters
  header.U8(0);  // not interlaced

  // Each row starts with its filter, 0 for none.
  const auto row_bytes = static_cast<std::size_t>(width) * 4;
  std::vector<std::uint8_t> raw;
  for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), rgba.begin() + static_cast<std::ptrdiff_t>(y * row_bytes),
               rgba.begin() + static_cast<std::ptrdiff_t>((y + 1) * row_bytes));
  }

  ByteWriter out;
  out.Append({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'});
  PngChunk(out, "IHDR", header.data());
  PngChunk(out, "IDAT", ZlibStored(raw));
  PngChunk(out, "IEND", {});
  return out.Take();
}

std::vector<Rendering> Renderings() {
  constexpr int kScale = 8;
  constexpr int kCell = kScale / 2;
  constexpr Rgba8 kMenu{240, 240, 240, 255};
  std::vector<Rendering> out;

  Stored glyph = ReadDib(GlyphBitmapFile(), kFileHeaderBytes, false);
  glyph.premultiplied = true;
  const int glyph_side = kGlyphSize * kScale;
  Canvas checker(glyph_side, glyph_side, kMenu);
  checker.Checker(0, 0, glyph_side, glyph_side, kCell);
  checker.Draw(glyph, 0, 0, kScale);
  out.push_back({"glyph_checker.png", checker.Png()});
  Canvas menu(glyph_side + 2 * kScale, glyph_side + 2 * kScale, kMenu);
  menu.Draw(glyph, kScale, kScale, kScale);
  out.push_back({"glyph_menu.png", menu.Png()});

  const std::vector<std::uint8_t> icon = SchemeIconFile();
  std::vector<Stored> icons;
  for (std::uint32_t i = 0; i < ReadU16(icon, 4); ++i) {
    const std::size_t entry = 6 + 16 * i;
    icons.push_back(ReadDib(icon, ReadU32(icon, entry + 12), true));
    const Stored& s = icons.back();
    const int side = s.size * kScale;
    Canvas view(side, side, kMenu);
    view.Checker(0, 0, side, side, kCell);
    view.Draw(s, 0, 0, kScale);
    out.push_back(
        {"icon_" + std::to_string(s.size) + "_" + std::to_string(s.bits) + "bit.png", view.Png()});
  }

  // Everything at its own size and doubled, over a menu's grey, white and a dark grey.
  constexpr int kGap = 8;
  std::vector<const Stored*> all = {&glyph};
  for (const Stored& s : icons) all.push_back(&s);
  int row_width = kGap;
  for (const Stored* s : all) row_width += s->size * 2 + kGap;
  const int row_height = 48 * 2 + 2 * kGap;
  const Rgba8 backgrounds[] = {kMenu, {255, 255, 255, 255}, {44, 44, 48, 255}};
  Canvas overview(row_width, row_height * 2 * 3, kMenu);
  int top = 0;
  for (const Rgba8& background : backgrounds) {
    for (int scale = 1; scale <= 2; ++scale, top += row_height) {
      overview.Fill(0, top, row_width, row_height, background);
      int left = kGap;
      for (const Stored* s : all) {
        overview.Draw(*s, left, top + kGap, scale);
        left += s->size * scale + kGap;
      }
    }
  }
  out.push_back({"overview.png", overview.Png()});
  return out;
}

std::string WriteResourceFiles(const std::filesystem::path& folder) {
  return WriteAll(folder, {{"glyph.bmp", GlyphBitmapFile()}, {"pivora.ico", SchemeIconFile()}});
}

std::string WriteRenderings(const std::filesystem::path& folder) {
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files;
  for (Rendering& r : Renderings()) files.emplace_back(r.file_name, std::move(r.png));
  return WriteAll(folder, files);
}

}  // namespace pivora::images

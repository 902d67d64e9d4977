#include "tools/pointer_files.h"

#include <cmath>
#include <fstream>
#include <initializer_list>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "tools/byte_writer.h"

namespace pivora::pointer_files {
namespace {

void CheckHotspot(Hotspot hotspot) {
  if (hotspot.x >= kSize || hotspot.y >= kSize) {
    throw std::invalid_argument("hotspot outside the picture");
  }
}

constexpr std::uint32_t kColorBytes = kSize * kSize * 4;
// One bit a pixel, each row padded to a multiple of 32 bits.
constexpr std::uint32_t kMaskRowBytes = (kSize + 31) / 32 * 4;
constexpr std::uint32_t kMaskBytes = kMaskRowBytes * kSize;
constexpr std::uint32_t kInfoHeaderBytes = 40;
constexpr std::uint32_t kImageBytes = kInfoHeaderBytes + kColorBytes + kMaskBytes;
constexpr std::uint32_t kDirectoryBytes = 6 + 16;

// ---- Drawing ----

constexpr Pixel kClear = 0x00000000;
constexpr Pixel kBlack = 0xFF000000;
constexpr Pixel kWhite = 0xFFFFFFFF;
constexpr Pixel kShadow = 0x48000000;
constexpr Pixel kRed = 0xFFD42A2A;
constexpr Pixel kBlue = 0xFF2A6FD4;
constexpr Pixel kPaleGray = 0xFFC8C8C8;
constexpr Pixel kGlass = 0xFFE6F0FA;
constexpr Pixel kSand = 0xFFE0A830;
constexpr Pixel kWood = 0xFF8A5A2B;
constexpr Pixel kYellow = 0xFFF2C230;
constexpr Pixel kPink = 0xFFE88AA0;

constexpr double kPi = 3.14159265358979323846;

struct Point {
  double x;
  double y;
};

bool InPolygon(std::initializer_list<Point> polygon, Point p) {
  bool inside = false;
  const Point* prev = polygon.end() - 1;
  for (const Point& cur : polygon) {
    if ((cur.y > p.y) != (prev->y > p.y)) {
      const double cross_x = cur.x + (p.y - cur.y) * (prev->x - cur.x) / (prev->y - cur.y);
      if (p.x < cross_x) inside = !inside;
    }
    prev = &cur;
  }
  return inside;
}

bool InRect(double left, double top, double right, double bottom, Point p) {
  return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
}

bool InDisc(Point center, double radius, Point p) {
  const double dx = p.x - center.x;
  const double dy = p.y - center.y;
  return dx * dx + dy * dy <= radius * radius;
}

// Within `radius` of the segment from a to b: a stroke with round ends.
bool InCapsule(Point a, Point b, double radius, Point p) {
  const double vx = b.x - a.x;
  const double vy = b.y - a.y;
  double t = ((p.x - a.x) * vx + (p.y - a.y) * vy) / (vx * vx + vy * vy);
  t = t < 0 ? 0 : (t > 1 ? 1 : t);
  return InDisc({a.x + t * vx, a.y + t * vy}, radius, p);
}

// Coordinates of p along an axis through `origin` at `degrees` clockwise from pointing right
// (u), and across it (v), so one drawing serves every direction.
Point Along(Point origin, double degrees, Point p) {
  const double a = degrees * kPi / 180.0;
  const double dx = p.x - origin.x;
  const double dy = p.y - origin.y;
  return {dx * std::cos(a) + dy * std::sin(a), -dx * std::sin(a) + dy * std::cos(a)};
}

class Canvas {
 public:
  // Paints every pixel whose centre lies inside the shape.
  template <typename Inside>
  void Fill(Pixel color, Inside inside) {
    for (int y = 0; y < kSize; ++y) {
      for (int x = 0; x < kSize; ++x) {
        if (inside(Point{x + 0.5, y + 0.5})) picture_.At(x, y) = color;
      }
    }
  }

  // Rings everything drawn so far with a one-pixel border, so the pointer shows on any
  // background, then drops a soft shadow down and to the right.
  Picture Finish(Pixel outline) {
    Picture ringed = picture_;
    for (int y = 0; y < kSize; ++y) {
      for (int x = 0; x < kSize; ++x) {
        if (picture_.At(x, y) == kClear && TouchesPaint(x, y)) ringed.At(x, y) = outline;
      }
    }
    Picture shadowed = ringed;
    for (int y = 1; y < kSize; ++y) {
      for (int x = 1; x < kSize; ++x) {
        if (ringed.At(x, y) == kClear && ringed.At(x - 1, y - 1) != kClear) {
          shadowed.At(x, y) = kShadow;
        }
      }
    }
    return shadowed;
  }

 private:
  bool TouchesPaint(int x, int y) const {
    for (int dy = -1; dy <= 1; ++dy) {
      for (int dx = -1; dx <= 1; ++dx) {
        const int nx = x + dx;
        const int ny = y + dy;
        if (nx >= 0 && ny >= 0 && nx < kSize && ny < kSize && picture_.At(nx, ny) != kClear) {
          return true;
        }
      }
    }
    return false;
  }

  Picture picture_;
};

void ArrowBody(Canvas& c) {
  c.Fill(kWhite, [](Point p) {
    return InPolygon({{1, 1}, {1, 22}, {6, 17.2}, {10, 26.5}, {13.2, 25}, {9.3, 16}, {16.3, 16}},
                     p);
  });
}

Picture Arrow() {
  Canvas c;
  ArrowBody(c);
  return c.Finish(kBlack);
}

Picture Help() {
  Canvas c;
  ArrowBody(c);
  c.Fill(kBlue, [](Point p) {
    const Point center{24, 7};
    const bool ring = InDisc(center, 5, p) && !InDisc(center, 2.4, p);
    // The ring is open at the lower left where the question mark's stem leaves it.
    const bool hook = ring && !(p.y > center.y && p.x < center.x + 0.5);
    const bool stem = InRect(22.5, 10, 25.5, 16, p);
    const bool dot = InDisc({24, 20}, 1.8, p);
    return hook || stem || dot;
  });
  return c.Finish(kBlack);
}

// The arrow with a ring of eight dots, the lit one `lit` steps round from the top.
Picture AppStarting(int lit) {
  Canvas c;
  ArrowBody(c);
  const Point center{24, 24};
  for (int i = 0; i < 8; ++i) {
    const double a = i * kPi / 4;
    const Point dot{center.x + 5 * std::sin(a), center.y - 5 * std::cos(a)};
    c.Fill(i == lit ? kBlue : kPaleGray, [dot](Point p) { return InDisc(dot, 1.7, p); });
  }
  return c.Finish(kBlack);
}

// An hourglass; `fallen` from 0 (all sand on top) to 1 (all below).
Picture Hourglass(double fallen) {
  Canvas c;
  const auto glass = [](Point p) {
    return InPolygon({{9.5, 6}, {23.5, 6}, {17.6, 16.5}, {23.5, 27}, {9.5, 27}, {15.4, 16.5}}, p);
  };
  c.Fill(kGlass, glass);
  const double top_sand = 6 + 3 + 7.5 * fallen;  // Upper edge of the sand still on top.
  const double bottom_sand = 27 - 7.5 * fallen;  // Upper edge of the heap below.
  c.Fill(kSand, [&](Point p) {
    const bool upper = p.y >= top_sand && p.y < 16.5;
    const bool lower = p.y >= bottom_sand;
    const bool stream = fallen < 1 && InRect(16, 16.5, 17, 27, p);
    return glass(p) && (upper || lower || stream);
  });
  c.Fill(kWood, [](Point p) { return InRect(7, 3, 26, 6, p) || InRect(7, 27, 26, 30, p); });
  return c.Finish(kBlack);
}

// The hourglass lying on its side as it is turned over between rounds.
Picture HourglassTurning() {
  Canvas c;
  const auto glass = [](Point p) {
    return InPolygon({{6, 9.5}, {6, 23.5}, {16.5, 17.6}, {27, 23.5}, {27, 9.5}, {16.5, 15.4}}, p);
  };
  c.Fill(kGlass, glass);
  c.Fill(kSand, [&](Point p) { return glass(p) && p.x >= 21; });
  c.Fill(kWood, [](Point p) { return InRect(3, 7, 6, 26, p) || InRect(27, 7, 30, 26, p); });
  return c.Finish(kBlack);
}

Picture Crosshair() {
  Canvas c;
  c.Fill(kBlack, [](Point p) {
    const bool vertical = InRect(16, 2, 17, 13, p) || InRect(16, 20, 17, 31, p);
    const bool horizontal = InRect(2, 16, 13, 17, p) || InRect(20, 16, 31, 17, p);
    return vertical || horizontal || InRect(16, 16, 17, 17, p);
  });
  return c.Finish(kWhite);
}

Picture IBeam() {
  Canvas c;
  c.Fill(kBlack, [](Point p) {
    const bool stem = InRect(16, 5, 17, 28, p);
    const bool serifs = InRect(13, 4, 16, 5, p) || InRect(17, 4, 20, 5, p) ||
                        InRect(13, 28, 16, 29, p) || InRect(17, 28, 20, 29, p);
    return stem || serifs || InRect(14, 16, 19, 17, p);
  });
  return c.Finish(kWhite);
}

// A pencil pointing up and to the left, its tip on pixel (1, 1).
Picture Pen() {
  Canvas c;
  const Point tip{1.5, 1.5};
  const auto along = [tip](Point p) { return Along(tip, 45, p); };
  c.Fill(kWood, [&](Point p) {
    const Point q = along(p);
    return q.x >= -0.5 && q.x < 8 && std::abs(q.y) <= 0.7 + q.x * 0.42;
  });
  c.Fill(kBlack, [&](Point p) {
    const Point q = along(p);
    return q.x >= -0.5 && q.x < 2.8 && std::abs(q.y) <= 0.8 + q.x * 0.42;
  });
  c.Fill(kYellow, [&](Point p) {
    const Point q = along(p);
    return q.x >= 8 && q.x < 31 && std::abs(q.y) <= 4;
  });
  c.Fill(kPink, [&](Point p) {
    const Point q = along(p);
    return q.x >= 31 && q.x < 36 && std::abs(q.y) <= 4;
  });
  return c.Finish(kBlack);
}

Picture No() {
  Canvas c;
  const Point center{16.5, 16.5};
  c.Fill(kRed, [center](Point p) {
    const bool ring = InDisc(center, 12, p) && !InDisc(center, 8.2, p);
    const bool bar = InDisc(center, 9, p) && std::abs(Along(center, 45, p).y) <= 2.2;
    return ring || bar;
  });
  return c.Finish(kBlack);
}

// A two-headed arrow through the centre at `degrees` clockwise from horizontal.
bool InDoubleArrow(double degrees, double length, Point p) {
  const Point q = Along({16.5, 16.5}, degrees, p);
  const double u = std::abs(q.x);
  const double v = std::abs(q.y);
  const double head = length - 5.5;
  if (u <= head) return v <= 1.6;
  return u <= length && v <= length - u;
}

Picture Size(double degrees) {
  Canvas c;
  const double length = static_cast<int>(degrees) % 90 == 0 ? 14 : 13;
  c.Fill(kWhite, [&](Point p) { return InDoubleArrow(degrees, length, p); });
  return c.Finish(kBlack);
}

Picture SizeAll() {
  Canvas c;
  c.Fill(kWhite, [](Point p) { return InDoubleArrow(0, 14, p) || InDoubleArrow(90, 14, p); });
  return c.Finish(kBlack);
}

Picture UpArrow() {
  Canvas c;
  c.Fill(kWhite, [](Point p) {
    const bool head = InPolygon({{16.5, 1}, {25, 11.5}, {8, 11.5}}, p);
    return head || InRect(14, 11, 19, 30, p);
  });
  return c.Finish(kBlack);
}

// A hand with the index finger raised, its tip on pixel (11, 1).
Picture Hand() {
  Canvas c;
  const auto hand = [](Point p) {
    const bool index = InCapsule({11.5, 3.5}, {11.5, 18}, 2.3, p);
    const bool middle = InCapsule({15.9, 11.5}, {15.9, 18}, 2.1, p);
    const bool ring = InCapsule({20.1, 12.5}, {20.1, 18}, 2.1, p);
    const bool little = InCapsule({24.1, 14.5}, {24.1, 19}, 1.9, p);
    const bool thumb = InCapsule({4.5, 15}, {10, 22.5}, 2.3, p);
    const bool palm = InRect(9.2, 16, 26, 25, p) || InCapsule({12, 25}, {23, 25}, 3, p);
    return index || middle || ring || little || thumb || palm;
  };
  c.Fill(kWhite, hand);
  // Lines between the folded fingers.
  c.Fill(kBlack, [](Point p) {
    return InRect(13.8, 12, 14.2, 18, p) || InRect(18, 13, 18.4, 18, p) ||
           InRect(22.2, 14.5, 22.6, 19, p);
  });
  return c.Finish(kBlack);
}

Animation Still(Picture picture, Hotspot hotspot) {
  Animation a;
  a.frames.push_back(std::move(picture));
  a.hotspot = hotspot;
  return a;
}

SamplePointer Sample(std::string value_name, Animation drawing, bool animated) {
  SamplePointer s;
  s.value_name = std::move(value_name);
  s.file_name = s.value_name + (animated ? ".ani" : ".cur");
  s.animated = animated;
  s.bytes = animated ? AnimatedCursorFile(drawing) : CursorFile(drawing.frames[0], drawing.hotspot);
  s.drawing = std::move(drawing);
  return s;
}

}  // namespace

std::vector<std::uint8_t> CursorFile(const Picture& picture, Hotspot hotspot) {
  CheckHotspot(hotspot);
  ByteWriter out;
  // Directory: reserved, type 2 (cursor), one image.
  out.U16(0);
  out.U16(2);
  out.U16(1);
  // Its entry; a cursor keeps its hotspot where an icon keeps planes and bit count.
  out.U8(kSize);
  out.U8(kSize);
  out.U8(0);  // No palette.
  out.U8(0);
  out.U16(hotspot.x);
  out.U16(hotspot.y);
  out.U32(kImageBytes);
  out.U32(kDirectoryBytes);
  // The image's header; its height counts the colour rows and the mask rows.
  out.U32(kInfoHeaderBytes);
  out.U32(kSize);
  out.U32(2 * kSize);
  out.U16(1);   // Planes.
  out.U16(32);  // Bits a pixel.
  out.U32(0);   // Uncompressed.
  out.U32(kColorBytes + kMaskBytes);
  for (int i = 0; i < 4; ++i) out.U32(0);  // Resolution and palette, unused.
  // Colour rows bottom-up, each pixel blue, green, red, alpha.
  for (int y = kSize - 1; y >= 0; --y) {
    for (int x = 0; x < kSize; ++x) {
      const Pixel p = picture.At(x, y);
      out.U32((p >> 24) == 0 ? 0 : p);
    }
  }
  // AND mask rows bottom-up, most significant bit leftmost: set keeps the screen unchanged.
  for (int y = kSize - 1; y >= 0; --y) {
    std::uint8_t row[kMaskRowBytes] = {};
    for (int x = 0; x < kSize; ++x) {
      if ((picture.At(x, y) >> 24) == 0) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
    for (std::uint8_t b : row) out.U8(b);
  }
  return out.Take();
}

std::vector<std::uint8_t> AnimatedCursorFile(const Animation& animation) {
  if (animation.frames.empty()) throw std::invalid_argument("an animation needs frames");
  CheckHotspot(animation.hotspot);
  for (std::uint32_t frame : animation.sequence) {
    if (frame >= animation.frames.size()) {
      throw std::invalid_argument("sequence names a frame that does not exist");
    }
  }
  const std::size_t steps = animation.Steps();
  if (!animation.rates.empty() && animation.rates.size() != steps) {
    throw std::invalid_argument("rates need one entry per step");
  }

  constexpr std::uint32_t kFramesAreCursors = 0x1;
  constexpr std::uint32_t kHasSequence = 0x2;
  ByteWriter out;
  const std::size_t riff = out.BeginChunk("RIFF");
  out.Tag("ACON");

  const std::size_t header = out.BeginChunk("anih");
  out.U32(36);  // Size of this header.
  out.U32(static_cast<std::uint32_t>(animation.frames.size()));
  out.U32(static_cast<std::uint32_t>(steps));
  out.U32(kSize);  // Width, height, bit count and planes; the frames carry their own.
  out.U32(kSize);
  out.U32(32);
  out.U32(1);
  out.U32(animation.jiffies);
  out.U32(kFramesAreCursors | (animation.sequence.empty() ? 0 : kHasSequence));
  out.EndChunk(header);

  if (!animation.rates.empty()) {
    const std::size_t rate = out.BeginChunk("rate");
    for (std::uint32_t r : animation.rates) out.U32(r);
    out.EndChunk(rate);
  }
  if (!animation.sequence.empty()) {
    const std::size_t seq = out.BeginChunk("seq ");
    for (std::uint32_t s : animation.sequence) out.U32(s);
    out.EndChunk(seq);
  }

  const std::size_t list = out.BeginChunk("LIST");
  out.Tag("fram");
  for (const Picture& frame : animation.frames) {
    const std::size_t icon = out.BeginChunk("icon");
    out.Append(CursorFile(frame, animation.hotspot));
    out.EndChunk(icon);
  }
  out.EndChunk(list);
  out.EndChunk(riff);
  return out.Take();
}

std::vector<SamplePointer> SamplePointers() {
  Animation app_starting;
  for (int lit = 0; lit < 8; ++lit) app_starting.frames.push_back(AppStarting(lit));
  app_starting.hotspot = {1, 1};
  app_starting.jiffies = 5;

  Animation wait;
  constexpr int kSandFrames = 5;
  for (int i = 0; i < kSandFrames; ++i) wait.frames.push_back(Hourglass(i / (kSandFrames - 1.0)));
  wait.frames.push_back(HourglassTurning());
  wait.hotspot = {16, 16};
  wait.jiffies = 10;
  // Sand falls, rests a moment once it is all down, then the glass is turned over.
  wait.sequence = {0, 1, 2, 3, 4, 4, 5};
  wait.rates = {10, 10, 10, 10, 10, 20, 8};

  std::vector<SamplePointer> all;
  all.push_back(Sample("Arrow", Still(Arrow(), {1, 1}), false));
  all.push_back(Sample("Help", Still(Help(), {1, 1}), false));
  all.push_back(Sample("AppStarting", std::move(app_starting), true));
  all.push_back(Sample("Wait", std::move(wait), true));
  all.push_back(Sample("Crosshair", Still(Crosshair(), {16, 16}), false));
  all.push_back(Sample("IBeam", Still(IBeam(), {16, 16}), false));
  all.push_back(Sample("NWPen", Still(Pen(), {1, 1}), false));
  all.push_back(Sample("No", Still(No(), {16, 16}), false));
  all.push_back(Sample("SizeNS", Still(Size(90), {16, 16}), false));
  all.push_back(Sample("SizeWE", Still(Size(0), {16, 16}), false));
  all.push_back(Sample("SizeNWSE", Still(Size(45), {16, 16}), false));
  all.push_back(Sample("SizeNESW", Still(Size(135), {16, 16}), false));
  all.push_back(Sample("SizeAll", Still(SizeAll(), {16, 16}), false));
  all.push_back(Sample("UpArrow", Still(UpArrow(), {16, 1}), false));
  all.push_back(Sample("Hand", Still(Hand(), {11, 1}), false));
  return all;
}

WriteReport WriteSamplePointers(const std::filesystem::path& folder) {
  WriteReport report;
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    report.error = "cannot create " + folder.string() + ": " + ec.message();
    return report;
  }
  for (const SamplePointer& sample : SamplePointers()) {
    const std::filesystem::path path = folder / sample.file_name;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(sample.bytes.data()),
               static_cast<std::streamsize>(sample.bytes.size()));
    file.close();
    if (!file) {
      report.error = "cannot write " + path.string();
      return report;
    }
    report.written.push_back(path);
  }
  return report;
}

std::string SampleCursorPackInf(const std::string& name) {
  std::string list;
  std::string copies;
  std::string strings;
  for (const SamplePointer& sample : SamplePointers()) {
    list += (list.empty() ? "" : ",") + std::string("%10%\\%CUR_DIR%\\%") + sample.value_name + "%";
    copies += sample.file_name + "\r\n";
    strings += sample.value_name + " = \"" + sample.file_name + "\"\r\n";
  }
  return "; " + name + ", a sample cursor pack\r\n[Version]\r\nsignature=\"$CHICAGO$\"\r\n\r\n" +
         "[DefaultInstall]\r\nCopyFiles = Scheme.Cur\r\nAddReg    = Scheme.Reg\r\n\r\n" +
         "[DestinationDirs]\r\nScheme.Cur = 10,\"%CUR_DIR%\"\r\n\r\n" +
         "[Scheme.Reg]\r\nHKCU,\"Control Panel\\Cursors\\Schemes\",\"%SCHEME_NAME%\",,\"" + list +
         "\"\r\n\r\n[Scheme.Cur]\r\n" + copies + "\r\n[Strings]\r\nCUR_DIR = \"Cursors\\" + name +
         "\"\r\nSCHEME_NAME = \"" + name + "\"\r\n" + strings;
}

}  // namespace pivora::pointer_files

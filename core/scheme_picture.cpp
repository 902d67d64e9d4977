#include "core/scheme_picture.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/apply.h"
#include "core/pointer_roles.h"
#include "core/scheme.h"
#include "platform/path_reach.h"
#include "platform/text.h"

namespace pivora {
namespace {

constexpr int kColumns = 4;
constexpr std::ptrdiff_t kMaxEntryPercentSigns = 64;

// One cell of the picture, `size` pixels wide.
struct Cell {
  std::span<std::uint32_t> pixels;  // the picture's
  int stride;                       // the picture's width
  int left;
  int top;
  int size;

  std::uint32_t& At(int x, int y) const {
    return pixels[static_cast<std::size_t>((top + y) * stride + left + x)];
  }
};

// Every pixel whose distance from the cell's centre lies within [inner, outer] of the cell's
// size, in tenths.
void DrawDisc(const Cell& cell, int innerTenths, int outerTenths, std::uint32_t colour) {
  const int centre = cell.size / 2;
  const int outer = cell.size * outerTenths / 10;
  const int inner = cell.size * innerTenths / 10;
  for (int y = 0; y < cell.size; ++y) {
    for (int x = 0; x < cell.size; ++x) {
      const int dx = x - centre;
      const int dy = y - centre;
      const int distance = dx * dx + dy * dy;
      if (distance <= outer * outer && (inner == 0 || distance >= inner * inner)) {
        cell.At(x, y) = colour;
      }
    }
  }
}

void DrawMissingMark(const Cell& cell) {
  const int margin = cell.size / 5;
  const int thickness = std::max(1, cell.size / 16);
  for (int y = margin; y < cell.size - margin; ++y) {
    for (int x = margin; x < cell.size - margin; ++x) {
      if (std::abs(x - y) <= thickness || std::abs(x + y - (cell.size - 1)) <= thickness) {
        cell.At(x, y) = kMissingPointerMark;
      }
    }
  }
}

enum class Outcome { kDrawn, kMissing, kElsewhere };

struct CellPicture {
  Outcome outcome = Outcome::kMissing;
  std::vector<std::uint32_t> pixels;  // cell x cell when drawn
};

// Appends bytes read from `file` until `head` holds `wanted` of them; false when the file ends
// first or a read fails.
bool ReadUpTo(FileSystem& files, FileHandle file, std::vector<std::uint8_t>& head,
              std::size_t wanted) {
  std::size_t have = head.size();
  head.resize(wanted);
  while (have < wanted) {
    std::uint32_t read = 0;
    if (files.Read(file, head.data() + have, static_cast<std::uint32_t>(wanted - have), read) !=
            status::kSuccess ||
        read == 0) {
      return false;
    }
    have += read;
  }
  return true;
}

// What reading one pointer file after another keeps: under Wine 8 every page of new memory costs
// about 9 us the first time it is written, more than decoding it.
struct ReadMemory {
  std::vector<std::uint8_t> head;
  std::vector<std::uint32_t> pixels;
};

// The picture of the pointer file at `path`, which a preview may touch, at the cell's size.
std::optional<std::vector<std::uint32_t>> ReadPointerPicture(FileSystem& files,
                                                             std::u16string_view path, int cell,
                                                             PngDecoder& png, ReadMemory& memory) {
  std::vector<std::uint8_t>& head = memory.head;
  OpenFile file(files);
  std::uint64_t fileSize = 0;
  if (files.OpenForReading(path, file.put()) != status::kSuccess ||
      files.Size(file.get(), fileSize) != status::kSuccess) {
    return std::nullopt;
  }
  const std::size_t readable =
      static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, kPointerReadLimit));
  head.clear();
  std::size_t wanted = std::min<std::size_t>(readable, kPointerFirstRead);
  PointerImageLookup lookup;
  for (;;) {
    if (!ReadUpTo(files, file.get(), head, wanted)) return std::nullopt;
    lookup = FindPointerImage(head, fileSize, cell);
    if (lookup.result != PointerImageLookup::Result::kNeedMore) break;
    // Growing at least twofold keeps the lookups, each linear in what was read, linear in all.
    wanted = std::min(readable, std::max<std::size_t>(lookup.needed, 2 * head.size()));
    if (wanted <= head.size()) return std::nullopt;
  }
  if (lookup.result != PointerImageLookup::Result::kFound || lookup.size > kMaxPointerImageBytes) {
    return std::nullopt;
  }
  const std::size_t end = std::size_t{lookup.offset} + lookup.size;
  if (end > readable || (end > head.size() && !ReadUpTo(files, file.get(), head, end))) {
    return std::nullopt;
  }
  file.Reset();

  const std::span<const std::uint8_t> image(head.data() + lookup.offset, lookup.size);
  std::optional<PointerPixels> pixels;
  if (lookup.format == PointerImageFormat::kPng) {
    const std::optional<std::pair<int, int>> side = PngImageSize(image);
    if (!side || side->first > kMaxPointerImageSide || side->second > kMaxPointerImageSide) {
      return std::nullopt;
    }
    pixels = png.Decode(image);
  } else {
    pixels = DecodeDibImage(image, std::move(memory.pixels));
  }
  if (!pixels) return std::nullopt;
  std::vector<std::uint32_t> scaled = ScaleToCell(*pixels, cell);
  memory.pixels = std::move(pixels->pixels);
  return scaled;
}

// The pictures of one scheme's pointers at one cell size: each distinct file read once.
class PointerPictures {
 public:
  PointerPictures(std::u16string_view schemePath, int cell, FileSystem& files,
                  const PathRules& paths, PngDecoder& png)
      : schemePath_(schemePath),
        cell_(cell),
        files_(files),
        drives_(files),
        entries_(files),
        paths_(paths),
        png_(png) {
    pictures_.reserve(kPointerRoleCount);
  }

  const CellPicture& Of(std::u16string_view entry) {
    static const CellPicture missing{Outcome::kMissing, {}};
    static const CellPicture elsewhere{Outcome::kElsewhere, {}};
    // No longer text names a file, and no pointer's path names this many variables: expanding
    // them is where a hostile scheme's cost would grow (each is a call into the system).
    if (entry.size() > kMaxLongPathUnits ||
        std::count(entry.begin(), entry.end(), u'%') > kMaxEntryPercentSigns) {
      return missing;
    }
    const std::optional<std::u16string> candidate = ResolveEntryPath(entry, schemePath_, paths_);
    if (!candidate) return missing;
    const std::u16string path = EntryTarget(*candidate, paths_);
    if (path.size() > kMaxLongPathUnits) return missing;
    // Decided before anything touches the path.
    if (PreviewReach(path, drives_) == PathReach::kElsewhere) return elsewhere;

    std::u16string key = path;
    std::transform(key.begin(), key.end(), key.begin(), AsciiUpper);
    for (const auto& [known, picture] : pictures_) {
      if (known == key) return picture;
    }
    CellPicture& picture = pictures_.emplace_back(std::move(key), CellPicture{}).second;
    // A link on the way may lead to a share (a symbolic link can name one), and a placeholder
    // would be downloaded: neither is followed for a picture.
    const EntryReach reach = entries_.Of(path);
    if (reach != EntryReach::kHere) {
      picture.outcome = reach == EntryReach::kElsewhere ? Outcome::kElsewhere : Outcome::kMissing;
    } else if (auto pixels = ReadPointerPicture(files_, path, cell_, png_, memory_)) {
      picture.outcome = Outcome::kDrawn;
      picture.pixels = std::move(*pixels);
    }
    return picture;
  }

 private:
  std::u16string_view schemePath_;
  int cell_;
  FileSystem& files_;
  DriveTypes drives_;
  PathEntries entries_;
  const PathRules& paths_;
  PngDecoder& png_;
  // By path, ASCII letters in upper case: one a role at the most, room for all made at once so
  // that each stays where it is.
  std::vector<std::pair<std::u16string, CellPicture>> pictures_;
  ReadMemory memory_;
};

}  // namespace

bool DrawSchemePicture(std::u16string_view schemePath, int size, FileSystem& files,
                       const PathRules& paths, PngDecoder& png, std::span<std::uint32_t> pixels) {
  // The file manager shows the scheme's entry, not what a link leads to nor the data a
  // placeholder would have to download first: neither is fetched for a picture.
  if (EntryOf(files, schemePath, false) != EntryReach::kHere) return false;
  const std::optional<std::string> bytes = ReadWholeFile(files, schemePath, kMaxPictureSchemeBytes);
  if (!bytes) return false;
  const SchemeEntries entries = ParseScheme(*bytes);
  const int cellSize = size / kColumns;
  PointerPictures pictures(schemePath, cellSize, files, paths, png);
  for (std::size_t role = 0; role < kPointerRoleCount; ++role) {
    const SchemeEntry entry = entries[role];
    const Cell cell{pixels, size, static_cast<int>(role % kColumns) * cellSize,
                    static_cast<int>(role / kColumns) * cellSize, cellSize};
    if (entry.state == EntryState::kAbsent) continue;
    if (entry.state == EntryState::kEmpty) {
      DrawDisc(cell, 0, 3, kSystemPointerMark);
      continue;
    }
    const CellPicture& picture = pictures.Of(entry.text);
    switch (picture.outcome) {
      case Outcome::kMissing:
        DrawMissingMark(cell);
        break;
      case Outcome::kElsewhere:
        DrawDisc(cell, 2, 3, kElsewherePointerMark);
        break;
      case Outcome::kDrawn:
        for (int y = 0; y < cellSize; ++y) {
          const auto row = picture.pixels.begin() + static_cast<std::ptrdiff_t>(y) * cellSize;
          std::copy(row, row + cellSize, &cell.At(0, y));
        }
        break;
    }
  }
  return true;
}

}  // namespace pivora

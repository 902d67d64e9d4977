#include "shellext/scheme_thumbnail.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/apply.h"
#include "core/pointer_roles.h"
#include "core/scheme.h"
#include "platform/platform_win32.h"
#include "resources/resource_ids.h"
#include "server/com_barrier.h"
#include "server/registry_script.h"
#include "shellext/gdi.h"

namespace pivora {
namespace {

constexpr UINT kSmallest = 32;
constexpr UINT kLargest = 1024;
constexpr int kColumns = 4;

// A top-down 32-bit DIB section and its pixels.
struct Dib {
  UniqueBitmap bitmap;
  std::uint32_t* pixels = nullptr;
};

Dib MakeDib(int size) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = size;
  info.bmiHeader.biHeight = -size;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  Dib dib;
  dib.bitmap.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (dib.bitmap) dib.pixels = static_cast<std::uint32_t*>(bits);
  return dib;
}

// One cell of the picture, `size` pixels wide.
struct Cell {
  std::uint32_t* pixels;  // the picture's
  int stride;             // the picture's width
  int left;
  int top;
  int size;

  std::uint32_t& At(int x, int y) const { return pixels[(top + y) * stride + left + x]; }
};

void DrawSystemMark(const Cell& cell) {
  const int centre = cell.size / 2;
  const int radius = cell.size * 3 / 10;
  for (int y = 0; y < cell.size; ++y) {
    for (int x = 0; x < cell.size; ++x) {
      const int dx = x - centre;
      const int dy = y - centre;
      if (dx * dx + dy * dy <= radius * radius) cell.At(x, y) = kSystemPointerMark;
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

// Draws pointers into cells. GDI keeps no alpha of its own when it draws, so each pointer is
// drawn twice, over black and over white: what changes between the two is how transparent a
// pixel is, and the drawing over black is its colour already multiplied by its alpha.
class PointerPainter {
 public:
  explicit PointerPainter(int size)
      : size_(size),
        canvas_(MakeDib(size)),
        dc_(CreateCompatibleDC(nullptr)),
        selected_(dc_.get(), canvas_.bitmap.get()) {}

  bool ready() const { return canvas_.pixels != nullptr && dc_; }

  void Draw(HCURSOR pointer, const Cell& cell) {
    const std::vector<std::uint32_t> overBlack = DrawOver(pointer, 0xFF000000);
    const std::vector<std::uint32_t> overWhite = DrawOver(pointer, 0xFFFFFFFF);
    for (int y = 0; y < size_; ++y) {
      for (int x = 0; x < size_; ++x) {
        const std::uint32_t black = overBlack[y * size_ + x];
        const std::uint32_t white = overWhite[y * size_ + x];
        int alpha = 0;
        std::uint32_t colour = 0;
        for (int shift = 0; shift < 24; shift += 8) {
          const int dark = static_cast<int>((black >> shift) & 0xFF);
          const int light = static_cast<int>((white >> shift) & 0xFF);
          alpha = std::max(alpha, 255 - std::clamp(light - dark, 0, 255));
          colour |= static_cast<std::uint32_t>(dark) << shift;
        }
        // Premultiplied: no channel above the alpha.
        std::uint32_t pixel = static_cast<std::uint32_t>(alpha) << 24;
        for (int shift = 0; shift < 24; shift += 8) {
          const auto channel = std::min<std::uint32_t>((colour >> shift) & 0xFF, alpha);
          pixel |= channel << shift;
        }
        if (alpha != 0) cell.At(x, y) = pixel;
      }
    }
  }

 private:
  std::vector<std::uint32_t> DrawOver(HCURSOR pointer, std::uint32_t background) {
    std::fill(canvas_.pixels, canvas_.pixels + size_ * size_, background);
    // The first frame of an animated pointer.
    DrawIconEx(dc_.get(), 0, 0, pointer, size_, size_, 0, nullptr, DI_NORMAL);
    GdiFlush();
    return std::vector<std::uint32_t>(canvas_.pixels, canvas_.pixels + size_ * size_);
  }

  int size_;
  // Declared so that the canvas is selected out of the context before either goes.
  Dib canvas_;
  UniqueMemoryDc dc_;
  Selection selected_;
};

struct CursorTraits {
  using type = HCURSOR;
  static HCURSOR invalid() { return nullptr; }
  static void close(HCURSOR cursor) { DestroyCursor(cursor); }
};
using UniqueCursor = UniqueHandle<CursorTraits>;

// The pointer file an entry names, found as applying the scheme finds it.
std::optional<std::u16string> PointerFileOf(std::u16string_view entry,
                                            std::u16string_view schemePath, ShellSeams& seams) {
  std::optional<std::u16string> path = ResolveEntryPath(entry, schemePath, seams.paths);
  if (!path) return std::nullopt;
  if (path->find(u'%') != std::u16string::npos) path = seams.paths.ExpandEnvironment(*path);
  if (!seams.files.Exists(*path)) return std::nullopt;
  return path;
}

}  // namespace

const CLSID CLSID_SchemeThumbnail = GuidFromText(kSchemeThumbnailClassIdText);

HRESULT CSchemeThumbnail::UpdateClassRegistry(BOOL doRegister) {
  return RunRegistryScript(IDR_THUMBNAIL_CLASS_SCRIPT, doRegister != FALSE);
}

HRESULT CSchemeThumbnail::Initialize(LPCWSTR filePath, DWORD) {
  return ComBarrier(E_OUTOFMEMORY, [&]() -> HRESULT {
    if (filePath == nullptr) return E_INVALIDARG;
    if (!schemePath.empty()) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
    schemePath = reinterpret_cast<const char16_t*>(filePath);
    return S_OK;
  });
}

HRESULT CSchemeThumbnail::GetThumbnail(UINT cx, HBITMAP* bitmap, WTS_ALPHATYPE* alpha) {
  if (bitmap == nullptr || alpha == nullptr) return E_POINTER;
  *bitmap = nullptr;
  const HRESULT result = ComBarrier(E_OUTOFMEMORY, [&] { return Draw(cx, bitmap); });
  if (FAILED(result) && *bitmap != nullptr) {
    DeleteObject(*bitmap);
    *bitmap = nullptr;
  }
  if (SUCCEEDED(result)) *alpha = WTSAT_ARGB;
  return result;
}

HRESULT CSchemeThumbnail::Draw(UINT cx, HBITMAP* bitmap) {
  if (schemePath.empty()) return E_UNEXPECTED;
  if (cx < kSmallest) return E_FAIL;
  const int size = static_cast<int>(std::min(cx, kLargest));
  const std::optional<std::string> bytes =
      ReadWholeFile(seams->files, schemePath, kMaxSchemeFileBytes);
  if (!bytes) return E_FAIL;
  const SchemeEntries entries = ParseScheme(*bytes);

  Dib picture = MakeDib(size);
  if (picture.pixels == nullptr) return E_OUTOFMEMORY;
  std::fill(picture.pixels, picture.pixels + size * size, 0u);  // fully transparent
  const int cellSize = size / kColumns;
  std::optional<PointerPainter> painter;
  for (std::size_t role = 0; role < kPointerRoleCount; ++role) {
    const SchemeEntry entry = entries[role];
    const Cell cell{picture.pixels, size, static_cast<int>(role % kColumns) * cellSize,
                    static_cast<int>(role / kColumns) * cellSize, cellSize};
    if (entry.state == EntryState::kAbsent) continue;
    if (entry.state == EntryState::kEmpty) {
      DrawSystemMark(cell);
      continue;
    }
    const std::optional<std::u16string> file = PointerFileOf(entry.text, schemePath, *seams);
    const UniqueCursor pointer(
        file ? static_cast<HCURSOR>(LoadImageW(nullptr, LongPathForm(*file).c_str(), IMAGE_CURSOR,
                                               cellSize, cellSize, LR_LOADFROMFILE))
             : nullptr);
    if (!painter) painter.emplace(cellSize);
    if (!pointer || !painter->ready()) {
      DrawMissingMark(cell);
      continue;
    }
    painter->Draw(pointer.get(), cell);
  }
  *bitmap = picture.bitmap.release();
  return S_OK;
}

}  // namespace pivora

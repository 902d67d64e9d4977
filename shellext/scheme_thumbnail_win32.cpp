#include "shellext/scheme_thumbnail.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>

#include "core/scheme_picture.h"
#include "platform/platform_win32.h"
#include "platform/unique_handle_win32.h"
#include "resources/resource_ids.h"
#include "server/com_barrier.h"
#include "shellext/gdi.h"

namespace pivora {
namespace {

constexpr UINT kSmallest = 32;
constexpr UINT kLargest = 1024;

// A top-down 32-bit DIB section of `size` x `size`, and its pixels: fully transparent, as the
// memory of a new section is zero. Its pages cost a fault each when first written (about 9 us
// under Wine 8), so what stays transparent is never written.
UniqueBitmap MakeDib(int size, std::uint32_t*& pixels) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = size;
  info.bmiHeader.biHeight = -size;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  pixels = static_cast<std::uint32_t*>(bits);
  return bitmap;
}

}  // namespace

const CLSID CLSID_SchemeThumbnail = GuidFromText(kSchemeThumbnailClassIdText);

HRESULT CSchemeThumbnail::Initialize(LPCWSTR filePath, DWORD) {
  return ComBarrier(kOutOfMemoryOrUnexpected, [&]() -> HRESULT {
    if (filePath == nullptr) return E_INVALIDARG;
    if (!schemePath.empty()) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
    schemePath = AsUtf16(filePath);
    return S_OK;
  });
}

HRESULT CSchemeThumbnail::GetThumbnail(UINT cx, HBITMAP* bitmap, WTS_ALPHATYPE* alpha) {
  if (bitmap == nullptr || alpha == nullptr) return E_POINTER;
  *bitmap = nullptr;
  const HRESULT result = ComBarrier(kOutOfMemoryOrUnexpected, [&] { return Draw(cx, bitmap); });
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
  std::uint32_t* pixels = nullptr;
  UniqueBitmap picture = MakeDib(size, pixels);
  if (!picture || pixels == nullptr) return E_OUTOFMEMORY;
  const std::unique_ptr<PngDecoder> png = seams->pngDecoders.Make();
  if (!DrawSchemePicture(schemePath, size, seams->files, seams->paths, *png,
                         std::span(pixels, static_cast<std::size_t>(size) * size))) {
    return E_FAIL;
  }
  *bitmap = picture.release();
  return S_OK;
}

}  // namespace pivora

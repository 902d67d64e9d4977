#include "shellext/scheme_thumbnail.h"

#include <wincodec.h>

#include <algorithm>
#include <cstdint>
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

constexpr CLSID kClsidImagingFactory = GuidFromText(u"{CACAF262-9370-4615-A13B-9F5539DA4C0A}");
constexpr IID kIidImagingFactory = GuidFromText(u"{EC5EC8A9-C395-4314-9C77-54D7A935FF70}");
constexpr GUID kPremultipliedBgra = GuidFromText(u"{6FDDC324-4E03-4BFE-B185-3D77768DC910}");

// PNG images through the system's imaging component, created through COM on the first PNG of
// a thumbnail (so nothing is imported at load, and most thumbnails never create it).
class ImagingPngDecoder final : public PngDecoder {
 public:
  std::optional<PointerPixels> Decode(std::span<const std::uint8_t> png) override {
    if (!factory_ && !triedFactory_) {
      triedFactory_ = true;
      IWICImagingFactory* factory = nullptr;
      if (SUCCEEDED(CoCreateInstance(kClsidImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                     kIidImagingFactory, reinterpret_cast<void**>(&factory)))) {
        factory_.reset(factory);
      }
    }
    if (!factory_) return std::nullopt;
    IWICStream* rawStream = nullptr;
    if (FAILED(factory_.get()->CreateStream(&rawStream))) return std::nullopt;
    const UniqueCom<IWICStream> stream(rawStream);
    // The stream only reads the bytes, for as long as this call.
    if (FAILED(stream.get()->InitializeFromMemory(const_cast<BYTE*>(png.data()),
                                                  static_cast<DWORD>(png.size())))) {
      return std::nullopt;
    }
    IWICBitmapDecoder* rawDecoder = nullptr;
    if (FAILED(factory_.get()->CreateDecoderFromStream(
            stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, &rawDecoder))) {
      return std::nullopt;
    }
    const UniqueCom<IWICBitmapDecoder> decoder(rawDecoder);
    IWICBitmapFrameDecode* rawFrame = nullptr;
    if (FAILED(decoder.get()->GetFrame(0, &rawFrame))) return std::nullopt;
    const UniqueCom<IWICBitmapFrameDecode> frame(rawFrame);
    UINT width = 0;
    UINT height = 0;
    if (FAILED(frame.get()->GetSize(&width, &height)) || width == 0 || height == 0 ||
        width > kMaxPointerImageSide || height > kMaxPointerImageSide) {
      return std::nullopt;
    }
    IWICFormatConverter* rawConverter = nullptr;
    if (FAILED(factory_.get()->CreateFormatConverter(&rawConverter))) return std::nullopt;
    const UniqueCom<IWICFormatConverter> converter(rawConverter);
    if (FAILED(converter.get()->Initialize(frame.get(), kPremultipliedBgra, WICBitmapDitherTypeNone,
                                           nullptr, 0.0, WICBitmapPaletteTypeCustom))) {
      return std::nullopt;
    }
    PointerPixels pixels{static_cast<int>(width), static_cast<int>(height), {}};
    pixels.pixels.resize(std::size_t{width} * height);
    // Premultiplied blue, green, red, alpha bytes: 0xAARRGGBB read as a little-endian unit.
    if (FAILED(converter.get()->CopyPixels(nullptr, width * 4, width * height * 4,
                                           reinterpret_cast<BYTE*>(pixels.pixels.data())))) {
      return std::nullopt;
    }
    return pixels;
  }

 private:
  UniqueCom<IWICImagingFactory> factory_;
  bool triedFactory_ = false;
};

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
  ImagingPngDecoder png;
  if (!DrawSchemePicture(schemePath, size, seams->files, seams->paths, png,
                         std::span(pixels, static_cast<std::size_t>(size) * size))) {
    return E_FAIL;
  }
  *bitmap = picture.release();
  return S_OK;
}

}  // namespace pivora

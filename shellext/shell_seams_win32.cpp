#include <windows.h>

#include <wincodec.h>

#include <cstdint>
#include <span>

#include "core/pointer_image.h"
#include "platform/platform_win32.h"
#include "platform/unique_handle_win32.h"
#include "server/identifiers.h"
#include "shellext/shell_seams.h"

namespace pivora {
namespace {

constexpr CLSID kClsidImagingFactory = GuidFromText(u"{CACAF262-9370-4615-A13B-9F5539DA4C0A}");
constexpr IID kIidImagingFactory = GuidFromText(u"{EC5EC8A9-C395-4314-9C77-54D7A935FF70}");
// The system's PNG decoder (CLSID_WICPngDecoder) and the interface it is asked for.
constexpr CLSID kClsidPngDecoder = GuidFromText(u"{389EA17B-5078-4CDE-B6EF-25C15175C751}");
constexpr IID kIidBitmapDecoder = GuidFromText(u"{9EDDE9E7-8DEE-47EA-99DF-E6FAF2ED44BF}");
constexpr GUID kPremultipliedBgra = GuidFromText(u"{6FDDC324-4E03-4BFE-B185-3D77768DC910}");

// PNG images through the system's imaging component, created through COM on the first PNG of
// a thumbnail (so nothing is imported at load, and most thumbnails never create it). The decoder
// is the system's own, created by its class: asked to choose one by the bytes, the component
// would run any codec installed that claims them, inside the file manager (and CreateDecoder
// with PNG's container only prefers a vendor, it does not hold to one).
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
    if (FAILED(CoCreateInstance(kClsidPngDecoder, nullptr, CLSCTX_INPROC_SERVER, kIidBitmapDecoder,
                                reinterpret_cast<void**>(&rawDecoder)))) {
      return std::nullopt;
    }
    const UniqueCom<IWICBitmapDecoder> decoder(rawDecoder);
    if (FAILED(decoder.get()->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand))) {
      return std::nullopt;
    }
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

class ImagingPngDecoders final : public PngDecoders {
 public:
  std::unique_ptr<PngDecoder> Make() override { return std::make_unique<ImagingPngDecoder>(); }
};

}  // namespace

ShellSeams& Win32ShellSeams() {
  static Win32Registry registry;
  static Win32PointerReloader reloader;
  static Win32PathRules paths;
  static Win32WindowSystem windows;
  static Win32FileSystem files;
  static ImagingPngDecoders pngDecoders;
  static ShellSeams seams{registry, reloader, paths, windows, files, pngDecoders, SleepingPause()};
  return seams;
}

}  // namespace pivora

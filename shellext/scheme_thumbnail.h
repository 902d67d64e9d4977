// The thumbnail handler of scheme files: a picture of the scheme's pointers, a 4 x 4 grid in
// role order, row by row (the sixteenth cell empty).
#pragma once

#include <windows.h>

#include <propsys.h>
#include <thumbcache.h>

#include <string>

#include "core/scheme_picture.h"
#include "resources/resource_ids.h"
#include "server/identifiers.h"
#include "shellext/shell_handler.h"

namespace pivora {

extern const CLSID CLSID_SchemeThumbnail;
inline constexpr IID kIidThumbnailProvider = GuidFromText(kThumbnailProviderIidText);
inline constexpr IID kIidInitializeWithFile =
    GuidFromText(u"{B7D14566-0509-4CCE-A71F-0A554233BD9B}");

class CSchemeThumbnail
    : public ShellHandler<CSchemeThumbnail, &CLSID_SchemeThumbnail, IDR_THUMBNAIL_CLASS_SCRIPT>,
      public IInitializeWithFile,
      public IThumbnailProvider {
 public:
  static constexpr InterfaceEntry<CSchemeThumbnail> InterfaceMap[] = {
      ComInterface<CSchemeThumbnail, IInitializeWithFile>(kIidInitializeWithFile),
      ComInterface<CSchemeThumbnail, IThumbnailProvider>(kIidThumbnailProvider)};

  CSchemeThumbnail() noexcept = default;
  virtual ~CSchemeThumbnail() = default;

  // IInitializeWithFile: the scheme's path (its folder is what relative entries start from).
  HRESULT STDMETHODCALLTYPE Initialize(LPCWSTR filePath, DWORD mode) override;

  // IThumbnailProvider: a cx x cx top-down 32-bit DIB section, premultiplied (WTSAT_ARGB);
  // E_FAIL below 32 pixels, drawn at 1024 above that. Every other GDI object and pointer it
  // makes is gone when it returns.
  HRESULT STDMETHODCALLTYPE GetThumbnail(UINT cx, HBITMAP* bitmap, WTS_ALPHATYPE* alpha) override;

 private:
  HRESULT Draw(UINT cx, HBITMAP* bitmap);

  std::u16string schemePath;
};

}  // namespace pivora

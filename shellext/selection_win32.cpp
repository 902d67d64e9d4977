#include "shellext/selection.h"

#include <shellapi.h>

namespace pivora {
namespace {

// The drop handle of a medium, locked for as long as this lives.
class LockedDrop {
 public:
  explicit LockedDrop(HGLOBAL memory)
      : memory_(memory), drop_(static_cast<HDROP>(GlobalLock(memory))) {}
  LockedDrop(const LockedDrop&) = delete;
  LockedDrop& operator=(const LockedDrop&) = delete;
  ~LockedDrop() {
    if (drop_ != nullptr) GlobalUnlock(memory_);
  }
  HDROP get() const { return drop_; }

 private:
  HGLOBAL memory_;
  HDROP drop_;
};

// A storage medium released when this goes.
class Medium {
 public:
  Medium() { medium.tymed = TYMED_HGLOBAL; }
  Medium(const Medium&) = delete;
  Medium& operator=(const Medium&) = delete;
  ~Medium() {
    if (filled) ReleaseStgMedium(&medium);
  }
  STGMEDIUM medium{};
  bool filled = false;
};

constexpr UINT kCountFiles = 0xFFFFFFFF;

HRESULT ReadOneFile(IDataObject* data, SelectedPath& selectedFile) {
  FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  Medium medium;
  if (FAILED(data->GetData(&format, &medium.medium))) return E_INVALIDARG;
  medium.filled = true;
  const LockedDrop drop(medium.medium.hGlobal);
  if (drop.get() == nullptr) return E_INVALIDARG;
  if (DragQueryFileW(drop.get(), kCountFiles, nullptr, 0) != 1) return E_INVALIDARG;
  // A longer path would be stored cut short: refuse it rather than act on another file.
  if (DragQueryFileW(drop.get(), 0, nullptr, 0) >= MAX_PATH) return E_INVALIDARG;
  if (DragQueryFileW(drop.get(), 0, selectedFile.data(), MAX_PATH) == 0) {
    selectedFile[0] = L'\0';
    return E_INVALIDARG;
  }
  return S_OK;
}

}  // namespace

HRESULT ReadSelection(IDataObject* data, SelectedPath& selectedFile) {
  selectedFile[0] = L'\0';
  if (data == nullptr) return E_INVALIDARG;
  return ReadOneFile(data, selectedFile);
}

HRESULT InitializeSelection(IDataObject* data, SelectedPath& selectedFile) {
  // No path stays behind on any way out but success, an exception's included.
  struct ClearedUnlessRead {
    SelectedPath& path;
    bool read = false;
    ~ClearedUnlessRead() {
      if (!read) path[0] = L'\0';
    }
  } cleared{selectedFile};
  const HRESULT result = ReadSelection(data, selectedFile);
  cleared.read = SUCCEEDED(result);
  return result;
}

}  // namespace pivora

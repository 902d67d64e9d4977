#include "shellext/selection.h"

#include <shellapi.h>

#include "platform/unique_handle.h"

namespace pivora {
namespace {

constexpr UINT kCountFiles = 0xFFFFFFFF;

HRESULT ReadOneFile(IDataObject* data, SelectedPath& selectedFile) {
  FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium{};
  medium.tymed = TYMED_HGLOBAL;
  if (FAILED(data->GetData(&format, &medium))) return E_INVALIDARG;
  const ScopeGuard released([&] { ReleaseStgMedium(&medium); });
  const auto drop = static_cast<HDROP>(GlobalLock(medium.hGlobal));
  if (drop == nullptr) return E_INVALIDARG;
  const ScopeGuard unlocked([&] { GlobalUnlock(medium.hGlobal); });
  if (DragQueryFileW(drop, kCountFiles, nullptr, 0) != 1) return E_INVALIDARG;
  // A longer path would be stored cut short: refuse it rather than act on another file.
  if (DragQueryFileW(drop, 0, nullptr, 0) >= MAX_PATH) return E_INVALIDARG;
  if (DragQueryFileW(drop, 0, selectedFile.data(), MAX_PATH) == 0) {
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
  ScopeGuard cleared([&] { selectedFile[0] = L'\0'; });
  const HRESULT result = ReadSelection(data, selectedFile);
  if (SUCCEEDED(result)) cleared.Dismiss();
  return result;
}

}  // namespace pivora

#include "shellext/selection.h"

#include <shellapi.h>

#include <string_view>

#include "core/drop_list.h"
#include "platform/unique_handle.h"

namespace pivora {
namespace {

constexpr UINT kCountFiles = 0xFFFFFFFF;

// Runs `read` on the data object's file list (CF_HDROP in global memory) and its size in bytes,
// locked for as long as it reads; E_INVALIDARG when there is none.
template <typename Read>
HRESULT ReadDrop(IDataObject* data, Read&& read) {
  if (data == nullptr) return E_INVALIDARG;
  FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium{};
  medium.tymed = TYMED_HGLOBAL;
  if (FAILED(data->GetData(&format, &medium))) return E_INVALIDARG;
  const ScopeGuard released([&] { ReleaseStgMedium(&medium); });
  const auto drop = static_cast<HDROP>(GlobalLock(medium.hGlobal));
  if (drop == nullptr) return E_INVALIDARG;
  const ScopeGuard unlocked([&] { GlobalUnlock(medium.hGlobal); });
  return read(drop, GlobalSize(medium.hGlobal));
}

}  // namespace

HRESULT ReadSelection(IDataObject* data, SelectedPath& selectedFile) {
  selectedFile[0] = L'\0';
  return ReadDrop(data, [&](HDROP drop, SIZE_T) {
    if (DragQueryFileW(drop, kCountFiles, nullptr, 0) != 1) return E_INVALIDARG;
    // A longer path would be stored cut short: refuse it rather than act on another file.
    if (DragQueryFileW(drop, 0, nullptr, 0) >= MAX_PATH) return E_INVALIDARG;
    if (DragQueryFileW(drop, 0, selectedFile.data(), MAX_PATH) == 0) {
      selectedFile[0] = L'\0';
      return E_INVALIDARG;
    }
    return S_OK;
  });
}

HRESULT InitializeSelection(IDataObject* data, SelectedPath& selectedFile) {
  // No path stays behind on any way out but success, an exception's included.
  ScopeGuard cleared([&] { selectedFile[0] = L'\0'; });
  const HRESULT result = ReadSelection(data, selectedFile);
  if (SUCCEEDED(result)) cleared.Dismiss();
  return result;
}

HRESULT ReadSelectionList(IDataObject* data, std::size_t limit,
                          std::vector<std::u16string>& paths) {
  paths.clear();
  // Nothing half-read stays behind, whichever way this ends.
  ScopeGuard cleared([&] { paths.clear(); });
  const HRESULT result = ReadDrop(data, [&](HDROP drop, SIZE_T bytes) {
    // The block as allocated: the list is read no further than its end.
    const std::string_view block(reinterpret_cast<const char*>(drop), bytes);
    return ReadDropList(block, limit, kLongestPath, paths) ? S_OK : E_INVALIDARG;
  });
  if (SUCCEEDED(result)) cleared.Dismiss();
  return result;
}

}  // namespace pivora

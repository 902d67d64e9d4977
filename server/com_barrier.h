// The one exception barrier of the library: every COM method and export runs its body inside
// it, so nothing thrown ever reaches the host.
#pragma once

#include <new>
#include <type_traits>

#include "platform/delay_load.h"
#include "server/com_types.h"

namespace pivora {

// HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND): a system library the body needed could not be loaded.
inline constexpr HRESULT kLibraryNotLoaded = static_cast<HRESULT>(0x8007007Eu);

// The body's result; when it throws, `outOfMemory` for std::bad_alloc (the result the method
// gives for running out of memory) and `otherwise` for anything else. A success during which a
// system library could not be loaded becomes kLibraryNotLoaded, unless the method reports no
// failure at all (`otherwise` is a success code).
template <class Body>
HRESULT ComBarrier(HRESULT outOfMemory, Body&& body, HRESULT otherwise = E_UNEXPECTED) noexcept {
  const unsigned failedBefore = FailedLibraryCalls();
  HRESULT result = S_OK;
  try {
    result = body();
  } catch (const std::bad_alloc&) {
    return outOfMemory;
  } catch (...) {
    return otherwise;
  }
  if (SUCCEEDED(result) && FAILED(otherwise) && FailedLibraryCalls() != failedBefore) {
    return kLibraryNotLoaded;
  }
  return result;
}

// For entries with no result (the rundll32 entry points): a body that throws just ends.
template <class Body>
void QuietBarrier(Body&& body) noexcept {
  static_assert(std::is_void_v<decltype(body())>);
  try {
    body();
  } catch (...) {
    // Nothing more is done, and there is no one to tell.
  }
}

}  // namespace pivora

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

// What a method answers when its body throws: `outOfMemory` for std::bad_alloc, `otherwise` for
// anything else. Each mapping the library uses has a name that says what it means at the call.
struct ThrowMapping {
  HRESULT outOfMemory;
  HRESULT otherwise;
};
// Most methods and exports: out of memory is E_OUTOFMEMORY, anything else E_UNEXPECTED.
inline constexpr ThrowMapping kOutOfMemoryOrUnexpected{E_OUTOFMEMORY, E_UNEXPECTED};
// Methods that answer every exception alike (IShellExtInit::Initialize, registration's steps).
inline constexpr ThrowMapping kAlwaysUnexpected{E_UNEXPECTED, E_UNEXPECTED};
inline constexpr ThrowMapping kAlwaysFail{E_FAIL, E_FAIL};
// Menus report no failure: whatever happens, the shell's menu keeps what it had.
inline constexpr ThrowMapping kNeverFail{S_OK, S_OK};

// Returns the failure `expression` gives from the calling function (as wil's RETURN_IF_FAILED).
#define PIVORA_RETURN_IF_FAILED(expression)            \
  do {                                                 \
    const HRESULT pivora_result_ = (expression);       \
    if (FAILED(pivora_result_)) return pivora_result_; \
  } while (false)

// The body's result; when it throws, what `mapping` says. A success during which a system
// library could not be loaded becomes kLibraryNotLoaded, unless the method reports no failure
// at all (its mapping's `otherwise` is a success code).
template <class Body>
HRESULT ComBarrier(ThrowMapping mapping, Body&& body) noexcept {
  const HRESULT outOfMemory = mapping.outOfMemory;
  const HRESULT otherwise = mapping.otherwise;
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

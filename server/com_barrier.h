// The one exception barrier of the library: every COM method and export runs its body inside
// it, so nothing thrown ever reaches the host.
#pragma once

#include <new>
#include <type_traits>

#include "server/com_types.h"

namespace pivora {

// The body's result; when it throws, `outOfMemory` for std::bad_alloc (the result the method
// gives for running out of memory) and `otherwise` for anything else.
template <class Body>
HRESULT ComBarrier(HRESULT outOfMemory, Body&& body, HRESULT otherwise = E_UNEXPECTED) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return outOfMemory;
  } catch (...) {
    return otherwise;
  }
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

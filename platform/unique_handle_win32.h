// The Win32 side of the owners: the base every Win32 traits derives from, and the owner of COM
// references that the library and the programs beside it share.
#pragma once

#include <windows.h>

#include "platform/unique_handle.h"

namespace pivora {

// A close keeps the thread's last error as it was: callers read it after a failed call, and the
// owners closed on the way out (whose closes may set it) must not change what they read.
struct Win32Traits {
  class Kept {
   public:
    Kept() : error_(GetLastError()) {}
    Kept(const Kept&) = delete;
    Kept& operator=(const Kept&) = delete;
    ~Kept() { SetLastError(error_); }

   private:
    DWORD error_;
  };
};

template <typename Interface>
struct ComTraits : Win32Traits {
  using type = Interface*;
  static Interface* invalid() { return nullptr; }
  static void close(Interface* object) { object->Release(); }
};

// One counted reference to an interface, released when it goes.
template <typename Interface>
class UniqueCom : public UniqueHandle<ComTraits<Interface>> {
 public:
  using UniqueHandle<ComTraits<Interface>>::UniqueHandle;
  Interface* operator->() const { return this->get(); }
  // For QueryInterface and its kind, which hand out the reference as void**.
  void** put() { return reinterpret_cast<void**>(UniqueHandle<ComTraits<Interface>>::put()); }
};

}  // namespace pivora

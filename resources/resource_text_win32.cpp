#include <windows.h>

#include "resources/resource_text.h"
#include "server/module_records.h"

namespace pivora {

int LoadResourceText(std::uint32_t id, char16_t* buffer, int capacity) {
  // LoadStringW with no capacity would write a pointer into the buffer instead of a text.
  if (buffer == nullptr || capacity <= 0) return 0;
  // The lock is held only while the module is picked; the text is read outside it.
  for (std::size_t index = 0;; ++index) {
    const HINSTANCE module = baseModule.ResourceModuleAt(index);
    if (module == nullptr) return 0;
    const int copied = LoadStringW(module, id, reinterpret_cast<wchar_t*>(buffer), capacity);
    if (copied > 0) return copied;
  }
}

}  // namespace pivora

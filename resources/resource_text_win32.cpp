#include <windows.h>

#include "module/module_records.h"
#include "platform/platform_win32.h"
#include "resources/resource_text.h"

namespace pivora {

int LoadResourceText(std::uint32_t id, char16_t* buffer, int capacity) {
  // LoadStringW with no capacity would write a pointer into the buffer instead of a text.
  if (buffer == nullptr || capacity <= 0) return 0;
  // The lock is held only while the module is picked; the text is read outside it.
  for (std::size_t index = 0;; ++index) {
    const HINSTANCE module = baseModule.ResourceModuleAt(index);
    if (module == nullptr) return 0;
    const int copied = LoadStringW(module, id, AsWide(buffer), capacity);
    if (copied > 0) return copied;
  }
}

std::u16string ResourceText(std::uint32_t id, int capacity) {
  if (capacity <= 0) return {};
  std::u16string text(static_cast<std::size_t>(capacity), u'\0');
  text.resize(static_cast<std::size_t>(LoadResourceText(id, text.data(), capacity)));
  return text;
}

std::u16string FormatText(std::u16string_view format, std::u16string_view value) {
  std::u16string out;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == u'%' && i + 1 < format.size() && format[i + 1] == u's') {
      out += value;
      ++i;
    } else if (format[i] == u'%' && i + 1 < format.size() && format[i + 1] == u'%') {
      out += u'%';
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

}  // namespace pivora

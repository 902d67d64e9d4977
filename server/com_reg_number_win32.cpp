#include <windows.h>

#include <oleauto.h>

#include <string>

#include "platform/platform_win32.h"
#include "server/com_reg_object.h"

namespace pivora {

// The platform's own conversion, locale 0 and no flags, as the scripts have always been read.
HRESULT ConvertNumber(std::u16string_view text, std::uint32_t& out) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t));
  // The platform's headers take the text as non-const.
  std::wstring terminated(AsWide(text.data()), text.size());
  ULONG number = 0;
  const HRESULT hr = VarUI4FromStr(terminated.data(), 0, 0, &number);
  if (SUCCEEDED(hr)) out = number;
  return hr;
}

}  // namespace pivora

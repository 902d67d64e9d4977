#include "server/com_reg_object.h"

namespace pivora {
namespace {

// The codes the platform's conversion gives for these two failures.
constexpr HRESULT kTypeMismatch = static_cast<HRESULT>(0x80020005u);  // DISP_E_TYPEMISMATCH
constexpr HRESULT kOverflow = static_cast<HRESULT>(0x8002000Au);      // DISP_E_OVERFLOW

}  // namespace

// Only what the platform's conversion reads the same way everywhere: plain decimal digits.
HRESULT ConvertNumber(std::u16string_view text, std::uint32_t& out) {
  if (text.empty()) return kTypeMismatch;
  std::uint64_t number = 0;
  for (const char16_t c : text) {
    if (c < u'0' || c > u'9') return kTypeMismatch;
    number = number * 10 + static_cast<std::uint64_t>(c - u'0');
    if (number > 0xFFFFFFFFu) return kOverflow;
  }
  out = static_cast<std::uint32_t>(number);
  return S_OK;
}

}  // namespace pivora

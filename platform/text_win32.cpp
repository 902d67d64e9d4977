// The conversions bound to the platform's code page functions.
#include <windows.h>

#include <climits>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/platform_win32.h"
#include "platform/text.h"

namespace pivora {

namespace {

// The code page functions count input and output in int, so longer text cannot be converted in
// one call. `limit` is smaller than INT_MAX where the output can outgrow the input.
int CheckedLength(std::size_t size, std::size_t limit = INT_MAX) {
  if (size > limit) throw std::length_error("text too long for the platform conversion functions");
  return static_cast<int>(size);
}

// With flags 0 the functions fail only for want of memory or on sizes they cannot count.
[[noreturn]] void ThrowConversionFailure() {
  if (GetLastError() == ERROR_NOT_ENOUGH_MEMORY) throw std::bad_alloc();
  throw std::length_error("the platform could not convert the text");
}

std::u16string MultiByteToUtf16(UINT code_page, std::string_view bytes) {
  // An empty input is an invalid argument to the function, not an empty result.
  if (bytes.empty()) return {};
  const int length = CheckedLength(bytes.size());
  const int needed = MultiByteToWideChar(code_page, 0, bytes.data(), length, nullptr, 0);
  if (needed <= 0) ThrowConversionFailure();
  std::u16string out(static_cast<std::size_t>(needed), u'\0');
  const int written =
      MultiByteToWideChar(code_page, 0, bytes.data(), length, AsWide(out.data()), needed);
  if (written <= 0) ThrowConversionFailure();
  out.resize(static_cast<std::size_t>(written));
  return out;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view bytes) { return MultiByteToUtf16(CP_UTF8, bytes); }

std::u16string AnsiToUtf16(std::string_view text) { return MultiByteToUtf16(CP_THREAD_ACP, text); }

std::string Utf16ToUtf8(std::u16string_view text) {
  if (text.empty()) return {};
  // Up to three bytes per unit.
  const int length = CheckedLength(text.size(), INT_MAX / 3);
  const auto* units = AsWide(text.data());
  const int needed = WideCharToMultiByte(CP_UTF8, 0, units, length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) ThrowConversionFailure();
  std::string out(static_cast<std::size_t>(needed), '\0');
  const int written =
      WideCharToMultiByte(CP_UTF8, 0, units, length, out.data(), needed, nullptr, nullptr);
  if (written <= 0) ThrowConversionFailure();
  out.resize(static_cast<std::size_t>(written));
  return out;
}

}  // namespace pivora

// Conversions between the encodings the system meets at its edges and UTF-16. On Windows these
// are MultiByteToWideChar / WideCharToMultiByte; natively our own code that gives the same
// result, malformed input included.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

namespace pivora {

// An ASCII letter in upper case; every other unit as it is.
constexpr char16_t AsciiUpper(char16_t c) {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// Equal when they differ at most in the case of ASCII letters: what names made of ASCII (scheme
// sections, script words, replacement names) are compared with.
constexpr bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char16_t x, char16_t y) { return AsciiUpper(x) == AsciiUpper(y); });
}

// Ends with `suffix` (an extension, say), ASCII case aside.
constexpr bool EndsWithIgnoringAsciiCase(std::u16string_view text, std::u16string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsIgnoringAsciiCase(text.substr(text.size() - suffix.size()), suffix);
}

// A number in decimal digits, as names numbered for the person show it ("Name (2)", ".~3").
inline std::u16string DecimalText(std::uint64_t number) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + number % 10));
    number /= 10;
  } while (number != 0);
  return digits;
}

// UTF-8 to UTF-16 as MultiByteToWideChar(CP_UTF8, 0) does: malformed sequences never stop the
// decoding. Zero bytes are kept as zero units.
std::u16string Utf8ToUtf16(std::string_view bytes);

// UTF-16 to UTF-8 as WideCharToMultiByte(CP_UTF8, 0) does.
std::string Utf16ToUtf8(std::u16string_view text);

// Text in the calling thread's ANSI code page (CP_THREAD_ACP) to UTF-16.
std::u16string AnsiToUtf16(std::string_view text);

}  // namespace pivora

// The library's identifiers, each written once: the handler class id and the AppID, as the
// registry spells them; the class id's binary form is read from the same text when compiling.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "server/com_types.h"

namespace pivora {

inline constexpr char16_t kContextMenuClassIdText[] = u"{3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47}";
inline constexpr char16_t kCursorPackClassIdText[] = u"{8D2F4A61-3B7E-4C95-9E1A-52C7F0B3D648}";
inline constexpr char16_t kSchemeThumbnailClassIdText[] = u"{5C1E7B39-8A42-4F6D-B3C8-0E9D2A7F4B15}";
// The shell's thumbnail-provider interface: a file type's ShellEx subkey of this name names the
// class that draws its thumbnails.
inline constexpr char16_t kThumbnailProviderIidText[] = u"{e357fccd-a995-4576-b01f-234630154e96}";
inline constexpr char16_t kAppIdText[] = u"{6E1B9F34-C2A7-45D0-8B6E-7F3A210C94D5}";

namespace identifiers_detail {

constexpr std::uint8_t HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return static_cast<std::uint8_t>(c - u'0');
  if (c >= u'A' && c <= u'F') return static_cast<std::uint8_t>(c - u'A' + 10);
  if (c >= u'a' && c <= u'f') return static_cast<std::uint8_t>(c - u'a' + 10);
  // Reached only while compiling, where it stops the build.
  throw "not a hexadecimal digit";
}

constexpr std::uint32_t HexNumber(std::u16string_view text) {
  std::uint32_t value = 0;
  for (const char16_t c : text) value = value * 16 + HexDigit(c);
  return value;
}

}  // namespace identifiers_detail

// The GUID a registry text "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" names.
consteval GUID GuidFromText(std::u16string_view text) {
  using identifiers_detail::HexNumber;
  if (text.size() != 38 || text[0] != u'{' || text[9] != u'-' || text[14] != u'-' ||
      text[19] != u'-' || text[24] != u'-' || text[37] != u'}') {
    throw "not a registry GUID text";
  }
  GUID guid{};
  guid.Data1 = HexNumber(text.substr(1, 8));
  guid.Data2 = static_cast<std::uint16_t>(HexNumber(text.substr(10, 4)));
  guid.Data3 = static_cast<std::uint16_t>(HexNumber(text.substr(15, 4)));
  for (std::size_t i = 0; i < 8; ++i) {
    const std::size_t at = i < 2 ? 20 + 2 * i : 25 + 2 * (i - 2);
    guid.Data4[i] = static_cast<std::uint8_t>(HexNumber(text.substr(at, 2)));
  }
  return guid;
}

}  // namespace pivora

// Texts of the library by string id, in the language the platform picks for the calling thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pivora {

// The buffer the shell side reads its texts through: menu items, help texts and messages.
inline constexpr int kTextUnits = 256;

// Copies at most capacity - 1 characters and a terminator into `buffer`; returns the number of
// characters copied, 0 when no module has a text for the id or there is no room at all.
int LoadResourceText(std::uint32_t id, char16_t* buffer, int capacity);

// The text as a string, read through a buffer of `capacity` units: at most capacity - 1
// characters, empty when there is none.
std::u16string ResourceText(std::uint32_t id, int capacity);

// The format's "%s" replaced by `value` and "%%" by "%", as printf would; nothing else in the
// library's formats is special.
std::u16string FormatText(std::u16string_view format, std::u16string_view value);

}  // namespace pivora

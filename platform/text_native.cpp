// Our own UTF-8 and Windows-1252 converters. They reproduce what Wine 8 gives for the same input,
// malformed input included, so that the native tests and the Windows build agree byte for byte.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace pivora {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned byte) { return (byte & 0xC0u) == 0x80u; }

// Number of continuation bytes a lead byte announces; 0 for bytes that cannot start a sequence
// (continuation bytes, the overlong leads C0 and C1, and F5 to FF).
unsigned TrailCount(unsigned lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 1;
  if (lead >= 0xE0 && lead <= 0xEF) return 2;
  if (lead >= 0xF0 && lead <= 0xF4) return 3;
  return 0;
}

// Whether the first continuation byte keeps the sequence on a path to a scalar value: it rules out
// overlong forms (E0 80..9F, F0 80..8F), encoded surrogates (ED A0..BF) and values above U+10FFFF
// (F4 90..BF).
bool SecondByteAllowed(unsigned lead, unsigned second) {
  switch (lead) {
    case 0xE0:
      return second >= 0xA0;
    case 0xED:
      return second < 0xA0;
    case 0xF0:
      return second >= 0x90;
    case 0xF4:
      return second < 0x90;
    default:
      return true;
  }
}

// Windows-1252 bytes 0x80-0x9F. Wine 8 maps the five bytes the code page leaves undefined (81,
// 8D, 8F, 90, 9D) to the C1 control of the same value.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

}  // namespace

std::u16string Utf8ToUtf16(std::string_view bytes) {
  // Every byte gives at most one unit (a four-byte sequence gives two), so one allocation is
  // enough and the result is trimmed at the end.
  std::u16string out(bytes.size(), u'\0');
  char16_t* dst = out.data();
  const auto* src = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* const end = src + bytes.size();

  while (src < end) {
    const unsigned lead = *src++;
    if (lead < 0x80) {
      *dst++ = static_cast<char16_t>(lead);
      continue;
    }
    const unsigned trail = TrailCount(lead);
    if (trail == 0) {
      *dst++ = kReplacement;
      continue;
    }
    // A sequence cut off by the end of the input swallows whatever is left of it, valid or not
    // (Wine 8 gives one U+FFFD for "F0 9F 7A", dropping the "z").
    if (static_cast<std::size_t>(end - src) < trail) {
      src = end;
      *dst++ = kReplacement;
      continue;
    }
    // The lead byte and every continuation byte read so far form one replacement when the
    // sequence breaks off; the byte that broke it is read again on its own.
    std::uint32_t value = lead & (0x3Fu >> trail);
    bool complete = true;
    for (unsigned i = 0; i < trail; ++i) {
      const unsigned byte = *src;
      if (!IsContinuation(byte)) {
        complete = false;
        break;
      }
      ++src;
      if (i == 0 && !SecondByteAllowed(lead, byte)) {
        complete = false;
        break;
      }
      value = (value << 6) | (byte & 0x3Fu);
    }
    if (!complete) {
      *dst++ = kReplacement;
    } else if (value < 0x10000) {
      *dst++ = static_cast<char16_t>(value);
    } else {
      value -= 0x10000;
      *dst++ = static_cast<char16_t>(0xD800 | (value >> 10));
      *dst++ = static_cast<char16_t>(0xDC00 | (value & 0x3FF));
    }
  }
  out.resize(static_cast<std::size_t>(dst - out.data()));
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  // Three bytes per unit is the most any unit needs: a surrogate pair gives four bytes for two.
  std::string out(text.size() * 3, '\0');
  char* dst = out.data();
  const auto put = [&dst](unsigned byte) { *dst++ = static_cast<char>(byte); };

  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t unit = text[i];
    if (unit < 0x80) {
      put(unit);
    } else if (unit < 0x800) {
      put(0xC0 | (unit >> 6));
      put(0x80 | (unit & 0x3F));
    } else {
      if (unit >= 0xD800 && unit <= 0xDFFF) {
        const bool pair =
            unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        if (pair) {
          const std::uint32_t value = 0x10000 + ((unit - 0xD800) << 10) + (text[++i] - 0xDC00);
          put(0xF0 | (value >> 18));
          put(0x80 | ((value >> 12) & 0x3F));
          put(0x80 | ((value >> 6) & 0x3F));
          put(0x80 | (value & 0x3F));
          continue;
        }
        // A surrogate without its partner becomes U+FFFD.
        unit = kReplacement;
      }
      put(0xE0 | (unit >> 12));
      put(0x80 | ((unit >> 6) & 0x3F));
      put(0x80 | (unit & 0x3F));
    }
  }
  out.resize(static_cast<std::size_t>(dst - out.data()));
  return out;
}

std::u16string AnsiToUtf16(std::string_view text) {
  // Windows-1252: the thread code page Wine 8 gives a program started under a C or English Unix
  // locale (LANG=C.UTF-8 gives LCID 0x409 and code page 1252), as the tests run.
  std::u16string out(text.size(), u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    out[i] = byte >= 0x80 && byte <= 0x9F ? kCp1252High[byte - 0x80] : static_cast<char16_t>(byte);
  }
  return out;
}

}  // namespace pivora

// The pointer roles of the desktop. A role's index in PointerRoles is its identity everywhere:
// menu command offsets, preview slots, scheme section order and apply order. The first fifteen
// are the ones the menu offers, a saved scheme holds and the thumbnail draws; the system's two
// newest, Pin and Person, follow them, and only applying a scheme and installing a pack know
// them, so that every file and menu made for fifteen stays as it is.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/text.h"

namespace pivora {

struct PointerRole {
  // The stock cursor id LoadCursorW takes with a null instance (IDC_*); 0 when there is none.
  std::uint16_t systemCursorId;
  // The role's display name in the string tables.
  std::uint32_t displayStringId;
  // The value name in HKCU\Control Panel\Cursors and the section name in a scheme file.
  std::u16string_view valueName;
};

inline constexpr std::size_t kPointerRoleCount = 15;
inline constexpr std::size_t kAllPointerRoleCount = 17;

inline constexpr std::array<PointerRole, kAllPointerRoleCount> PointerRoles = {{
    {32512, 113, u"Arrow"},        // IDC_ARROW, "Normal Select"
    {32651, 114, u"Help"},         // IDC_HELP, "Help Select"
    {32650, 115, u"AppStarting"},  // IDC_APPSTARTING, "Working in Background"
    {32514, 116, u"Wait"},         // IDC_WAIT, "Busy"
    {32515, 117, u"Crosshair"},    // IDC_CROSS, "Precision Select"
    {32513, 118, u"IBeam"},        // IDC_IBEAM, "Text Select"
    {0, 119, u"NWPen"},            // no stock cursor, "Handwriting"
    {32648, 120, u"No"},           // IDC_NO, "Unavailable"
    {32645, 121, u"SizeNS"},       // IDC_SIZENS, "Vertical Resize"
    {32644, 122, u"SizeWE"},       // IDC_SIZEWE, "Horizontal Resize"
    {32642, 123, u"SizeNWSE"},     // IDC_SIZENWSE, "Diagonal Resize 1"
    {32643, 124, u"SizeNESW"},     // IDC_SIZENESW, "Diagonal Resize 2"
    {32646, 125, u"SizeAll"},      // IDC_SIZEALL, "Move"
    {32516, 126, u"UpArrow"},      // IDC_UPARROW, "Alternate Select"
    {32649, 127, u"Hand"},         // IDC_HAND, "Link Select"
    {32671, 141, u"Pin"},          // IDC_PIN, "Location Select"
    {32672, 142, u"Person"},       // IDC_PERSON, "Person Select"
}};

// The role whose value name `name` is, in any case of its ASCII letters: whole names only, so
// "" or "Size" name none. Pin and Person included.
inline std::optional<std::size_t> RoleNamed(std::u16string_view name) {
  for (std::size_t role = 0; role < kAllPointerRoleCount; ++role) {
    if (EqualsIgnoringAsciiCase(name, PointerRoles[role].valueName)) return role;
  }
  return std::nullopt;
}

}  // namespace pivora

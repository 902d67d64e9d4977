// Pointer files that come without an INF: which role each file is for, told from the names of
// the whole set alone (no file is read).
//
// A name is compared whole, never by a word inside it: after its extension (.cur, .ani), case,
// accents and separators are set aside ("Normal_Select.CUR", "normal select" and "NormalSelect"
// are one name), it must be a name of the table below, as it is, or without
//   - a leading number ("01-arrow"),
//   - a prefix or suffix that every name of the set shares ("mytheme_arrow", "Arrow - Blue"),
//   - a size tail on the system's own file names ("aero_arrow_xl"),
// which all count as the plain name, or without a copy's trailing number or word ("Arrow (2)",
// "arrow_old", "busy copy"), which counts as a decorated copy. A name joining two table names
// with "and", "&" or "+" ("busy_and_working") serves both roles.
//
// Some words name two roles; the other names of the set decide which: "hand" is Handwriting
// when another file clearly names Link Select, Link Select otherwise; "pen" and "pencil" are
// Precision Select when another file clearly names Handwriting; "cross" is Move when another
// file clearly names Precision Select. When both of a word's roles are clearly named elsewhere,
// the word names none.
//
// Each role takes at most one file: a plain name beats a decorated copy, then the shorter name
// (in UTF-16 units) wins, then the earlier in the order given. A role no name clearly names
// gets no file, and a file no role takes is left out.
//
// Time and memory are linear in the total length of the names; only the first
// kMaxPointerNames names are looked at.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/pointer_roles.h"

namespace pivora {

// Where a table name comes from: a naming convention, or the language of the role names the
// system shows in its mouse settings.
enum class NameConvention : std::uint8_t {
  kDisplayName,  // the system's role names in English ("Normal Select")
  kValueName,    // the registry's value names ("Arrow", "SizeNWSE")
  kSystemFile,   // the system's own pointer files ("aero_arrow", "size4_r")
  kShortForm,    // short forms pointer sets use ("dgn1", "horz", "unavail")
  kLinux,        // the Linux desktop's cursor names ("left_ptr", "nesw-resize")
  kCzech,
  kSpanish,
  kGerman,
  kFrench,
  kItalian,
  kPortuguese,
  kRussian,
  kPolish,
  kChinese,
  kJapanese,
  kKorean,
};
inline constexpr std::size_t kNameConventionCount = 16;

// What a convention is called, in English, for the README and a demonstration.
std::string_view NameConventionName(NameConvention convention);

inline constexpr std::uint8_t kNoOtherRole = 0xFF;

// One row of the table: a name, the role it names and, for a word that names two roles, the
// role it names when another file clearly names the first.
struct PointerNameRow {
  std::u16string_view name;
  std::uint8_t role;
  std::uint8_t otherRole;
  NameConvention convention;
};

// The whole table, in the order the header above describes (a name in two rows keeps the
// first).
std::span<const PointerNameRow> PointerNameRows();

inline constexpr std::size_t kMaxPointerNames = 1000;

struct PointerNameMatch {
  // For each role, the index in the names given of the file that role takes; nothing when no
  // name clearly names the role (the role is left as it is).
  std::array<std::optional<std::size_t>, kAllPointerRoleCount> files;
  // For each role that has a file, the convention of the name that gave it.
  std::array<std::optional<NameConvention>, kAllPointerRoleCount> conventions;
};

// Matches a set of pointer file names (names only, no folders, extensions included) to roles.
// Every index returned is an index of `names`.
PointerNameMatch MatchPointerNames(const std::vector<std::u16string>& names);

}  // namespace pivora

// Scheme files: the one writer (ComposeScheme) and the one reader (ParseScheme). A scheme file is
// UTF-8 with a byte order mark, one "[ValueName]" section with one "Path=" line per pointer
// role, CR LF line ends, and a zero byte after the text.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/pointer_roles.h"
#include "core/pointer_settings.h"
#include "platform/path_rules.h"

namespace pivora {

enum class EntryState { kAbsent, kEmpty, kText };

struct SchemeEntry {
  EntryState state = EntryState::kAbsent;
  std::u16string_view text;  // empty unless state is kText
};

// The reader's result: for each role, absent, empty or a text. The texts are views into the
// decoded file held by this object.
class SchemeEntries {
 public:
  SchemeEntry operator[](std::size_t role) const;

 private:
  friend SchemeEntries ParseScheme(std::string_view bytes);
  struct Slot {
    EntryState state = EntryState::kAbsent;
    std::size_t offset = 0;
    std::size_t length = 0;
  };
  std::u16string text_;
  std::array<Slot, kAllPointerRoleCount> slots_{};
};

// The bytes of a scheme file saved as `schemePath` from the current store: stored paths are
// written relative to the scheme's folder where a relative form exists. An unreadable store
// gives the empty template.
std::string ComposeScheme(std::u16string_view schemePath, CPointerSettings& store,
                          const PathRules& paths);

// The bytes of a scheme file that names the given path for each role that has one (an empty
// path gives the role back to the system); a role without one gets no section, so applying the
// file leaves it alone.
std::string ComposeSchemeOf(
    const std::array<std::optional<std::u16string>, kAllPointerRoleCount>& paths);

// Reads any bytes; never fails. At worst every role is absent.
SchemeEntries ParseScheme(std::string_view bytes);

}  // namespace pivora

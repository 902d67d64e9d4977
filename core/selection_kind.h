// What the pack handler is shown: one INF, one scheme file, or several pointer files of one
// folder. Told from the paths' text alone, so that building a menu reads no file.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace pivora {

// More pointer files than this are no pack anyone selects by hand: the selection is passed over.
inline constexpr std::size_t kMaxPackSelection = 1000;

enum class SelectionKind {
  kNothing,       // nothing this handler serves
  kInf,           // one file named *.inf
  kScheme,        // one file named *.crs
  kPointerFiles,  // 2 to kMaxPackSelection files named *.cur or *.ani, all of one folder
};

// Extensions compare without regard to ASCII case; folders compare as the shell gives them (one
// folder view gives every item the same folder text). A path without a folder, or whose name
// is only an extension, is no pointer file.
SelectionKind ClassifySelection(const std::vector<std::u16string>& paths);

}  // namespace pivora

// What the pack handler is shown: one INF, one scheme file, or several pointer files of one
// folder. Told from the paths' text alone, so that building a menu reads no file.
#pragma once

#include <string>
#include <vector>

#include "core/pack_source.h"

namespace pivora {

enum class SelectionKind {
  kNothing,       // nothing this handler serves
  kInf,           // one file named *.inf
  kScheme,        // one file named *.crs
  kPointerFiles,  // 2 to kMaxSelectedPointerFiles named *.cur or *.ani, all of one folder
};

// Extensions compare without regard to ASCII case; folders (all before the last backslash)
// compare as the shell gives them (one folder view gives every item the same folder text). A
// path without a folder, or whose name is only an extension, is no pointer file.
SelectionKind ClassifySelection(const std::vector<std::u16string>& paths);

}  // namespace pivora

// The shell's file list (the CF_HDROP format): a DROPFILES header, whose first field is the
// list's offset and whose fifth tells UTF-16 names from ANSI ones, then the names, each ended by
// a zero and the list by one more. Read from the block itself, in one pass: DragQueryFile walks
// the list from its start for every name it is asked for, so a large selection would cost the
// square of its size.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pivora {

// The DROPFILES header: pFiles, pt (two LONGs), fNC, fWide; four bytes each, little-endian.
inline constexpr std::size_t kDropHeaderBytes = 20;

// Empties `paths` and fills it with the block's first `limit` names, ANSI ones decoded in the
// thread's ANSI code page; the rest of the list is not looked at. False, with `paths` left empty,
// when the block is shorter than its header, the list starts outside it, a name read runs past
// the block's end or past `maxUnits` units, or the list names no file.
bool ReadDropList(std::string_view block, std::size_t limit, std::size_t maxUnits,
                  std::vector<std::u16string>& paths);

}  // namespace pivora

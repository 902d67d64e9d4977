// Cursor packs: a folder of pointer files with an install.inf. The INF is read as the system's
// INF reader reads it, for what the pack sets: its scheme's name and each role's pointer file.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/pack_source.h"
#include "core/pointer_roles.h"
#include "platform/files.h"

namespace pivora {

// An INF larger than this is not taken for a pack, and is not read.
inline constexpr std::size_t kMaxPackInfBytes = 1u << 20;

struct CursorPack {
  std::u16string schemeName;
  // For each role: nothing when the pack leaves the role alone, an empty name for the system's
  // own pointer, or the pointer's file name (without its folder: before installation the pack's
  // files sit beside the INF).
  std::array<std::optional<std::u16string>, kAllPointerRoleCount> files;
};

// An INF's text: UTF-16LE or UTF-8 after a byte order mark, UTF-8 when it is well-formed UTF-8
// beyond ASCII, otherwise in the ANSI code page.
std::u16string DecodeInfText(std::string_view bytes);

// The pack the INF's text describes; nothing when it names no pointer file.
std::optional<CursorPack> ReadCursorPack(std::u16string_view text);

// The pack source the INF at `infPath` describes: keyed by that path, its files beside it. A name
// that is no file of the INF's folder (it has a folder of its own) is a role left as it was; a
// scheme name that gives no folder name gives way to the folder's.
PackSource PackSourceOf(std::u16string_view infPath, const CursorPack& pack);

// The pack the INF at `infPath` describes, read through the files (at most kMaxPackInfBytes);
// nothing when it is no pack, too large, unreadable or not in a folder.
std::optional<PackSource> ReadPackInf(FileSystem& files, std::u16string_view infPath);

// A folder name for the scheme: characters a file name cannot hold, '%' and ',' become "_",
// blanks and dots at the ends go, at most 100 characters. Empty when nothing usable is left (a
// device name such as "CON" is not usable).
std::u16string FolderNameFor(std::u16string_view schemeName);

}  // namespace pivora

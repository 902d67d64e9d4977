// Applying a scheme file to the per-user pointer settings: what the ApplySet entry points do.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace pivora {

// Scheme files are a few kilobytes; anything this large is not one, and is not read.
inline constexpr std::uint64_t kMaxSchemeFileBytes = 16u << 20;

// The path an entry stands for: an entry with a percent sign as written, a relative entry
// joined to the scheme's folder, an absolute one as written. Empty when the role is skipped: a
// relative entry with a scheme path that has no folder, or whose join would be longer than the
// path functions work with.
std::optional<std::u16string> ResolveEntryPath(std::u16string_view entry,
                                               std::u16string_view schemePath,
                                               const PathRules& paths);

// The file a resolved entry names: environment references expanded, as a stock pointer is
// stored (%SystemRoot%\cursors\...); what gets stored is the unexpanded text.
std::u16string EntryTarget(const std::u16string& candidate, const PathRules& paths);

// The scheme path a command line names: the line as received, or its inside when the whole
// line is wrapped in one pair of double quotes (a Windows path cannot contain a quote).
std::u16string_view SchemePathFromCommandLine(std::u16string_view commandLine);

// Reads the scheme file the command line names and writes, deletes or leaves each role's value
// in role order; the desktop is told to reload its pointers once if anything was written or
// deleted. Shows nothing and reports nothing.
void ApplySchemeFile(std::u16string_view commandLine, const Platform& platform);

}  // namespace pivora

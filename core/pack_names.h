// The names an install gives: the pack's folder after its scheme, each pointer file as stored,
// and "Name (2)", "Name (3)", ... where a name is taken. Every name ends up in a path the
// system stores, where '%' names a variable and ',' separates the scheme list: no name we give
// holds either.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pivora {

// A folder name for the scheme: characters a file name cannot hold, '%' and ',' become "_",
// blanks and dots at the ends go, at most 100 characters. Empty when nothing usable is left (a
// device name such as "CON" is not usable).
std::u16string FolderNameFor(std::u16string_view schemeName);

// A file's name as Windows takes it: without trailing dots and blanks.
std::u16string_view Trimmed(std::u16string_view name);

// The name a pack's pointer file is stored under: trimmed, '%' and ',' made '_'. Nothing for a
// name that no file of a folder can have: a device, dots alone, a character names cannot hold.
std::optional<std::u16string> StoredName(std::u16string_view name);

enum class Candidate { kTake, kNext, kStop };

// Asks `judge` of `name`, then "name (2)", "name (3)", ... ("stem (2).ext" with `beforeExtension`)
// until it takes or stops one, `attempts` names at most: the one taken, or nothing.
std::optional<std::u16string> FirstCandidate(
    std::u16string_view name, int attempts,
    const std::function<Candidate(const std::u16string&)>& judge, bool beforeExtension = false);

// `name`, or "name (2).ext", "name (3).ext", ...: the first that none of `taken` has, in any case
// of its ASCII letters.
std::u16string UniqueName(const std::u16string& name, const std::vector<std::u16string>& taken);

// Whether `names` has `name`, in any case of its ASCII letters.
bool Contains(const std::vector<std::u16string>& names, std::u16string_view name);

}  // namespace pivora

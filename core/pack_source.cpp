#include "core/pack_source.h"

#include "core/pointer_names.h"
#include "platform/path_rules.h"

namespace pivora {

std::optional<PackSource> PackSourceFromPointerFiles(std::u16string_view folder,
                                                     const std::vector<std::u16string>& names) {
  // A drive's root comes as "X:\": its files are "X:\name", its name the drive's.
  while (!folder.empty() && folder.back() == u'\\') folder.remove_suffix(1);
  if (folder.empty() || names.size() > kMaxSelectedPointerFiles) return std::nullopt;
  PackSource source;
  source.key = folder;
  source.schemeName = NameOf(folder);
  const PointerNameMatch match = MatchPointerNames(names);
  for (std::size_t role = 0; role < kAllPointerRoleCount; ++role) {
    // Only a name of the folder's own: nothing of another folder is part of the pack.
    const std::optional<std::size_t> index = match.files[role];
    if (index && names.at(*index).find_first_of(u"\\/") == std::u16string::npos) {
      source.files[role] = JoinPath(folder, names[*index]);
    } else {
      source.rolesLeft.push_back(role);
    }
  }
  return source;
}

}  // namespace pivora

#include "core/pack_source.h"

#include "core/pointer_names.h"

namespace pivora {

std::optional<PackSource> PackSourceFromPointerFiles(std::u16string_view folder,
                                                     const std::vector<std::u16string>& names) {
  if (names.size() > kMaxSelectedPointerFiles) return std::nullopt;
  // A drive's root comes as "X:\": its files are "X:\name", its name the drive's.
  while (folder.size() > 1 && folder.back() == u'\\') folder.remove_suffix(1);
  PackSource source;
  source.key = folder;
  const std::size_t slash = folder.rfind(u'\\');
  source.schemeName = folder.substr(slash == std::u16string_view::npos ? 0 : slash + 1);
  const PointerNameMatch match = MatchPointerNames(names);
  for (std::size_t role = 0; role < kAllPointerRoleCount; ++role) {
    if (const std::optional<std::size_t> index = match.files[role]) {
      source.files[role] = source.key + u'\\' + names.at(*index);
    } else {
      source.rolesLeft.push_back(role);
    }
  }
  return source;
}

}  // namespace pivora

#include "core/apply.h"

#include <new>

#include "core/pointer_roles.h"
#include "core/pointer_settings.h"
#include "core/scheme.h"

namespace pivora {
namespace {

// Applies one role's entry; true when a write or deletion was attempted.
bool ApplyEntry(std::size_t role, const SchemeEntry& entry, std::u16string_view schemePath,
                CPointerSettings& store, const Platform& platform) {
  switch (entry.state) {
    case EntryState::kAbsent:
      return false;
    case EntryState::kEmpty:
      store.DeleteRolePath(role);
      return true;
    case EntryState::kText:
      break;
  }
  const std::optional<std::u16string> candidate =
      ResolveEntryPath(entry.text, schemePath, platform.paths);
  if (!candidate || !platform.files.Exists(EntryTarget(*candidate, platform.paths))) return false;
  store.WriteRolePath(role, *candidate);
  return true;
}

}  // namespace

std::optional<std::u16string> ResolveEntryPath(std::u16string_view entry,
                                               std::u16string_view schemePath,
                                               const PathRules& paths) {
  if (entry.find(u'%') != std::u16string_view::npos) return std::u16string(entry);
  if (!paths.IsRelative(entry)) return std::u16string(entry);
  const std::optional<std::u16string_view> folder = FolderOf(schemePath);
  if (!folder) return std::nullopt;
  return paths.Append(*folder, entry);
}

std::u16string EntryTarget(const std::u16string& candidate, const PathRules& paths) {
  if (candidate.find(u'%') == std::u16string::npos) return candidate;
  return paths.ExpandEnvironment(candidate);
}

std::u16string_view SchemePathFromCommandLine(std::u16string_view commandLine) {
  if (commandLine.size() >= 2 && commandLine.front() == u'"' && commandLine.back() == u'"') {
    return commandLine.substr(1, commandLine.size() - 2);
  }
  return commandLine;
}

void ApplySchemeFile(std::u16string_view commandLine, const Platform& platform) {
  const std::u16string_view schemePath = SchemePathFromCommandLine(commandLine);
  const std::optional<std::string> bytes =
      ReadWholeFile(platform.files, schemePath, kMaxSchemeFileBytes);
  if (!bytes) return;
  const SchemeEntries entries = ParseScheme(*bytes);

  CPointerSettings store(platform.registry, platform.reloader);
  if (!store.OpenForWriting()) return;
  bool changed = false;
  try {
    for (std::size_t role = 0; role < kAllPointerRoleCount; ++role) {
      if (ApplyEntry(role, entries[role], schemePath, store, platform)) changed = true;
    }
  } catch (const std::bad_alloc&) {
    // Out of memory ends the run before the next role; a value is written whole or not at all,
    // and what was already written is announced below.
  }
  store.Close();
  if (changed) store.NotifyPointersChanged();
}

}  // namespace pivora

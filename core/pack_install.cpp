#include "core/pack_install.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <new>
#include <string>

#include "core/apply.h"
#include "core/pack_names.h"
#include "core/pack_record.h"
#include "core/pointer_settings.h"
#include "core/scheme.h"
#include "core/whole_file.h"
#include "platform/path_rules.h"
#include "platform/text.h"

namespace pivora {
namespace {

constexpr std::u16string_view kLocalAppData = u"%LOCALAPPDATA%";
// A pointer file is a few kilobytes, an animated one with many large frames a few megabytes.
constexpr std::uint64_t kMaxPointerFileBytes = 32u << 20;
constexpr std::u16string_view kFallbackName = u"Cursor Pack";

using RoleFiles = std::array<std::optional<std::u16string>, kAllPointerRoleCount>;

// Whether the pack's file is one to copy: not a folder, and not larger than a pointer file can be.
// One that cannot be opened is left to the copy, as it was before sizes were checked.
bool IsCopyable(FileSystem& files, const std::u16string& path) {
  std::uint32_t attributes = 0;
  if (files.Attributes(path, attributes) != status::kSuccess ||
      (attributes & file_attribute::kDirectory) != 0) {
    return false;
  }
  OpenFile file(files);
  std::uint64_t size = 0;
  return files.OpenForReading(path, file.put()) != status::kSuccess ||
         files.Size(file.get(), size) != status::kSuccess || size <= kMaxPointerFileBytes;
}

// The pointer files of the source to copy, by role. A role the source left, or whose file is not
// one to copy, goes to `kept`; a name no file can have (a device among them) is never looked for.
RoleFiles FilesToCopy(const PackSource& source, FileSystem& files, std::vector<std::size_t>& kept) {
  RoleFiles copies;
  for (std::size_t role = 0; role < kAllPointerRoleCount; ++role) {
    const std::optional<std::u16string>& file = source.files[role];
    const bool left =
        std::find(source.rolesLeft.begin(), source.rolesLeft.end(), role) != source.rolesLeft.end();
    if (!left && (!file || file->empty())) continue;
    if (left || !StoredName(NameOf(*file)) || !IsCopyable(files, std::u16string(Trimmed(*file)))) {
      kept.push_back(role);
      continue;
    }
    copies[role] = *file;
  }
  return copies;
}

// Where packs are installed: %LOCALAPPDATA%\Pivora\Cursors.
std::optional<std::u16string> PacksFolder(const PathRules& paths) {
  // Unset, the reference comes back as written. A '%' in the folder's own name is no reason to
  // refuse; but the pointers' paths are stored for the system to expand, so a folder they name
  // must be one that expanding leaves as it is.
  const std::u16string local = paths.ExpandEnvironment(kLocalAppData);
  if (local.empty() || local == kLocalAppData || paths.ExpandEnvironment(local) != local) {
    return std::nullopt;
  }
  return JoinPath(JoinPath(local, u"Pivora"), u"Cursors");
}

std::u16string PackName(const PackSource& source) {
  const std::u16string name = FolderNameFor(source.schemeName);
  return name.empty() ? std::u16string(kFallbackName) : name;
}

Status EnsureFolder(FileSystem& files, std::u16string_view path) {
  const Status created = files.CreateFolder(path);
  return created == status::kAlreadyExists ? status::kSuccess : created;
}

// The pack's folder: the one an earlier installation of the same source made, or the first free
// one of Name, Name (2), Name (3), ... A folder whose record cannot be read ends the search:
// better no installation than a second copy of the same pack.
std::optional<std::u16string> PackFolder(FileSystem& files, std::u16string_view base,
                                         std::u16string_view name, std::u16string_view key) {
  return FirstCandidate(JoinPath(base, name), kNameAttempts, [&](const std::u16string& candidate) {
    if (!files.Exists(candidate)) return Candidate::kTake;
    {
      // A folder without a record is not a pack's of ours: the next name is tried.
      OpenFile probe(files);
      const Status opened = files.OpenForReading(JoinPath(candidate, kRecordFile), probe.put());
      if (opened == status::kFileNotFound || opened == status::kPathNotFound) {
        return Candidate::kNext;
      }
    }
    const std::optional<Record> record = ReadRecord(files, candidate);
    if (!record) return Candidate::kStop;
    return EqualsIgnoringAsciiCase(record->key, key) ? Candidate::kTake : Candidate::kNext;
  });
}

// The settings as they are now; nothing when one of them cannot be read.
std::optional<Before> SettingsNow(const Platform& platform) {
  CPointerSettings store(platform.registry, platform.reloader);
  Before now;
  bool missing = false;
  if (!store.OpenForReading(&missing)) return missing ? std::optional<Before>(now) : std::nullopt;
  for (std::size_t role = 0; role < kAllPointerRoleCount; ++role) {
    if (!store.ReadValue(PointerRoles[role].valueName, now.roles[role])) return std::nullopt;
  }
  if (!store.ReadValue(u"", now.scheme) || !store.ReadValue(kSchemeSourceValue, now.source)) {
    return std::nullopt;
  }
  return now;
}

// The pack's entry in the system's scheme list: the one its last install wrote, while it is
// absent or holds what that install wrote (an entry of an earlier version's record, whose paths
// are not known, always), or else the first of Name, Name (2), ... that no entry has, so that no
// scheme of the person's is overwritten. Empty when none could be had.
std::u16string ListEntryFor(std::u16string_view name, const std::optional<Record>& last,
                            const Platform& platform) {
  const std::u16string own =
      last && last->before ? last->listEntry.value_or(std::u16string(name)) : u"";
  CPointerSettings store(platform.registry, platform.reloader);
  bool missing = false;
  if (!store.OpenForReading(&missing)) {
    return !missing ? u"" : own.empty() ? std::u16string(name) : own;
  }
  std::optional<RegistryValue> held;
  if (!own.empty()) {
    if (!store.ReadSchemeListEntry(own, held)) return u"";
    if (!held || !last->listEntry ||
        *held == StringValue(value_type::kExpandString, last->listPaths)) {
      return own;
    }
  }
  return FirstCandidate(name, kNameAttempts,
                        [&](const std::u16string& candidate) {
                          if (!store.ReadSchemeListEntry(candidate, held)) return Candidate::kStop;
                          return held ? Candidate::kNext : Candidate::kTake;
                        })
      .value_or(u"");
}

// The paths of the pack's entry in the scheme list: each role as applying the pack's scheme
// leaves it, the others as they are now. A path with a comma would shift every role after it in
// the list, so it is left out.
std::u16string ListPaths(const RoleFiles& entries, std::u16string_view schemePath,
                         const Before& now, const PathRules& paths) {
  std::u16string list;
  for (std::size_t role = 0; role < kAllPointerRoleCount; ++role) {
    if (role > 0) list += u',';
    std::u16string path = now.roles[role] ? TextOf(*now.roles[role]) : u"";
    if (const std::optional<std::u16string>& entry = entries[role]) {
      path = entry->empty() ? u"" : ResolveEntryPath(*entry, schemePath, paths).value_or(path);
    }
    if (path.find(u',') == std::u16string::npos) list += path;
  }
  return list;
}

// Copies each file into the staged folder once, under a name none of `taken` has, and tells each
// role's entry in the pack's scheme: the stored name, or empty for the system's own pointer.
// The names written go to `written` and `taken`. The code of the copy that failed, if one did.
Status CopyFiles(FileSystem& files, const PackSource& source, const RoleFiles& copies,
                 const std::u16string& staged, std::vector<std::u16string>& taken,
                 std::vector<std::u16string>& written, RoleFiles& entries) {
  std::vector<std::pair<std::u16string_view, std::u16string>> stored;  // the file, its name
  for (std::size_t role = 0; role < kAllPointerRoleCount; ++role) {
    const std::optional<std::u16string>& file = source.files[role];
    if (file && file->empty()) entries[role] = u"";
    if (!copies[role]) continue;
    // One file however the pack spells it: "arrow.cur." is "arrow.cur".
    const std::u16string_view from = Trimmed(*copies[role]);
    const std::u16string own = *StoredName(NameOf(*copies[role]));
    const auto same = std::find_if(stored.begin(), stored.end(), [&](const auto& known) {
      return EqualsIgnoringAsciiCase(known.first, from);
    });
    if (same != stored.end()) {
      // In the role's own spelling where that names the same stored file.
      entries[role] = EqualsIgnoringAsciiCase(own, same->second) ? own : same->second;
      continue;
    }
    const std::u16string name = UniqueName(own, taken);
    if (const Status copied = files.Copy(std::u16string(from), JoinPath(staged, name))) {
      return copied;
    }
    taken.push_back(name);
    written.push_back(name);
    stored.emplace_back(from, name);
    entries[role] = name;
  }
  return status::kSuccess;
}

// Whether a file is there; nothing when that cannot be told.
std::optional<bool> IsThere(FileSystem& files, std::u16string_view path) {
  std::uint32_t attributes = 0;
  const Status found = files.Attributes(path, attributes);
  if (found == status::kFileNotFound || found == status::kPathNotFound) return false;
  return found == status::kSuccess ? std::optional<bool>(true) : std::nullopt;
}

}  // namespace

PackInstallation InstallCursorPack(const PackSource& source, const Platform& platform) {
  FileSystem& files = platform.files;
  PackInstallation result;

  // The source: the pointer files there are to copy, before anything is made.
  const RoleFiles copies = FilesToCopy(source, files, result.rolesKept);
  if (std::none_of(copies.begin(), copies.end(), [](const auto& file) { return file; })) {
    result.noPointerFiles = true;
    return result;
  }

  // The target: the pack's folder, and in the folder of an earlier install the files it recorded,
  // which are ours to replace; every other one is the user's, and keeps its name. The settings it
  // found stay the ones recorded: now the pack's own pointers may be in use.
  const std::optional<std::u16string> base = PacksFolder(platform.paths);
  if (!base) return result;
  for (const std::u16string_view folder : {*FolderOf(*base), std::u16string_view(*base)}) {
    if ((result.failure = EnsureFolder(files, folder)) != status::kSuccess) return result;
  }
  const std::u16string name = PackName(source);
  const std::optional<std::u16string> target = PackFolder(files, *base, name, source.key);
  if (!target) return result;
  std::vector<std::u16string> ours;
  std::vector<std::u16string> taken{std::u16string(kRecordFile)};
  Record record{source.key, {}, {}, {}, {}};
  const std::optional<Before> now = SettingsNow(platform);
  if (!now) return result;
  const bool again = files.Exists(*target);
  std::optional<Record> last;
  if (again) {
    std::vector<std::u16string> present;
    last = ReadRecord(files, *target);
    if (!last) return result;
    if ((result.failure = files.FilesIn(*target, present)) != status::kSuccess) return result;
    for (std::u16string& file : present) {
      (Contains(last->files, file) ? ours : taken).push_back(std::move(file));
    }
    record.before = last->before;
  } else {
    record.before = now;
  }
  record.listEntry = ListEntryFor(NameOf(*target), last, platform);

  // The stage: a folder of ours beside the target with the copies, the scheme and the record.
  FolderBeside staged(files);
  if (!staged.Create(*target)) {
    result.failure = staged.failure();
    return result;
  }
  const std::u16string schemeFile = UniqueName(name + u".crs", taken);
  taken.push_back(schemeFile);
  std::vector<std::u16string> written;
  RoleFiles entries;
  result.failure = CopyFiles(files, source, copies, staged.name(), taken, written, entries);
  if (result.failure != status::kSuccess) return result;
  written.push_back(schemeFile);
  record.files = written;
  written.emplace_back(kRecordFile);
  record.listPaths = ListPaths(entries, JoinPath(*target, schemeFile), *now, platform.paths);
  // A record too large to be read back would leave a pack that cannot be uninstalled.
  const std::string recordBytes = RecordBytes(record);
  if (recordBytes.size() > kMaxRecordBytes ||
      !WriteFileWhole(files, JoinPath(staged.name(), schemeFile), ComposeSchemeOf(entries),
                      result.failure) ||
      !WriteFileWhole(files, JoinPath(staged.name(), kRecordFile), recordBytes, result.failure)) {
    return result;
  }

  // The commit: the files in place, the scheme applied and selected in the scheme list.
  result.failure = again ? ReplaceFilesInFolder(files, staged, *target, ours, written)
                         : PutFolderInPlace(files, staged, *target);
  if (result.failure != status::kSuccess) return result;
  result.folder = *target;
  ApplySchemeFile(JoinPath(*target, schemeFile), platform);
  CPointerSettings store(platform.registry, platform.reloader);
  if (!record.listEntry->empty() && store.OpenForWriting()) {
    store.SelectSchemeListEntry(*record.listEntry, record.listPaths);
  }
  result.installed = true;
  return result;
}

std::optional<std::u16string> InstalledPackFor(const PackSource& source, const Platform& platform) {
  const std::optional<std::u16string> base = PacksFolder(platform.paths);
  if (!base) return std::nullopt;
  // The names an install of this source may have taken, as it chose them.
  return FirstCandidate(
      JoinPath(*base, PackName(source)), kNameAttempts, [&](const std::u16string& candidate) {
        if (!platform.files.Exists(candidate)) return Candidate::kStop;
        const std::optional<Record> record = ReadRecord(platform.files, candidate);
        if (!record || !EqualsIgnoringAsciiCase(record->key, source.key)) return Candidate::kNext;
        return record->before ? Candidate::kTake : Candidate::kStop;
      });
}

std::optional<std::u16string> InstalledPackForScheme(std::u16string_view schemePath,
                                                     const Platform& platform) {
  const std::optional<std::u16string_view> folder = FolderOf(schemePath);
  const std::optional<std::u16string> base = PacksFolder(platform.paths);
  if (!folder || !base || !EqualsIgnoringAsciiCase(FolderOf(*folder).value_or(u""), *base)) {
    return std::nullopt;
  }
  // The scheme the install wrote, not one the person saved there.
  const std::optional<Record> record = ReadRecord(platform.files, *folder);
  if (!record || !record->before || !Contains(record->files, NameOf(schemePath))) {
    return std::nullopt;
  }
  return std::u16string(*folder);
}

PackUninstallation UninstallCursorPack(std::u16string_view packFolder, const Platform& platform) {
  FileSystem& files = platform.files;
  PackUninstallation result;
  const std::optional<Record> record = ReadRecord(files, packFolder);
  // A recorded name is removed only as a long name the folder holds: one that is no such name
  // could be the short name of a file the person made there since.
  std::vector<std::u16string> listing;
  if (!record || !record->before) return result;
  if ((result.failure = files.FilesIn(packFolder, listing)) != status::kSuccess) return result;
  const Before& before = *record->before;
  // The roles the install gave back to the system: its scheme has them empty.
  SchemeEntries scheme = ParseScheme("");
  for (const std::u16string& file : record->files) {
    if (!EndsWithIgnoringAsciiCase(file, u".crs")) continue;
    const std::optional<std::string> bytes =
        ReadWholeFile(files, JoinPath(packFolder, file), kMaxSchemeFileBytes);
    scheme = ParseScheme(bytes.value_or(""));
  }

  CPointerSettings store(platform.registry, platform.reloader);
  if (!store.OpenForWriting()) return result;
  bool changed = false;
  bool failed = false;
  try {
    for (std::size_t role = 0; role < kAllPointerRoleCount && !failed; ++role) {
      const std::u16string_view name = PointerRoles[role].valueName;
      std::optional<RegistryValue> now;
      if (!store.ReadValue(name, now)) {
        failed = true;
        break;
      }
      const std::u16string text = now ? TextOf(*now) : u"";
      const bool ours =
          !text.empty() ? EqualsIgnoringAsciiCase(
                              FolderOf(EntryTarget(text, platform.paths)).value_or(u""), packFolder)
                        : scheme[role].state == EntryState::kEmpty;
      const std::optional<RegistryValue>& was = before.roles[role];
      if (!ours) {
        if (now != was) result.rolesKept.push_back(role);
        continue;
      }
      // As it was, whether or not its file is there now: a missing file shows the system's
      // pointer by itself, and a share that is offline today may be back tomorrow.
      failed = !(was ? store.WriteValue(name, *was) : store.DeleteValue(name));
      changed = true;
    }
    // The pack's entry goes only while it holds what the install wrote; an earlier version's
    // record does not say what that was, and its entry goes as it did then.
    failed = failed || !store.RestoreSchemeList(
                           record->listEntry.value_or(std::u16string(NameOf(packFolder))),
                           record->listEntry ? std::optional(record->listPaths) : std::nullopt,
                           before.scheme, before.source);
  } catch (const std::bad_alloc&) {
    // What was put back is announced below; the files stay for another try.
    failed = true;
  }
  store.Close();
  if (changed) store.NotifyPointersChanged();
  if (failed) return result;

  // The pack's files go, the record last, so that a file that stays can be removed another time.
  bool allGone = true;
  for (const std::u16string& file : record->files) {
    const auto listed = std::find_if(listing.begin(), listing.end(), [&](const auto& name) {
      return EqualsIgnoringAsciiCase(name, file);
    });
    if (file == kRecordFile || listed == listing.end()) continue;
    const Status removed = RemoveFile(files, JoinPath(packFolder, *listed));
    if (result.failure == status::kSuccess) result.failure = removed;
    if (IsThere(files, JoinPath(packFolder, *listed)) != false) allGone = false;
  }
  if (allGone) {
    const Status removed = RemoveFile(files, JoinPath(packFolder, kRecordFile));
    if (result.failure == status::kSuccess) result.failure = removed;
  }
  result.uninstalled = true;
  const Status removed = files.RemoveFolder(packFolder);
  result.filesKept = removed != status::kSuccess && removed != status::kFileNotFound;
  return result;
}

}  // namespace pivora

#include "core/pack_install.h"

#include <algorithm>
#include <array>
#include <new>
#include <string>

#include "core/apply.h"
#include "core/scheme.h"
#include "core/whole_file.h"
#include "platform/path_reach.h"
#include "platform/text.h"

namespace pivora {
namespace {

constexpr std::u16string_view kLocalAppData = u"%LOCALAPPDATA%";
// The install's record in the pack's folder: the INF it came from on the first line (the same
// INF installed again replaces what it wrote), then each file the install wrote, a line each.
constexpr std::u16string_view kSourceFile = u"Pivora.source";
constexpr std::uint64_t kMaxSourceBytes = 64 * 1024;
constexpr std::u16string_view kFallbackName = u"Cursor Pack";
constexpr int kNameAttempts = 64;
constexpr std::u16string_view kForbidden = u"<>:\"/\\|?*";

std::u16string Number(int number) {
  std::u16string digits;
  for (const char c : std::to_string(number)) digits.push_back(static_cast<char16_t>(c));
  return digits;
}

std::u16string Join(std::u16string_view folder, std::u16string_view name) {
  return std::u16string(folder) + u'\\' + std::u16string(name);
}

// A folder of ours, with the files in it (it holds no folders).
void RemoveTree(FileSystem& files, const std::u16string& folder) {
  std::vector<std::u16string> names;
  for (int attempt = 0; attempt < kRemoveAttempts; ++attempt) {
    if (files.FilesIn(folder, names) == status::kSuccess) break;
    names.clear();
  }
  for (const std::u16string& name : names) RemoveFile(files, Join(folder, name));
  for (int attempt = 0; attempt < kRemoveAttempts; ++attempt) {
    if (attempt > 0) PauseBeforeRetry(attempt - 1);
    const Status removed = files.RemoveFolder(folder);
    if (removed == status::kSuccess || removed == status::kFileNotFound) return;
  }
}

// A new folder of ours beside `target`, named after it with a short suffix (".~1", ".~2", ...),
// removed with its files when this goes unless it was kept.
class FolderBeside {
 public:
  explicit FolderBeside(FileSystem& files) : files_(files) {}
  FolderBeside(const FolderBeside&) = delete;
  FolderBeside& operator=(const FolderBeside&) = delete;
  ~FolderBeside() {
    if (name_.empty() || kept_) return;
    // Clearing up allocates; out of memory, it is tried once more, and should that fail too the
    // folder stays beside the pack's, named as ours.
    for (int attempt = 0; attempt < 2; ++attempt) {
      try {
        RemoveTree(files_, name_);
        return;
      } catch (const std::bad_alloc&) {
      }
    }
  }

  bool Create(std::u16string_view target) {
    for (int number = 1; number <= kNameAttempts; ++number) {
      std::u16string name = std::u16string(target) + u".~" + Number(number);
      const Status created = files_.CreateFolder(name);
      if (created == status::kSuccess) {
        name_ = std::move(name);
        return true;
      }
      if (created != status::kAlreadyExists && created != status::kFileExists) return false;
    }
    return false;
  }
  const std::u16string& name() const { return name_; }
  void Keep() { kept_ = true; }

 private:
  FileSystem& files_;
  std::u16string name_;
  bool kept_ = false;
};

// What an install recorded in the pack's folder. A record from before files were listed names
// only the INF: nothing but the record itself is known to be ours then.
struct Record {
  std::u16string inf;
  std::vector<std::u16string> files;
};

std::optional<Record> ReadRecord(FileSystem& files, std::u16string_view folder) {
  const std::optional<std::string> bytes =
      ReadWholeFile(files, Join(folder, kSourceFile), kMaxSourceBytes);
  if (!bytes) return std::nullopt;
  const std::u16string text = Utf8ToUtf16(*bytes);
  Record record;
  std::size_t start = 0;
  for (std::size_t end = 0; start <= text.size(); start = end + 2) {
    end = text.find(u"\r\n", start);
    if (end == std::u16string::npos) end = text.size();
    const std::u16string_view line = std::u16string_view(text).substr(start, end - start);
    if (start == 0) {
      record.inf = line;
    } else if (!line.empty()) {
      record.files.emplace_back(line);
    }
  }
  record.files.emplace_back(kSourceFile);
  return record;
}

bool Contains(const std::vector<std::u16string>& names, std::u16string_view name) {
  return std::any_of(names.begin(), names.end(),
                     [&](const std::u16string& n) { return EqualsIgnoringAsciiCase(n, name); });
}

// A pack's file name as Windows takes it: without trailing dots and blanks.
std::u16string_view Trimmed(std::u16string_view name) {
  while (!name.empty() && (name.back() == u'.' || name.back() == u' ')) name.remove_suffix(1);
  return name;
}

// The name a pack's pointer file is stored under: trimmed, and '%' made '_', so that no stored
// path names a variable. Nothing for a name that no file of the pack's folder can have: a
// device, dots alone, a character names cannot hold.
std::optional<std::u16string> StoredName(std::u16string_view name) {
  name = Trimmed(name);
  if (name.empty() || IsDeviceName(name)) return std::nullopt;
  std::u16string stored;
  for (const char16_t c : name) {
    if (c < 0x20 || kForbidden.find(c) != std::u16string_view::npos) return std::nullopt;
    stored.push_back(c == u'%' ? u'_' : c);
  }
  return stored;
}

// `name`, or "name (2).ext", "name (3).ext", ... : the first that none of `taken` has.
std::u16string UniqueName(const std::u16string& name, const std::vector<std::u16string>& taken) {
  if (!Contains(taken, name)) return name;
  const std::size_t dot = name.rfind(u'.');
  const std::u16string stem = dot == std::u16string::npos ? name : name.substr(0, dot);
  const std::u16string extension = dot == std::u16string::npos ? u"" : name.substr(dot);
  for (int number = 2;; ++number) {
    std::u16string candidate = stem + u" (" + Number(number) + u")" + extension;
    if (!Contains(taken, candidate)) return candidate;
  }
}

bool EnsureFolder(FileSystem& files, std::u16string_view path) {
  const Status created = files.CreateFolder(path);
  return created == status::kSuccess || created == status::kAlreadyExists;
}

// The pack's folder: the one an earlier installation of the same INF made, or the first free
// one of Name, Name (2), Name (3), ... A folder whose source cannot be read ends the search:
// better no installation than a second copy of the same pack.
std::optional<std::u16string> PackFolder(FileSystem& files, std::u16string_view base,
                                         std::u16string_view name, std::u16string_view infPath) {
  for (int number = 1; number <= kNameAttempts; ++number) {
    std::u16string candidate = Join(base, name);
    if (number > 1) candidate += u" (" + Number(number) + u")";
    if (!files.Exists(candidate)) return candidate;
    const std::u16string source = Join(candidate, kSourceFile);
    {
      // A folder without a source is not a pack's of ours: the next name is tried.
      OpenFile probe(files);
      const Status opened = files.OpenForReading(source, probe.put());
      if (opened == status::kFileNotFound || opened == status::kPathNotFound) continue;
    }
    const std::optional<Record> record = ReadRecord(files, candidate);
    if (!record) return std::nullopt;
    if (EqualsIgnoringAsciiCase(record->inf, infPath)) return candidate;
  }
  return std::nullopt;
}

std::u16string PackName(const CursorPack& pack, std::u16string_view packFolder) {
  std::u16string name = FolderNameFor(pack.schemeName);
  if (name.empty()) name = FolderNameFor(packFolder.substr(packFolder.rfind(u'\\') + 1));
  return name.empty() ? std::u16string(kFallbackName) : name;
}

// A first install: the staged folder becomes the pack's folder in one step.
bool PutInPlace(FileSystem& files, FolderBeside& staged, const std::u16string& target) {
  if (files.Move(staged.name(), target, false) != status::kSuccess) return false;
  staged.Keep();
  return true;
}

// Puts the staged files in place of the ones the last install wrote, leaving every other file
// and folder of the pack's folder where it is: the old ones go to a folder of ours beside it
// first, and on any failure everything moves back. Every path is made before the first move, so
// that running out of memory cannot stop it halfway.
bool ReplaceRecorded(FileSystem& files, FolderBeside& staged, const std::u16string& target,
                     const std::vector<std::u16string>& ours,
                     const std::vector<std::u16string>& written) {
  FolderBeside aside(files);
  if (!aside.Create(target)) return false;
  std::vector<std::pair<std::u16string, std::u16string>> out;  // from the pack's folder, aside
  std::vector<std::pair<std::u16string, std::u16string>> in;   // from the staged folder, in
  out.reserve(ours.size());
  in.reserve(written.size());
  for (const std::u16string& name : ours)
    out.emplace_back(Join(target, name), Join(aside.name(), name));
  for (const std::u16string& name : written) {
    in.emplace_back(Join(staged.name(), name), Join(target, name));
  }
  std::size_t movedOut = 0;
  std::size_t movedIn = 0;
  while (movedOut < out.size() &&
         files.Move(out[movedOut].first, out[movedOut].second, false) == status::kSuccess) {
    ++movedOut;
  }
  if (movedOut == out.size()) {
    while (movedIn < in.size() &&
           files.Move(in[movedIn].first, in[movedIn].second, false) == status::kSuccess) {
      ++movedIn;
    }
    if (movedIn == in.size()) return true;
  }
  // Back as it was: the new files out, the old ones in; what cannot come back stays in the
  // folders of ours, which are then kept.
  while (movedIn > 0) {
    --movedIn;
    if (files.Move(in[movedIn].second, in[movedIn].first, false) != status::kSuccess) {
      RemoveFile(files, in[movedIn].second);
    }
  }
  while (movedOut > 0) {
    --movedOut;
    if (files.Move(out[movedOut].second, out[movedOut].first, false) != status::kSuccess) {
      aside.Keep();
    }
  }
  return false;
}

}  // namespace

std::optional<CursorPack> ReadPackInf(FileSystem& files, std::u16string_view infPath) {
  const std::optional<std::string> bytes = ReadWholeFile(files, infPath, kMaxPackInfBytes);
  if (!bytes) return std::nullopt;
  return ReadCursorPack(DecodeInfText(*bytes));
}

PackInstallation InstallCursorPack(std::u16string_view infPath, const CursorPack& pack,
                                   const Platform& platform) {
  FileSystem& files = platform.files;
  PackInstallation result;
  const std::optional<std::u16string_view> packFolder = FolderOf(infPath);
  if (!packFolder) return result;

  // The pointer files the pack has, each named no more than once, before anything is made.
  std::array<std::optional<std::u16string>, kAllPointerRoleCount> sources;
  bool anyFile = false;
  for (std::size_t role = 0; role < kAllPointerRoleCount; ++role) {
    const std::optional<std::u16string>& file = pack.files[role];
    if (!file || file->empty()) continue;
    // A name no file can have (a device among them) is never looked for.
    if (!StoredName(*file) || !files.Exists(Join(*packFolder, Trimmed(*file)))) {
      result.rolesKept.push_back(role);
      continue;
    }
    sources[role] = *file;
    anyFile = true;
  }
  if (!anyFile) {
    result.noPointerFiles = true;
    return result;
  }

  const std::u16string local = platform.paths.ExpandEnvironment(kLocalAppData);
  if (local.empty() || local.find(u'%') != std::u16string::npos) return result;
  const std::u16string base = Join(Join(local, u"Pivora"), u"Cursors");
  if (!EnsureFolder(files, Join(local, u"Pivora")) || !EnsureFolder(files, base)) return result;
  const std::u16string name = PackName(pack, *packFolder);
  const std::optional<std::u16string> target = PackFolder(files, base, name, infPath);
  if (!target) return result;

  // In the folder of an earlier install: the files it recorded are ours to replace; every other
  // one is the user's, and keeps its name.
  std::vector<std::u16string> ours;
  std::vector<std::u16string> taken{std::u16string(kSourceFile)};
  const bool again = files.Exists(*target);
  if (again) {
    std::vector<std::u16string> present;
    const std::optional<Record> record = ReadRecord(files, *target);
    if (!record || files.FilesIn(*target, present) != status::kSuccess) return result;
    for (std::u16string& file : present) {
      (Contains(record->files, file) ? ours : taken).push_back(std::move(file));
    }
  }

  FolderBeside staged(files);
  if (!staged.Create(*target)) return result;
  const std::u16string schemeFile = UniqueName(name + u".crs", taken);
  taken.push_back(schemeFile);
  std::vector<std::u16string> written;
  std::vector<std::pair<std::u16string, std::u16string>> stored;  // the pack's name, ours
  std::array<std::optional<std::u16string>, kAllPointerRoleCount> entries;
  for (std::size_t role = 0; role < kAllPointerRoleCount; ++role) {
    const std::optional<std::u16string>& file = pack.files[role];
    if (file && file->empty()) entries[role] = u"";
    if (!sources[role]) continue;
    const auto same = std::find_if(stored.begin(), stored.end(), [&](const auto& known) {
      return EqualsIgnoringAsciiCase(known.first, *sources[role]);
    });
    if (same != stored.end()) {
      // In the role's own spelling where that names the same stored file.
      const std::u16string own = *StoredName(*sources[role]);
      entries[role] = EqualsIgnoringAsciiCase(own, same->second) ? own : same->second;
      continue;
    }
    const std::u16string storedName = UniqueName(*StoredName(*sources[role]), taken);
    if (files.Copy(Join(*packFolder, Trimmed(*sources[role])), Join(staged.name(), storedName)) !=
        status::kSuccess) {
      return result;
    }
    taken.push_back(storedName);
    written.push_back(storedName);
    stored.emplace_back(*sources[role], storedName);
    entries[role] = storedName;
  }
  std::u16string record = std::u16string(infPath);
  for (const std::u16string& file : written) record += u"\r\n" + file;
  record += u"\r\n" + schemeFile;
  written.push_back(schemeFile);
  written.emplace_back(kSourceFile);
  if (!WriteFileWhole(files, Join(staged.name(), schemeFile), ComposeSchemeOf(entries)) ||
      !WriteFileWhole(files, Join(staged.name(), kSourceFile), Utf16ToUtf8(record))) {
    return result;
  }
  if (again ? !ReplaceRecorded(files, staged, *target, ours, written)
            : !PutInPlace(files, staged, *target)) {
    return result;
  }
  result.folder = *target;
  ApplySchemeFile(Join(*target, schemeFile), platform);
  result.installed = true;
  return result;
}

}  // namespace pivora

namespace pivora {

// Not yet: the shell side is built against these while the core is written.
std::optional<std::u16string> InstalledPackForInf(std::u16string_view, const CursorPack&,
                                                  const Platform&) {
  return std::nullopt;
}
std::optional<std::u16string> InstalledPackForScheme(std::u16string_view, const Platform&) {
  return std::nullopt;
}
PackUninstallation UninstallCursorPack(std::u16string_view, const Platform&) { return {}; }

}  // namespace pivora

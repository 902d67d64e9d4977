#include "core/pack_install.h"

#include <array>
#include <new>
#include <string>

#include "core/apply.h"
#include "core/scheme.h"
#include "core/whole_file.h"
#include "platform/text.h"

namespace pivora {
namespace {

constexpr std::u16string_view kLocalAppData = u"%LOCALAPPDATA%";
// Which INF a pack's folder came from: the same INF installed again replaces the folder.
constexpr std::u16string_view kSourceFile = u"Pivora.source";
constexpr std::uint64_t kMaxSourceBytes = 64 * 1024;
constexpr std::u16string_view kFallbackName = u"Cursor Pack";
constexpr int kNameAttempts = 64;
// A file or folder just closed may still be held for a moment (a scanner looking at new files
// is the usual holder): removing is tried this often.
constexpr int kRemoveAttempts = 3;

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
  // Takes over a folder that was moved out of the way, to remove it when this goes.
  void Adopt(std::u16string name) { name_ = std::move(name); }
  const std::u16string& name() const { return name_; }
  void Keep() { kept_ = true; }

 private:
  FileSystem& files_;
  std::u16string name_;
  bool kept_ = false;
};

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
    const std::optional<std::string> from = ReadWholeFile(files, source, kMaxSourceBytes);
    if (!from) return std::nullopt;
    if (EqualsIgnoringAsciiCase(Utf8ToUtf16(*from), infPath)) return candidate;
  }
  return std::nullopt;
}

std::u16string PackName(const CursorPack& pack, std::u16string_view packFolder) {
  std::u16string name = FolderNameFor(pack.schemeName);
  if (name.empty()) name = FolderNameFor(packFolder.substr(packFolder.rfind(u'\\') + 1));
  return name.empty() ? std::u16string(kFallbackName) : name;
}

// The staged folder takes the target's place; an old target is moved aside first and removed
// only once the new one is in place, or moved back when it could not be.
bool PutInPlace(FileSystem& files, FolderBeside& staged, const std::u16string& target) {
  if (!files.Exists(target)) {
    if (files.Move(staged.name(), target, false) != status::kSuccess) return false;
    staged.Keep();
    return true;
  }
  FolderBeside old(files);
  for (int number = 1; number <= kNameAttempts && old.name().empty(); ++number) {
    std::u16string aside = target + u".~old" + Number(number);
    const Status moved = files.Move(target, aside, false);
    if (moved == status::kSuccess) {
      old.Adopt(std::move(aside));
    } else if (moved != status::kAlreadyExists && moved != status::kFileExists) {
      return false;
    }
  }
  if (old.name().empty()) return false;
  if (files.Move(staged.name(), target, false) == status::kSuccess) {
    staged.Keep();
    return true;
  }
  // The old folder returns; should even that fail, it stays whole under its other name.
  if (files.Move(old.name(), target, false) != status::kSuccess) old.Keep();
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
  const std::u16string local = platform.paths.ExpandEnvironment(kLocalAppData);
  if (!packFolder || local.empty() || local.find(u'%') != std::u16string::npos) return result;
  const std::u16string base = Join(Join(local, u"Pivora"), u"Cursors");
  if (!EnsureFolder(files, Join(local, u"Pivora")) || !EnsureFolder(files, base)) return result;
  const std::u16string name = PackName(pack, *packFolder);
  const std::optional<std::u16string> target = PackFolder(files, base, name, infPath);
  FolderBeside staged(files);
  if (!target || !staged.Create(*target)) return result;

  std::array<std::optional<std::u16string>, kPointerRoleCount> entries;
  std::vector<std::u16string> copied;
  for (std::size_t role = 0; role < kPointerRoleCount; ++role) {
    const std::optional<std::u16string>& file = pack.files[role];
    if (!file) continue;
    if (file->empty()) {
      entries[role] = u"";
      continue;
    }
    const std::u16string source = Join(*packFolder, *file);
    if (!files.Exists(source)) {
      result.rolesKept.push_back(role);
      continue;
    }
    bool already = false;
    for (const std::u16string& done : copied)
      already = already || EqualsIgnoringAsciiCase(done, *file);
    if (!already) {
      if (files.Copy(source, Join(staged.name(), *file)) != status::kSuccess) return result;
      copied.push_back(*file);
    }
    entries[role] = *file;
  }
  const std::u16string schemeFile = name + u".crs";
  if (!WriteFileWhole(files, Join(staged.name(), schemeFile), ComposeSchemeOf(entries)) ||
      !WriteFileWhole(files, Join(staged.name(), kSourceFile), Utf16ToUtf8(infPath)) ||
      !PutInPlace(files, staged, *target)) {
    return result;
  }
  result.folder = *target;
  ApplySchemeFile(Join(*target, schemeFile), platform);
  result.installed = true;
  return result;
}

}  // namespace pivora

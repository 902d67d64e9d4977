#include "platform/memory_files.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/text.h"

namespace pivora {
namespace {

// The file system, unlike the path rules, takes a forward slash as a separator too.
std::u16string Fold(std::u16string_view path) {
  std::u16string folded(path);
  for (char16_t& c : folded) c = c == u'/' ? u'\\' : AsciiUpper(c);
  while (folded.size() > 1 && folded.back() == u'\\') folded.pop_back();
  return folded;
}

}  // namespace

std::shared_ptr<MemoryFileSystem::File> MemoryFileSystem::Find(std::u16string_view path) const {
  return FindFolded(Fold(path));
}

std::shared_ptr<MemoryFileSystem::File> MemoryFileSystem::FindFolded(
    const std::u16string& folded) const {
  const auto found = files_.find(folded);
  return found == files_.end() ? nullptr : found->second;
}

std::optional<std::u16string> MemoryFileSystem::Resolve(std::u16string_view path,
                                                        bool followLast) const {
  // Windows gives up after this many links on one path (ERROR_CANT_RESOLVE_FILENAME).
  constexpr int kMaxLinks = 63;
  std::u16string folded = Fold(path);
  for (int links = 0; links <= kMaxLinks; ++links) {
    std::size_t end = folded.find(u'\\');
    for (;; end = folded.find(u'\\', end + 1)) {
      if (end == std::u16string::npos && !followLast) return folded;
      const auto link = links_.find(folded.substr(0, end));
      if (link != links_.end()) {
        const std::u16string rest = end == std::u16string::npos ? u"" : folded.substr(end);
        folded = Fold(link->second.target + rest);
        break;
      }
      if (end == std::u16string::npos) return folded;
    }
  }
  return std::nullopt;
}

FileHandle MemoryFileSystem::Add(std::shared_ptr<File> file, bool writing, bool holdsDeletion) {
  const FileHandle handle = nextHandle_;
  nextHandle_ += 4;
  if (writing) ++file->writers;
  if (holdsDeletion) ++file->readers;
  open_[handle] = Open{std::move(file), 0, writing, holdsDeletion};
  return handle;
}

Status MemoryFileSystem::OpenForReading(std::u16string_view path, FileHandle& out) {
  const std::optional<std::u16string> resolved = Resolve(path, true);
  if (!resolved) return status::kPathNotFound;
  const std::shared_ptr<File> file = FindFolded(*resolved);
  if (!file) return status::kFileNotFound;
  if (file->writers > 0) return status::kSharingViolation;
  // Shares reading and deletion, as the Win32 binding opens.
  out = Add(file, false);
  return status::kSuccess;
}

Status MemoryFileSystem::Size(FileHandle file, std::uint64_t& size) {
  const auto found = open_.find(file);
  if (found == open_.end()) return status::kInvalidHandle;
  if (failSize_) return status::kInvalidParameter;
  size = claimedSize_ != 0 ? claimedSize_ : found->second.file->bytes.size();
  return status::kSuccess;
}

Status MemoryFileSystem::Read(FileHandle file, void* buffer, std::uint32_t size,
                              std::uint32_t& read) {
  const auto found = open_.find(file);
  if (found == open_.end()) return status::kInvalidHandle;
  Open& handle = found->second;
  const std::string& bytes = handle.file->bytes;
  const std::size_t count = std::min<std::size_t>(size, bytes.size() - handle.position);
  if (count != 0) std::memcpy(buffer, bytes.data() + handle.position, count);
  handle.position += count;
  read = static_cast<std::uint32_t>(count);
  return status::kSuccess;
}

void MemoryFileSystem::Close(FileHandle file) {
  const auto found = open_.find(file);
  if (found == open_.end()) return;
  if (found->second.writing) --found->second.file->writers;
  if (found->second.holdsDeletion) --found->second.file->readers;
  open_.erase(found);
}

bool MemoryFileSystem::Exists(std::u16string_view path) {
  const std::optional<std::u16string> resolved = Resolve(path, false);
  return resolved && (links_.count(*resolved) != 0 || ExistsFolded(*resolved));
}

bool MemoryFileSystem::ExistsFolded(const std::u16string& folded) const {
  if (folded.empty()) return false;
  if (files_.count(folded) != 0 || folders_.count(folded) != 0) return true;
  // A folder exists while anything is inside it.
  const std::u16string prefix = folded + u'\\';
  const auto after = files_.lower_bound(prefix);
  return after != files_.end() && after->first.compare(0, prefix.size(), prefix) == 0;
}

Status MemoryFileSystem::Attributes(std::u16string_view path, std::uint32_t& attributes) {
  const std::optional<std::u16string> resolved = Resolve(path, false);
  if (!resolved) return status::kPathNotFound;
  if (const auto link = links_.find(*resolved); link != links_.end()) {
    attributes = file_attribute::kReparsePoint |
                 (link->second.folder ? file_attribute::kDirectory : file_attribute::kArchive);
    return status::kSuccess;
  }
  if (const std::shared_ptr<File> file = FindFolded(*resolved)) {
    attributes = file->attributes;
    return status::kSuccess;
  }
  if (!ExistsFolded(*resolved)) return status::kFileNotFound;
  attributes = file_attribute::kDirectory;
  return status::kSuccess;
}

Status MemoryFileSystem::ReparseTag(std::u16string_view path, std::uint32_t& tag) {
  const std::size_t slash = path.find_last_of(u"\\/");
  const std::u16string_view name =
      slash == std::u16string_view::npos ? path : path.substr(slash + 1);
  if (name.find_first_of(u"*?<>\"") != std::u16string_view::npos) return status::kInvalidName;
  const std::optional<std::u16string> resolved = Resolve(path, false);
  if (!resolved) return status::kPathNotFound;
  if (const auto link = links_.find(*resolved); link != links_.end()) {
    tag = link->second.tag;
  } else if (const std::shared_ptr<File> file = FindFolded(*resolved)) {
    tag = (file->attributes & file_attribute::kReparsePoint) != 0 ? file->reparseTag : 0;
  } else if (ExistsFolded(*resolved)) {
    tag = 0;
  } else {
    return status::kFileNotFound;
  }
  return status::kSuccess;
}

DriveType MemoryFileSystem::DriveTypeOf(std::u16string_view root) {
  // GetDriveTypeW wants the root with its backslash; anything else names no root.
  const std::u16string folded = Fold(root);
  if (folded.size() != 2 || folded[1] != u':' || root.size() != 3) return DriveType::kNoRootDir;
  if (folded[0] < u'A' || folded[0] > u'Z') return DriveType::kNoRootDir;
  const auto found = drives_.find(folded[0]);
  return found == drives_.end() ? DriveType::kFixed : found->second;
}

void MemoryFileSystem::SetAttributes(std::u16string_view path, std::uint32_t attributes) {
  if (const std::shared_ptr<File> file = Find(path)) file->attributes = attributes;
}

void MemoryFileSystem::SetReparseTag(std::u16string_view path, std::uint32_t tag) {
  if (const std::shared_ptr<File> file = Find(path)) {
    file->attributes |= file_attribute::kReparsePoint;
    file->reparseTag = tag;
  }
}

void MemoryFileSystem::MakeLink(std::u16string_view path, std::u16string_view target,
                                std::uint32_t tag, bool folder) {
  links_[Fold(path)] = Link{std::u16string(target), tag, folder};
}

void MemoryFileSystem::SetDriveType(char16_t letter, DriveType type) {
  drives_[Fold(std::u16string_view(&letter, 1))[0]] = type;
}

Status MemoryFileSystem::CreateNew(std::u16string_view path, FileHandle& out) {
  if (Exists(path)) return status::kFileExists;
  auto file = std::make_shared<File>();
  file->name = std::u16string(path);
  files_[Fold(path)] = file;
  out = Add(std::move(file), true);
  return status::kSuccess;
}

Status MemoryFileSystem::Write(FileHandle file, const void* data, std::uint32_t size,
                               std::uint32_t& written) {
  written = 0;
  const auto found = open_.find(file);
  if (found == open_.end() || !found->second.writing) return status::kInvalidHandle;
  Open& handle = found->second;
  std::size_t count = size;
  if (spaceLeft_) count = std::min(count, *spaceLeft_);
  std::string& bytes = handle.file->bytes;
  bytes.replace(handle.position, count, static_cast<const char*>(data), count);
  handle.position += count;
  if (spaceLeft_) *spaceLeft_ -= count;
  written = static_cast<std::uint32_t>(count);
  return count == size ? status::kSuccess : status::kDiskFull;
}

Status MemoryFileSystem::Flush(FileHandle file) {
  const auto found = open_.find(file);
  return found == open_.end() || !found->second.writing ? status::kInvalidHandle : status::kSuccess;
}

Status MemoryFileSystem::ProbeReplace(std::u16string_view path) {
  const std::shared_ptr<File> file = Find(path);
  if (!file) return status::kFileNotFound;
  return file->writers > 0 || file->readers > 0 ? status::kSharingViolation : status::kSuccess;
}

Status MemoryFileSystem::Replace(std::u16string_view target, std::u16string_view replacement,
                                 std::u16string_view backup) {
  if (const Status failure = std::exchange(replaceFailure_, status::kSuccess)) {
    if (failure == status::kUnableToMoveReplacement2) {
      if (const Status moved = Move(target, backup, true)) return moved;
    }
    return failure;
  }
  if (const Status probed = ProbeReplace(target)) return probed;
  if (const Status probed = ProbeReplace(replacement)) return probed;
  if (!backup.empty()) {
    if (const Status kept = Move(target, backup, true)) return kept;
  }
  return Move(replacement, target, true);
}

Status MemoryFileSystem::Move(std::u16string_view from, std::u16string_view to,
                              bool replaceExisting) {
  const std::shared_ptr<File> file = Find(from);
  if (!file && Exists(from)) return MoveFolder(from, to);
  if (!file) return status::kFileNotFound;
  if (file->writers > 0 || file->readers > 0) return status::kSharingViolation;
  if (const std::shared_ptr<File> existing = Find(to)) {
    if (!replaceExisting) return status::kAlreadyExists;
    if (existing->writers > 0 || existing->readers > 0) return status::kAccessDenied;
  }
  files_.erase(Fold(from));
  file->name = std::u16string(to);
  files_[Fold(to)] = file;
  return status::kSuccess;
}

Status MemoryFileSystem::Delete(std::u16string_view path) {
  const std::shared_ptr<File> file = Find(path);
  if (!file) return status::kFileNotFound;
  if (file->writers > 0 || file->readers > 0) return status::kSharingViolation;
  files_.erase(Fold(path));
  return status::kSuccess;
}

Status MemoryFileSystem::MoveFolder(std::u16string_view from, std::u16string_view to) {
  if (Exists(to)) return status::kAlreadyExists;
  const std::u16string source = Fold(from);
  const std::u16string prefix = source + u'\\';
  for (const auto& [folded, file] : files_) {
    if (folded.starts_with(prefix) && (file->writers > 0 || file->readers > 0)) {
      return status::kAccessDenied;
    }
  }
  const auto moveUnder = [&](auto& map, auto rename) {
    std::vector<std::u16string> keys;
    for (const auto& entry : map) {
      if (entry.first == source || entry.first.starts_with(prefix)) keys.push_back(entry.first);
    }
    for (const std::u16string& key : keys) {
      auto node = map.extract(key);
      node.key() = Fold(std::u16string(to) + key.substr(source.size()));
      rename(node.mapped(), key.substr(source.size()));
      map.insert(std::move(node));
    }
  };
  // The names inside keep their own spelling, as the system keeps them.
  moveUnder(files_, [&](std::shared_ptr<File>& file, std::u16string_view rest) {
    file->name = std::u16string(to) + file->name.substr(file->name.size() - rest.size());
  });
  moveUnder(folders_, [](bool&, std::u16string_view) {});
  folders_[Fold(to)] = true;
  return status::kSuccess;
}

Status MemoryFileSystem::Copy(std::u16string_view from, std::u16string_view to) {
  const std::shared_ptr<File> file = Find(from);
  if (!file) return status::kFileNotFound;
  if (file->writers > 0) return status::kSharingViolation;
  if (Exists(to)) return status::kFileExists;
  if (spaceLeft_ && *spaceLeft_ < file->bytes.size()) return status::kDiskFull;
  if (spaceLeft_) *spaceLeft_ -= file->bytes.size();
  Put(to, file->bytes);
  return status::kSuccess;
}

Status MemoryFileSystem::CreateFolder(std::u16string_view path) {
  if (Exists(path)) return status::kAlreadyExists;
  folders_[Fold(path)] = true;
  return status::kSuccess;
}

Status MemoryFileSystem::RemoveFolder(std::u16string_view path) {
  const std::u16string folded = Fold(path);
  if (files_.count(folded) != 0) return status::kDirectoryName;
  if (!Exists(path)) return status::kFileNotFound;
  const std::u16string prefix = folded + u'\\';
  const auto inside = [&](const auto& map) {
    const auto after = map.lower_bound(prefix);
    return after != map.end() && after->first.starts_with(prefix);
  };
  if (inside(files_) || inside(folders_)) return status::kDirectoryNotEmpty;
  folders_.erase(folded);
  return status::kSuccess;
}

Status MemoryFileSystem::FilesIn(std::u16string_view folder, std::vector<std::u16string>& names) {
  if (!Exists(folder)) return status::kPathNotFound;
  names = NamesIn(folder);
  return status::kSuccess;
}

void MemoryFileSystem::Put(std::u16string_view path, std::string bytes) {
  std::shared_ptr<File>& file = files_[Fold(path)];
  if (!file) file = std::make_shared<File>();
  file->name = std::u16string(path);
  file->bytes = std::move(bytes);
}

std::optional<std::string> MemoryFileSystem::Get(std::u16string_view path) const {
  const std::shared_ptr<File> file = Find(path);
  if (!file) return std::nullopt;
  return file->bytes;
}

std::vector<std::u16string> MemoryFileSystem::NamesIn(std::u16string_view folder) const {
  const std::u16string prefix = Fold(folder) + u'\\';
  std::vector<std::u16string> names;
  for (const auto& [folded, file] : files_) {
    if (folded.starts_with(prefix) && folded.find(u'\\', prefix.size()) == std::u16string::npos) {
      names.push_back(file->name.substr(prefix.size()));
    }
  }
  return names;
}

void MemoryFileSystem::MakeFolder(std::u16string_view path) { folders_[Fold(path)] = true; }

void MemoryFileSystem::BeginWriting(std::u16string_view path) {
  if (const std::shared_ptr<File> file = Find(path)) ++file->writers;
}

void MemoryFileSystem::EndWriting(std::u16string_view path) {
  if (const std::shared_ptr<File> file = Find(path)) --file->writers;
}

void MemoryFileSystem::BeginReading(std::u16string_view path) {
  if (const std::shared_ptr<File> file = Find(path)) ++file->readers;
}

void MemoryFileSystem::EndReading(std::u16string_view path) {
  if (const std::shared_ptr<File> file = Find(path)) --file->readers;
}

}  // namespace pivora

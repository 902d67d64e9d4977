#include "platform/memory_files.h"

#include <algorithm>
#include <cstring>

namespace pivora {
namespace {

// The file system, unlike the path rules, takes a forward slash as a separator too.
std::u16string Fold(std::u16string_view path) {
  std::u16string folded(path);
  for (char16_t& c : folded) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    if (c == u'/') c = u'\\';
  }
  while (folded.size() > 1 && folded.back() == u'\\') folded.pop_back();
  return folded;
}

}  // namespace

Status MemoryFileSystem::OpenForReading(std::u16string_view path, FileHandle& out) {
  const auto found = files_.find(Fold(path));
  if (found == files_.end()) return status::kFileNotFound;
  if (found->second.writers > 0) return status::kSharingViolation;
  out = nextHandle_;
  nextHandle_ += 4;
  open_[out] = Open{&found->second};
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

void MemoryFileSystem::Close(FileHandle file) { open_.erase(file); }

bool MemoryFileSystem::Exists(std::u16string_view path) {
  const std::u16string folded = Fold(path);
  if (folded.empty()) return false;
  if (files_.count(folded) != 0 || folders_.count(folded) != 0) return true;
  // A folder exists while anything is inside it.
  const std::u16string prefix = folded + u'\\';
  const auto after = files_.lower_bound(prefix);
  return after != files_.end() && after->first.compare(0, prefix.size(), prefix) == 0;
}

void MemoryFileSystem::Put(std::u16string_view path, std::string bytes) {
  files_[Fold(path)].bytes = std::move(bytes);
}

void MemoryFileSystem::MakeFolder(std::u16string_view path) { folders_[Fold(path)] = true; }

void MemoryFileSystem::BeginWriting(std::u16string_view path) { ++files_[Fold(path)].writers; }

void MemoryFileSystem::EndWriting(std::u16string_view path) { --files_[Fold(path)].writers; }

}  // namespace pivora

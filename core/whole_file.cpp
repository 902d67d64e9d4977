#include "core/whole_file.h"

#include <algorithm>
#include <string>

namespace pivora {
namespace {

// How many suffixes are tried before giving up on finding a free name.
constexpr int kNameAttempts = 64;

std::u16string NameBeside(std::u16string_view target, int number) {
  std::u16string name(target);
  name += u".~";
  for (const char c : std::to_string(number)) name.push_back(static_cast<char16_t>(c));
  return name;
}

// A file of our own beside the target, named after it with a short suffix no file had (".~1",
// ".~2", ...): made by the file system itself, so no two callers ever get the same name. It is
// removed when this goes, whatever happened on the way, unless it was kept.
class FileBeside {
 public:
  explicit FileBeside(FileSystem& files) : files_(files), open_(files) {}
  FileBeside(const FileBeside&) = delete;
  FileBeside& operator=(const FileBeside&) = delete;
  ~FileBeside() {
    open_.Reset();
    if (!name_.empty() && !kept_) RemoveFile(files_, name_);
  }

  // Creates the file and leaves it open for writing; false when no name could be had.
  bool Create(std::u16string_view target) {
    for (int number = 1; number <= kNameAttempts; ++number) {
      std::u16string name = NameBeside(target, number);
      const Status created = files_.CreateNew(name, open_.put());
      if (created == status::kSuccess) {
        name_ = std::move(name);
        return true;
      }
      if (created != status::kFileExists && created != status::kAlreadyExists) return false;
    }
    return false;
  }
  FileHandle handle() const { return open_.get(); }
  void Close() { open_.Reset(); }
  const std::u16string& name() const { return name_; }
  // It now holds content that must stay: the new file under the target's name, or the only copy
  // of the old one.
  void Keep() { kept_ = true; }

 private:
  FileSystem& files_;
  OpenFile open_;
  std::u16string name_;
  bool kept_ = false;
};

bool WriteAll(FileSystem& files, FileHandle file, std::string_view bytes) {
  while (!bytes.empty()) {
    const auto chunk = static_cast<std::uint32_t>(std::min<std::size_t>(bytes.size(), 1u << 30));
    std::uint32_t written = 0;
    if (files.Write(file, bytes.data(), chunk, written) != status::kSuccess || written == 0) {
      return false;
    }
    bytes.remove_prefix(written);
  }
  return files.Flush(file) == status::kSuccess;
}

// Puts the replacement in place of an existing target, the old file going to a backup name of
// our own. The codes of the replace say where each content is; see FileSystem::Replace.
bool ReplaceExisting(FileSystem& files, std::u16string_view target, FileBeside& replacement) {
  FileBeside backup(files);
  if (!backup.Create(target)) return false;
  backup.Close();
  const Status replaced = files.Replace(target, replacement.name(), backup.name());
  bool saved = replaced == status::kSuccess;
  if (replaced == status::kUnableToMoveReplacement) {
    // Nothing was renamed: the new content moves in by itself.
    saved = files.Move(replacement.name(), target, true) == status::kSuccess;
  } else if (replaced == status::kUnableToMoveReplacement2 &&
             files.Move(backup.name(), target, false) != status::kSuccess) {
    // The old file went to the backup and could not come back: the backup and the replacement
    // are the only copies of the two contents, and both stay.
    backup.Keep();
    replacement.Keep();
    return false;
  }
  // Saved, the backup holds the replaced content; not saved, the old file is back in place and
  // both files beside it go.
  if (saved) replacement.Keep();
  return saved;
}

}  // namespace

bool WriteFileWhole(FileSystem& files, std::u16string_view path, std::string_view bytes) {
  const bool replacing = files.Exists(path);
  // A target that is held so that it cannot be replaced fails before anything is made beside it.
  if (replacing && files.ProbeReplace(path) != status::kSuccess) return false;
  FileBeside replacement(files);
  if (!replacement.Create(path) || !WriteAll(files, replacement.handle(), bytes)) return false;
  replacement.Close();
  if (replacing) return ReplaceExisting(files, path, replacement);
  if (files.Move(replacement.name(), path, false) != status::kSuccess) return false;
  replacement.Keep();
  return true;
}

}  // namespace pivora

#include "core/whole_file.h"

#include <algorithm>
#include <string>

#include "core/beside.h"

namespace pivora {
namespace {

// A file made open for writing.
class NewFile {
 public:
  explicit NewFile(FileSystem& files) : files_(files), open_(files) {}
  FileHandle handle() const { return open_.get(); }
  void Close() { open_.Reset(); }

 protected:
  Status Make(const std::u16string& name) { return files_.CreateNew(name, open_.put()); }
  void Remove(const std::u16string& name) {
    open_.Reset();
    RemoveFile(files_, name);
  }

 private:
  FileSystem& files_;
  OpenFile open_;
};
using FileBeside = Beside<NewFile>;

Status WriteAll(FileSystem& files, FileHandle file, std::string_view bytes) {
  while (!bytes.empty()) {
    const auto chunk = static_cast<std::uint32_t>(std::min<std::size_t>(bytes.size(), 1u << 30));
    std::uint32_t written = 0;
    if (const Status wrote = files.Write(file, bytes.data(), chunk, written)) return wrote;
    // Nothing written and no code: what a full disk does.
    if (written == 0) return status::kDiskFull;
    bytes.remove_prefix(written);
  }
  return files.Flush(file);
}

// Puts the replacement in place of an existing target, the old file going to a backup name of
// our own: kSuccess once it is there, else the code of the call that failed. The codes of the
// replace say where each content is; see FileSystem::Replace.
Status ReplaceExisting(FileSystem& files, std::u16string_view target, FileBeside& replacement) {
  FileBeside backup(files);
  if (!backup.Create(target)) return backup.failure();
  backup.Close();
  const Status replaced = files.Replace(target, replacement.name(), backup.name());
  Status failure = replaced;
  if (replaced == status::kUnableToMoveReplacement) {
    // Nothing was renamed: the new content moves in by itself.
    if (files.Move(replacement.name(), target, true) == status::kSuccess) {
      failure = status::kSuccess;
    }
  } else if (replaced == status::kUnableToMoveReplacement2 &&
             files.Move(backup.name(), target, false) != status::kSuccess) {
    // The old file went to the backup and could not come back: the backup and the replacement
    // are the only copies of the two contents, and both stay.
    backup.Keep();
    replacement.Keep();
    return replaced;
  }
  // Saved, the backup holds the replaced content; not saved, the old file is back in place and
  // both files beside it go.
  if (failure == status::kSuccess) replacement.Keep();
  return failure;
}

Status WriteWhole(FileSystem& files, std::u16string_view path, std::string_view bytes) {
  const bool replacing = files.Exists(path);
  // A target that is held so that it cannot be replaced fails before anything is made beside it.
  if (replacing) {
    if (const Status probed = files.ProbeReplace(path)) return probed;
  }
  FileBeside replacement(files);
  if (!replacement.Create(path)) return replacement.failure();
  if (const Status wrote = WriteAll(files, replacement.handle(), bytes)) return wrote;
  replacement.Close();
  if (replacing) return ReplaceExisting(files, path, replacement);
  if (const Status moved = files.Move(replacement.name(), path, false)) return moved;
  replacement.Keep();
  return status::kSuccess;
}

}  // namespace

bool WriteFileWhole(FileSystem& files, std::u16string_view path, std::string_view bytes,
                    Status& failure) {
  failure = WriteWhole(files, path, bytes);
  return failure == status::kSuccess;
}

bool WriteFileWhole(FileSystem& files, std::u16string_view path, std::string_view bytes) {
  Status failure = status::kSuccess;
  return WriteFileWhole(files, path, bytes, failure);
}

}  // namespace pivora

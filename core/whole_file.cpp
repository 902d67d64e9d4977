#include "core/whole_file.h"

#include <algorithm>
#include <new>
#include <string>
#include <utility>

#include "platform/path_rules.h"

namespace pivora {
namespace {

// A folder of ours, with the files in it (it holds no folders). A file or the folder that will
// not go stays; the acts a person chose pass a RetryingFileSystem, which waits for a scanner.
void RemoveTree(FileSystem& files, const std::u16string& folder) {
  std::vector<std::u16string> names;
  if (files.FilesIn(folder, names) != status::kSuccess) names.clear();
  for (const std::u16string& name : names) RemoveFile(files, JoinPath(folder, name));
  files.RemoveFolder(folder);
}

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

void NewFolder::Remove(const std::u16string& name) {
  // Clearing up allocates; out of memory, it is tried once more, and should that fail too the
  // folder stays beside the target, named as ours.
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      RemoveTree(files_, name);
      return;
    } catch (const std::bad_alloc&) {
    }
  }
}

Status PutFolderInPlace(FileSystem& files, FolderBeside& staged, const std::u16string& target) {
  if (const Status moved = files.Move(staged.name(), target, false)) return moved;
  staged.Keep();
  return status::kSuccess;
}

Status ReplaceFilesInFolder(FileSystem& files, FolderBeside& staged, const std::u16string& target,
                            const std::vector<std::u16string>& ours,
                            const std::vector<std::u16string>& written) {
  FolderBeside aside(files);
  if (!aside.Create(target)) return aside.failure();
  std::vector<std::pair<std::u16string, std::u16string>> out;  // from the target, aside
  std::vector<std::pair<std::u16string, std::u16string>> in;   // from the staged folder, in
  out.reserve(ours.size());
  in.reserve(written.size());
  for (const std::u16string& name : ours)
    out.emplace_back(JoinPath(target, name), JoinPath(aside.name(), name));
  for (const std::u16string& name : written) {
    in.emplace_back(JoinPath(staged.name(), name), JoinPath(target, name));
  }
  std::size_t movedOut = 0;
  std::size_t movedIn = 0;
  Status failure = status::kSuccess;
  while (movedOut < out.size() && (failure = files.Move(out[movedOut].first, out[movedOut].second,
                                                        false)) == status::kSuccess) {
    ++movedOut;
  }
  if (movedOut == out.size()) {
    while (movedIn < in.size() && (failure = files.Move(in[movedIn].first, in[movedIn].second,
                                                        false)) == status::kSuccess) {
      ++movedIn;
    }
    if (movedIn == in.size()) return status::kSuccess;
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
  return failure;
}

}  // namespace pivora

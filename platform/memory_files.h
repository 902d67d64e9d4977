// An in-memory file system for builds away from Windows. Paths are Windows paths compared
// without regard to ASCII case; a file held open for writing cannot be opened for reading, and a
// file another program holds without sharing deletion can be neither replaced, moved nor
// deleted, as with the sharing rules of CreateFileW. Links are followed as the system follows
// them: the attribute and tag calls see a link itself, opening and every path through a link
// reach its target.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"

namespace pivora {

class MemoryFileSystem final : public FileSystem {
 public:
  Status OpenForReading(std::u16string_view path, FileHandle& out) override;
  Status Size(FileHandle file, std::uint64_t& size) override;
  Status Read(FileHandle file, void* buffer, std::uint32_t size, std::uint32_t& read) override;
  void Close(FileHandle file) override;
  bool Exists(std::u16string_view path) override;
  Status Attributes(std::u16string_view path, std::uint32_t& attributes) override;
  Status ReparseTag(std::u16string_view path, std::uint32_t& tag) override;
  DriveType DriveTypeOf(std::u16string_view root) override;
  Status CreateNew(std::u16string_view path, FileHandle& out) override;
  Status Write(FileHandle file, const void* data, std::uint32_t size,
               std::uint32_t& written) override;
  Status Flush(FileHandle file) override;
  Status ProbeReplace(std::u16string_view path) override;
  Status Replace(std::u16string_view target, std::u16string_view replacement,
                 std::u16string_view backup) override;
  Status Move(std::u16string_view from, std::u16string_view to, bool replaceExisting) override;
  Status Delete(std::u16string_view path) override;
  Status Copy(std::u16string_view from, std::u16string_view to) override;
  Status CreateFolder(std::u16string_view path) override;
  Status RemoveFolder(std::u16string_view path) override;
  Status FilesIn(std::u16string_view folder, std::vector<std::u16string>& names) override;

  void Put(std::u16string_view path, std::string bytes);
  // The file's bytes; nothing when there is no such file.
  std::optional<std::string> Get(std::u16string_view path) const;
  // The names of the files directly in `folder`, as they were created.
  std::vector<std::u16string> NamesIn(std::u16string_view folder) const;
  void MakeFolder(std::u16string_view path);
  // Marks the file as open for writing by someone else until EndWriting.
  void BeginWriting(std::u16string_view path);
  void EndWriting(std::u16string_view path);
  // Marks the file as open for reading by someone else who shares reading only, until
  // EndReading.
  void BeginReading(std::u16string_view path);
  void EndReading(std::u16string_view path);
  // Makes later size queries fail, or reports `size` instead of the real one.
  void FailSizeQueries(bool fail) { failSize_ = fail; }
  void ClaimSize(std::uint64_t size) { claimedSize_ = size; }
  // The next Replace ends with `code` and leaves the files as ReplaceFileW documents for it
  // (a backup being named): kUnableToMoveReplacement2 moves the old file to the backup, every
  // other code changes nothing.
  void FailNextReplace(Status code) { replaceFailure_ = code; }
  // Writes past this many bytes in all fail with kDiskFull.
  void LimitSpace(std::size_t bytes) { spaceLeft_ = bytes; }
  std::size_t OpenHandleCount() const { return open_.size(); }
  // Attributes reports `attributes` for the file at `path` from now on (normal by default).
  void SetAttributes(std::u16string_view path, std::uint32_t attributes);
  // Gives the file at `path` a reparse point with `tag`, such as a cloud placeholder's; its
  // attributes gain kReparsePoint.
  void SetReparseTag(std::u16string_view path, std::uint32_t tag);
  // Makes `path` a link to `target` with `tag` (kSymbolicLink, kMountPoint, ...): a folder's
  // when `folder`, a file's otherwise.
  void MakeLink(std::u16string_view path, std::u16string_view target, std::uint32_t tag,
                bool folder);
  // DriveTypeOf reports `type` for the drive with `letter` (a fixed disk by default).
  void SetDriveType(char16_t letter, DriveType type);

 private:
  struct File {
    std::u16string name;  // as created
    std::string bytes;
    int writers = 0;
    int readers = 0;  // holders that share reading only
    std::uint32_t attributes = file_attribute::kNormal;
    std::uint32_t reparseTag = 0;
  };
  struct Link {
    std::u16string target;
    std::uint32_t tag;
    bool folder;
  };
  struct Open {
    std::shared_ptr<File> file;
    std::size_t position = 0;
    bool writing = false;
    bool holdsDeletion = false;  // opened without sharing deletion
  };

  std::shared_ptr<File> Find(std::u16string_view path) const;
  std::shared_ptr<File> FindFolded(const std::u16string& folded) const;
  bool ExistsFolded(const std::u16string& folded) const;
  // The folded path with the links on its way replaced by their targets, the last name's too
  // when `followLast`; nothing when links lead to links too often.
  std::optional<std::u16string> Resolve(std::u16string_view path, bool followLast) const;
  Status MoveFolder(std::u16string_view from, std::u16string_view to);
  FileHandle Add(std::shared_ptr<File> file, bool writing, bool holdsDeletion = false);

  std::map<std::u16string, std::shared_ptr<File>> files_;  // by folded path
  std::map<std::u16string, bool> folders_;
  std::map<std::u16string, Link> links_;  // by folded path
  std::map<FileHandle, Open> open_;
  std::map<char16_t, DriveType> drives_;  // by upper-case letter
  FileHandle nextHandle_ = 0x40;
  bool failSize_ = false;
  std::uint64_t claimedSize_ = 0;
  Status replaceFailure_ = status::kSuccess;
  std::optional<std::size_t> spaceLeft_;
};

}  // namespace pivora

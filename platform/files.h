// The file seam: reading scheme files, and writing one whole. The Win32 binding is a line per
// call (CreateFileW, GetFileSizeEx, ReadFile, WriteFile, FlushFileBuffers, ReplaceFileW,
// MoveFileExW, DeleteFileW, CloseHandle, GetFileAttributesW, FindFirstFileW, GetDriveTypeW),
// taking paths of any length; natively an in-memory file system with the same sharing rules and
// links.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace pivora {

using FileHandle = std::uintptr_t;

// What GetDriveTypeW reports for a drive's root.
enum class DriveType : std::uint32_t {
  kUnknown = 0,
  kNoRootDir = 1,
  kRemovable = 2,
  kFixed = 3,
  kRemote = 4,
  kCdRom = 5,
  kRamDisk = 6,
};

// The file attributes the seam's callers look at (FILE_ATTRIBUTE_*).
namespace file_attribute {
inline constexpr std::uint32_t kDirectory = 0x10;
inline constexpr std::uint32_t kArchive = 0x20;
inline constexpr std::uint32_t kNormal = 0x80;
inline constexpr std::uint32_t kReparsePoint = 0x400;
inline constexpr std::uint32_t kOffline = 0x1000;
inline constexpr std::uint32_t kRecallOnOpen = 0x40000;
inline constexpr std::uint32_t kRecallOnDataAccess = 0x400000;
}  // namespace file_attribute

// Reparse point tags (IO_REPARSE_TAG_*).
namespace reparse_tag {
inline constexpr std::uint32_t kMountPoint = 0xA0000003;  // a junction or a mounted volume
inline constexpr std::uint32_t kSymbolicLink = 0xA000000C;
// Set in every tag whose reparse point stands for another named entity, as in the two above
// (IsReparseTagNameSurrogate); cloud placeholders' tags lack it.
inline constexpr std::uint32_t kNameSurrogate = 0x20000000;
}  // namespace reparse_tag

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // CreateFileW(GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING,
  // FILE_FLAG_SEQUENTIAL_SCAN): fails while another handle has the file open for writing, and
  // holds back no one who deletes or renames the file meanwhile (what was opened stays readable
  // until it is closed).
  virtual Status OpenForReading(std::u16string_view path, FileHandle& out) = 0;
  virtual Status Size(FileHandle file, std::uint64_t& size) = 0;
  virtual Status Read(FileHandle file, void* buffer, std::uint32_t size, std::uint32_t& read) = 0;
  virtual void Close(FileHandle file) = 0;
  // PathFileExistsW, for paths of any length: a file or a folder of that name exists.
  virtual bool Exists(std::u16string_view path) = 0;
  // GetFileAttributesW, for paths of any length, with no dialog asking for a missing disk. Of a
  // link, the link's own attributes (kReparsePoint set), not its target's.
  virtual Status Attributes(std::u16string_view path, std::uint32_t& attributes) = 0;
  // FindFirstFileW on `path` itself: the entry's reparse tag (WIN32_FIND_DATAW's dwReserved0)
  // when its attributes hold kReparsePoint, 0 otherwise. Read from the listing of its folder:
  // neither the entry nor what it points to is opened. kInvalidName when the last name holds a
  // wildcard ('*', '?', and '<', '>', '"', which the system takes as wildcards too).
  virtual Status ReparseTag(std::u16string_view path, std::uint32_t& tag) = 0;
  // GetDriveTypeW of a drive's root, such as "C:\" with its backslash: the drive's kind,
  // asked without opening any file (on Windows, remembered for two seconds).
  virtual DriveType DriveTypeOf(std::u16string_view root) = 0;

  // CreateFileW(GENERIC_WRITE, no sharing, CREATE_NEW): a new, empty file open for writing;
  // kFileExists when the name is taken.
  virtual Status CreateNew(std::u16string_view path, FileHandle& out) = 0;
  // WriteFile: `written` may fall short of `size` only with a failure.
  virtual Status Write(FileHandle file, const void* data, std::uint32_t size,
                       std::uint32_t& written) = 0;
  // FlushFileBuffers.
  virtual Status Flush(FileHandle file) = 0;
  // Whether `path` could be replaced now: it is opened as ReplaceFileW opens the file it
  // replaces (reading and deleting, sharing all three), then closed at once. A file another
  // program holds without sharing deletion fails with kSharingViolation.
  virtual Status ProbeReplace(std::u16string_view path) = 0;
  // ReplaceFileW(target, replacement, backup, REPLACEFILE_IGNORE_MERGE_ERRORS). Besides the
  // usual codes, kUnableToRemoveReplaced (nothing moved), kUnableToMoveReplacement (with a
  // backup named: nothing renamed) and kUnableToMoveReplacement2 (the old file is the backup,
  // the new one is still the replacement).
  virtual Status Replace(std::u16string_view target, std::u16string_view replacement,
                         std::u16string_view backup) = 0;
  // MoveFileExW(from, to, MOVEFILE_WRITE_THROUGH, and MOVEFILE_REPLACE_EXISTING if asked); a
  // folder moves whole within its volume.
  virtual Status Move(std::u16string_view from, std::u16string_view to, bool replaceExisting) = 0;
  // DeleteFileW.
  virtual Status Delete(std::u16string_view path) = 0;
  // CopyFileW(from, to, fail if `to` exists).
  virtual Status Copy(std::u16string_view from, std::u16string_view to) = 0;
  // CreateDirectoryW: kAlreadyExists when the name is taken.
  virtual Status CreateFolder(std::u16string_view path) = 0;
  // RemoveDirectoryW: an empty folder.
  virtual Status RemoveFolder(std::u16string_view path) = 0;
  // FindFirstFileW/FindNextFileW: the names of the files (not folders) directly in `folder`.
  virtual Status FilesIn(std::u16string_view folder, std::vector<std::u16string>& names) = 0;
};

// Deletes a file of ours: kSuccess once it is gone, whether or not it was there. A file a scanner
// holds for a moment is tried again only through a RetryingFileSystem.
Status RemoveFile(FileSystem& files, std::u16string_view path);

// The whole file, or nothing: a file larger than `maxBytes`, whose size cannot be had or that
// reads short gives nothing.
std::optional<std::string> ReadWholeFile(FileSystem& files, std::u16string_view path,
                                         std::uint64_t maxBytes);

// Owns one open file of a FileSystem.
class OpenFile {
 public:
  explicit OpenFile(FileSystem& files) : files_(&files) {}
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  ~OpenFile() { Reset(); }

  FileHandle get() const { return handle_; }
  FileHandle& put() {
    Reset();
    return handle_;
  }
  void Reset() {
    if (handle_ != 0) files_->Close(handle_);
    handle_ = 0;
  }

 private:
  FileSystem* files_;
  FileHandle handle_ = 0;
};

}  // namespace pivora

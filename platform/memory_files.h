// An in-memory file system for builds away from Windows. Paths are Windows paths compared
// without regard to ASCII case; a file held open for writing cannot be opened for reading, as
// with the sharing rules of CreateFileW.
#pragma once

#include <map>
#include <string>

#include "platform/files.h"

namespace pivora {

class MemoryFileSystem final : public FileSystem {
 public:
  Status OpenForReading(std::u16string_view path, FileHandle& out) override;
  Status Size(FileHandle file, std::uint64_t& size) override;
  Status Read(FileHandle file, void* buffer, std::uint32_t size, std::uint32_t& read) override;
  void Close(FileHandle file) override;
  bool Exists(std::u16string_view path) override;

  void Put(std::u16string_view path, std::string bytes);
  void MakeFolder(std::u16string_view path);
  // Marks the file as open for writing by someone else until EndWriting.
  void BeginWriting(std::u16string_view path);
  void EndWriting(std::u16string_view path);
  // Makes later size queries fail, or reports `size` instead of the real one.
  void FailSizeQueries(bool fail) { failSize_ = fail; }
  void ClaimSize(std::uint64_t size) { claimedSize_ = size; }
  std::size_t OpenHandleCount() const { return open_.size(); }

 private:
  struct File {
    std::string bytes;
    int writers = 0;
  };
  struct Open {
    const File* file;
    std::size_t position = 0;
  };

  std::map<std::u16string, File> files_;  // by folded path
  std::map<std::u16string, bool> folders_;
  std::map<FileHandle, Open> open_;
  FileHandle nextHandle_ = 0x40;
  bool failSize_ = false;
  std::uint64_t claimedSize_ = 0;
};

}  // namespace pivora

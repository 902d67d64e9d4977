// The file seam: reading scheme files. The Win32 binding is CreateFileW / GetFileSizeEx /
// ReadFile / CloseHandle; natively an in-memory file system with the same sharing rules.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/status.h"

namespace pivora {

using FileHandle = std::uintptr_t;

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // CreateFileW(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN): fails
  // while another handle has the file open for writing.
  virtual Status OpenForReading(std::u16string_view path, FileHandle& out) = 0;
  virtual Status Size(FileHandle file, std::uint64_t& size) = 0;
  virtual Status Read(FileHandle file, void* buffer, std::uint32_t size, std::uint32_t& read) = 0;
  virtual void Close(FileHandle file) = 0;
  // PathFileExistsW, for paths of any length: a file or a folder of that name exists.
  virtual bool Exists(std::u16string_view path) = 0;
};

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

// One retry policy for the file calls of an act a person chose (saving a scheme, installing or
// uninstalling a pack, applying one): antivirus scanners, the indexer and cloud sync open a new
// or changed file for a moment, and a call that meets them fails with a sharing violation, a
// lock violation or access denied. Such a call is tried again after a short pause, a bounded
// number of times. Menu decisions and thumbnails never use this: they must not wait.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace pivora {

// Waits before a call is tried again; tests and fault walks pass one that returns at once.
class RetryPause {
 public:
  virtual ~RetryPause() = default;
  virtual void Wait(std::uint32_t milliseconds) = 0;
};

// Sleeps the calling thread.
RetryPause& SleepingPause();

// The pauses before the second, third and fourth attempt of one call. A scanner lets go of a
// file it just opened within a few tens of milliseconds; the longest wait, 150 ms for one call,
// is still shorter than a menu takes to close.
inline constexpr std::uint32_t kRetryPausesMs[] = {10, 40, 100};
// All the pausing one act may do: 300 ms, which a person who clicked a menu item does not
// notice. A file that stays held (or read-only, for which access denied never clears) costs one
// call's pauses; once the act has paused this long, every call is tried once.
inline constexpr std::uint32_t kRetryBudgetMs = 300;

// A FileSystem that passes every call on and tries again, as above, those that change or open
// a named file and failed transiently. Made for one act: the pausing budget is its own.
class RetryingFileSystem final : public FileSystem {
 public:
  explicit RetryingFileSystem(FileSystem& inner, RetryPause& pause = SleepingPause())
      : inner_(inner), pause_(pause) {}

  // Opening for reading, probing, creating and listing change nothing when they fail: tried
  // again.
  Status OpenForReading(std::u16string_view path, FileHandle& out) override;
  Status ProbeReplace(std::u16string_view path) override;
  Status CreateNew(std::u16string_view path, FileHandle& out) override;
  Status CreateFolder(std::u16string_view path) override;
  Status FilesIn(std::u16string_view folder, std::vector<std::u16string>& names) override;
  // ReplaceFileW: see the definition for which of its codes say that nothing moved.
  Status Replace(std::u16string_view target, std::u16string_view replacement,
                 std::u16string_view backup) override;
  // MoveFileExW without MOVEFILE_COPY_ALLOWED is a rename: it happened whole or not at all.
  Status Move(std::u16string_view from, std::u16string_view to, bool replaceExisting) override;
  // DeleteFileW either removed the name or did not.
  Status Delete(std::u16string_view path) override;
  // CopyFileW failing if the target exists: another attempt can never overwrite anything.
  Status Copy(std::u16string_view from, std::u16string_view to) override;
  Status RemoveFolder(std::u16string_view path) override;

  // Calls on an open handle are never tried again: a write that failed may have written part,
  // and no sharing check happens after the open. Queries make no sharing check at all.
  Status Size(FileHandle file, std::uint64_t& size) override { return inner_.Size(file, size); }
  Status Read(FileHandle file, void* buffer, std::uint32_t size, std::uint32_t& read) override {
    return inner_.Read(file, buffer, size, read);
  }
  void Close(FileHandle file) override { inner_.Close(file); }
  bool Exists(std::u16string_view path) override { return inner_.Exists(path); }
  Status Attributes(std::u16string_view path, std::uint32_t& attributes) override {
    return inner_.Attributes(path, attributes);
  }
  Status ReparseTag(std::u16string_view path, std::uint32_t& tag) override {
    return inner_.ReparseTag(path, tag);
  }
  DriveType DriveTypeOf(std::u16string_view root) override { return inner_.DriveTypeOf(root); }
  Status Write(FileHandle file, const void* data, std::uint32_t size,
               std::uint32_t& written) override {
    return inner_.Write(file, data, size, written);
  }
  Status Flush(FileHandle file) override { return inner_.Flush(file); }

 private:
  template <typename Call>
  Status Retried(Call call, Status alsoTransient = status::kSuccess);

  FileSystem& inner_;
  RetryPause& pause_;
  std::uint32_t paused_ = 0;
};

}  // namespace pivora

#include "platform/retrying_files.h"

#include <chrono>
#include <thread>

namespace pivora {
namespace {

class Sleeping final : public RetryPause {
 public:
  void Wait(std::uint32_t milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
};

// What a scanner, the indexer or a sync client holding the file for a moment gives. Access
// denied is among them because a file deleted while another handle has it open stays "delete
// pending" until that handle closes, and every open of it meanwhile is denied; it also comes for
// a read-only file, where trying again is pointless but bounded.
bool IsTransient(Status code) {
  return code == status::kSharingViolation || code == status::kLockViolation ||
         code == status::kAccessDenied;
}

}  // namespace

RetryPause& SleepingPause() {
  static Sleeping pause;
  return pause;
}

template <typename Call>
Status RetryingFileSystem::Retried(Call call, Status alsoTransient) {
  Status result = call();
  for (const std::uint32_t wait : kRetryPausesMs) {
    if (result == status::kSuccess) break;
    if (!IsTransient(result) && (alsoTransient == status::kSuccess || result != alsoTransient)) {
      break;
    }
    if (paused_ + wait > kRetryBudgetMs) break;
    paused_ += wait;
    pause_.Wait(wait);
    result = call();
  }
  return result;
}

Status RetryingFileSystem::OpenForReading(std::u16string_view path, FileHandle& out) {
  return Retried([&] { return inner_.OpenForReading(path, out); });
}

Status RetryingFileSystem::ProbeReplace(std::u16string_view path) {
  return Retried([&] { return inner_.ProbeReplace(path); });
}

Status RetryingFileSystem::CreateNew(std::u16string_view path, FileHandle& out) {
  // A name taken (kFileExists) is no transient failure: the caller picks another.
  return Retried([&] { return inner_.CreateNew(path, out); });
}

Status RetryingFileSystem::CreateFolder(std::u16string_view path) {
  return Retried([&] { return inner_.CreateFolder(path); });
}

Status RetryingFileSystem::FilesIn(std::u16string_view folder, std::vector<std::u16string>& names) {
  return Retried([&] {
    names.clear();
    return inner_.FilesIn(folder, names);
  });
}

Status RetryingFileSystem::Replace(std::u16string_view target, std::u16string_view replacement,
                                   std::u16string_view backup) {
  // ReplaceFileW's documentation: with ERROR_UNABLE_TO_REMOVE_REPLACED, and with any code but
  // its two ERROR_UNABLE_TO_MOVE_REPLACEMENT ones, "the replaced and replacement files retain
  // their original file names": nothing moved, and the same call can be made again (the
  // replaced file held without sharing deletion gives the first). The two MOVE_REPLACEMENT codes
  // say the replaced file's streams or name already changed: never tried again, the caller
  // mends what they describe.
  return Retried([&] { return inner_.Replace(target, replacement, backup); },
                 status::kUnableToRemoveReplaced);
}

Status RetryingFileSystem::Move(std::u16string_view from, std::u16string_view to,
                                bool replaceExisting) {
  return Retried([&] { return inner_.Move(from, to, replaceExisting); });
}

Status RetryingFileSystem::Delete(std::u16string_view path) {
  return Retried([&] { return inner_.Delete(path); });
}

Status RetryingFileSystem::Copy(std::u16string_view from, std::u16string_view to) {
  return Retried([&] { return inner_.Copy(from, to); });
}

Status RetryingFileSystem::RemoveFolder(std::u16string_view path) {
  // A folder whose last file was just deleted while a scanner still had it open is not empty
  // until the scanner lets go: the name stays, delete pending, for that moment.
  return Retried([&] { return inner_.RemoveFolder(path); }, status::kDirectoryNotEmpty);
}

}  // namespace pivora

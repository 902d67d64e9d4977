#include "platform/files.h"

#include <chrono>
#include <thread>

namespace pivora {

void PauseBeforeRetry(int attempt) {
  // 10 ms, then 40 ms: long enough for a scanner to let go of a file it just opened, short
  // enough that nobody waits on it.
  std::this_thread::sleep_for(std::chrono::milliseconds(attempt == 0 ? 10 : 40));
}

void RemoveFile(FileSystem& files, std::u16string_view path) {
  for (int attempt = 0; attempt < kRemoveAttempts; ++attempt) {
    if (attempt > 0) PauseBeforeRetry(attempt - 1);
    const Status deleted = files.Delete(path);
    if (deleted == status::kSuccess || deleted == status::kFileNotFound) return;
  }
}

std::optional<std::string> ReadWholeFile(FileSystem& files, std::u16string_view path,
                                         std::uint64_t maxBytes) {
  OpenFile file(files);
  if (files.OpenForReading(path, file.put()) != status::kSuccess) return std::nullopt;
  std::uint64_t size = 0;
  if (files.Size(file.get(), size) != status::kSuccess || size > maxBytes) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(size), '\0');
  std::uint32_t read = 0;
  if (size != 0 && (files.Read(file.get(), bytes.data(), static_cast<std::uint32_t>(size), read) !=
                        status::kSuccess ||
                    read != size)) {
    return std::nullopt;
  }
  return bytes;
}

}  // namespace pivora

#include "platform/files.h"

namespace pivora {

Status RemoveFile(FileSystem& files, std::u16string_view path) {
  const Status deleted = files.Delete(path);
  return deleted == status::kFileNotFound ? status::kSuccess : deleted;
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

// A folder of a test's own in the system's temporary folder, named after what it is for and the
// process (two runs never share one): made with this, and removed with everything in it when
// this goes.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace pivora {

class ScratchFolder {
 public:
  explicit ScratchFolder(const std::wstring& purpose)
      : path_(std::filesystem::temp_directory_path() /
              (L"pivora-" + purpose + L"-" + std::to_wstring(ProcessId()))) {
    std::error_code ignored;
    std::filesystem::create_directories(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

  const std::filesystem::path& path() const { return path_; }

 private:
  static unsigned long ProcessId() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
  }

  std::filesystem::path path_;
};

}  // namespace pivora

#include <windows.h>

#include <shlwapi.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "platform/platform_win32.h"
#include "tests/support/test_platform.h"

namespace pivora::testing {
namespace {

std::u16string FromWide(const std::wstring& wide) {
  return std::u16string(reinterpret_cast<const char16_t*>(wide.data()), wide.size());
}

std::filesystem::path FsPath(std::u16string_view path) {
  return std::filesystem::path(LongPathForm(path));
}

// Deletes a folder and everything in it, at any depth, without following links: the tests make
// paths longer than the C++ library's folder walk reaches here.
void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        // A link goes, not what it leads to (under Wine, a link to a folder is removed as a
        // file).
        if (!RemoveDirectoryW(path.c_str())) DeleteFileW(path.c_str());
      } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

// The real registry, with HKEY_CURRENT_USER pointing at a scratch key of its own while the
// host lives, so tests neither see nor disturb the prefix's own pointer settings. The account
// it gives has an empty "Control Panel" key, like a native test's.
class Win32TestHost final : public TestHost {
 public:
  Win32TestHost() {
    static int counter = 0;
    const std::wstring id =
        std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
    scratchKeyName_ = L"Software\\PivoraTests\\" + id;
    // Wine reuses process ids: what an earlier run of the same id left goes first.
    SHDeleteKeyW(HKEY_CURRENT_USER, scratchKeyName_.c_str());
    if (RegCreateKeyW(HKEY_CURRENT_USER, scratchKeyName_.c_str(), &scratchKey_) != ERROR_SUCCESS ||
        RegOverridePredefKey(HKEY_CURRENT_USER, scratchKey_) != ERROR_SUCCESS) {
      throw std::runtime_error("cannot redirect HKEY_CURRENT_USER");
    }
    HKEY controlPanel = nullptr;
    RegCreateKeyW(HKEY_CURRENT_USER, L"Control Panel", &controlPanel);
    RegCloseKey(controlPanel);

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"pivora-" + id;
    RemoveTree(LongPathForm(FromWide(folder)));
    CreateDirectoryW(folder.c_str(), nullptr);
    folder_ = FromWide(folder);
    SetEnvironmentVariableW(L"PIVORA_SCRATCH", folder.c_str());
    // The user's own folder of programs' data, inside the scratch folder.
    const std::wstring local = folder + L"\\Local";
    CreateDirectoryW(local.c_str(), nullptr);
    GetEnvironmentVariableW(L"LOCALAPPDATA", savedLocalAppData_, MAX_PATH);
    SetEnvironmentVariableW(L"LOCALAPPDATA", local.c_str());
  }

  ~Win32TestHost() override {
    SetEnvironmentVariableW(L"LOCALAPPDATA",
                            savedLocalAppData_[0] != L'\0' ? savedLocalAppData_ : nullptr);
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(scratchKey_);
    SHDeleteKeyW(HKEY_CURRENT_USER, scratchKeyName_.c_str());
    RemoveTree(LongPathForm(folder_));
  }

  Registry& registry() override { return registry_; }
  FileSystem& files() override { return files_; }
  const PathRules& paths() override { return paths_; }
  std::u16string folder() override { return folder_; }

  void WriteFile(std::u16string_view path, std::string_view bytes) override {
    const std::filesystem::path target = FsPath(path);
    std::filesystem::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write test file");
  }

  void MakeFolder(std::u16string_view path) override {
    std::filesystem::create_directories(FsPath(path));
  }

  std::shared_ptr<void> HoldOpenForWriting(std::u16string_view path) override {
    const HANDLE file =
        CreateFileW(LongPathForm(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot hold test file open");
    return std::shared_ptr<void>(file, [](void* handle) { CloseHandle(handle); });
  }

  std::shared_ptr<void> HoldOpenForReading(std::u16string_view path) override {
    const HANDLE file = CreateFileW(LongPathForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot hold test file open");
    return std::shared_ptr<void>(file, [](void* handle) { CloseHandle(handle); });
  }

  std::optional<std::string> ReadFile(std::u16string_view path) override {
    std::ifstream in(FsPath(path), std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::vector<std::u16string> FileNames() override {
    std::vector<std::u16string> names;
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((LongPathForm(folder_) + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        names.push_back(FromWide(found.cFileName));
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::wstring scratchKeyName_;
  HKEY scratchKey_ = nullptr;
  std::u16string folder_;
  wchar_t savedLocalAppData_[MAX_PATH] = {};
  Win32Registry registry_;
  Win32FileSystem files_;
  Win32PathRules paths_;
};

}  // namespace

std::unique_ptr<TestHost> MakeTestHost() { return std::make_unique<Win32TestHost>(); }

unsigned ThreadAnsiCodePage() {
  DWORD page = 0;
  GetLocaleInfoW(GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                 reinterpret_cast<LPWSTR>(&page), sizeof(page) / sizeof(wchar_t));
  return page;
}

}  // namespace pivora::testing

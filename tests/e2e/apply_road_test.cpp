// The apply verb as the shell runs it: rundll32 loads Pivora.dll and calls its entry with the
// scheme's path. These tests use the prefix's real HKEY_CURRENT_USER (rundll32 is another
// process) and put back what they found.
#include <windows.h>

#include <shlwapi.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/registry_tree.h"
#include "tools/installed_library.h"
#include "tools/pointer_files.h"
#include "tools/scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using pivora::testing::BuiltLibraryPath;
using pivora::testing::RunToEnd;
using pivora::testing::StoredRoles;

constexpr wchar_t kCursorsKey[] = L"Control Panel\\Cursors";

using ApplyEntry = void(CALLBACK*)(HWND, HINSTANCE, char*, int);
using ApplyEntryW = void(CALLBACK*)(HWND, HINSTANCE, wchar_t*, int);

class ApplyRoadTest : public ::testing::Test {
 protected:
  void SetUp() override { SHDeleteKeyW(HKEY_CURRENT_USER, kCursorsKey); }

  // Writes the sample pointers into a Pointers folder beside `folder` and a scheme naming each
  // of them relatively as `folder`\Blue.crs; returns the scheme's path. Folders and the scheme
  // are made with the wide calls: under a Czech locale Wine's C runtime cannot make a folder
  // whose name has a letter outside ASCII, which `folder`'s may have.
  fs::path WriteSchemeWithPointers(const fs::path& folder) {
    CreateDirectoryW(root_.c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    const auto report = pivora::pointer_files::WriteSamplePointers(root_ / L"Pointers");
    EXPECT_TRUE(report.ok()) << report.error;
    std::string text = "\xEF\xBB\xBF";
    for (const auto& sample : pivora::pointer_files::SamplePointers()) {
      text += "[" + sample.value_name + "]\r\nPath=..\\Pointers\\" + sample.file_name + "\r\n\r\n";
    }
    text.push_back('\0');
    const fs::path scheme = folder / L"Blue.crs";
    const HANDLE file = CreateFileW(scheme.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    EXPECT_EQ(written, text.size());
    return scheme;
  }

  std::map<std::wstring, std::wstring> ExpectedRoles() {
    std::map<std::wstring, std::wstring> roles;
    for (const auto& sample : pivora::pointer_files::SamplePointers()) {
      roles[std::wstring(sample.value_name.begin(), sample.value_name.end())] =
          (root_ / L"Pointers" / std::wstring(sample.file_name.begin(), sample.file_name.end()))
              .wstring();
    }
    return roles;
  }

  pivora::testing::RegistrySnapshot saved_{HKEY_CURRENT_USER, {kCursorsKey}};
  pivora::ScratchFolder scratch_{L"e2e"};
  const fs::path& root_ = scratch_.path();
};

TEST_F(ApplyRoadTest, RundllAppliesEveryRoleOfASchemeFile) {
  const fs::path folder = root_ / L"Schemes";
  const fs::path scheme = WriteSchemeWithPointers(folder);
  ASSERT_EQ(RunToEnd(L"rundll32.exe " + BuiltLibraryPath() + L",ApplySet " + scheme.wstring()), 0u);
  EXPECT_EQ(StoredRoles(), ExpectedRoles());
}

TEST_F(ApplyRoadTest, RundllTakesAPathWithBlanks) {
  // Wine's rundll32 hands over such an argument wrapped in double quotes.
  const fs::path folder = root_ / L"My Pointer Schemes";
  const fs::path scheme = WriteSchemeWithPointers(folder);
  ASSERT_EQ(
      RunToEnd(L"rundll32.exe " + BuiltLibraryPath() + L",ApplySet \"" + scheme.wstring() + L"\""),
      0u);
  EXPECT_EQ(StoredRoles(), ExpectedRoles());
}

TEST_F(ApplyRoadTest, AnsiAndWideEntriesAgree) {
  HMODULE library = LoadLibraryW(BuiltLibraryPath().c_str());
  ASSERT_NE(library, nullptr);
  const auto applyAnsi =
      reinterpret_cast<ApplyEntry>(reinterpret_cast<void*>(GetProcAddress(library, "ApplySet")));
  const auto applyWide =
      reinterpret_cast<ApplyEntryW>(reinterpret_cast<void*>(GetProcAddress(library, "ApplySetW")));
  ASSERT_NE(applyAnsi, nullptr);
  ASSERT_NE(applyWide, nullptr);

  // Wine keeps file names in the Unix locale's character set; the Czech run's locale is not
  // installed here, so it has no letter outside ASCII to keep.
  CreateDirectoryW(root_.c_str(), nullptr);
  if (!CreateDirectoryW((root_ / L"Sch\u00e9mas-probe").c_str(), nullptr)) {
    GTEST_SKIP() << "this prefix cannot hold file names outside ASCII";
  }
  // A short path and one past the 127 characters converted on the stack, each with a letter
  // outside ASCII that the ANSI code page has.
  for (const std::wstring& leaf :
       {std::wstring(L"Sch\u00e9mas"), L"Sch\u00e9mas-" + std::wstring(140, L'x')}) {
    const fs::path folder = root_ / leaf;
    const fs::path scheme = WriteSchemeWithPointers(folder);
    const std::wstring wide = scheme.wstring();
    char ansi[1024] = {};
    BOOL lossy = FALSE;
    ASSERT_GT(WideCharToMultiByte(CP_THREAD_ACP, 0, wide.c_str(), -1, ansi, sizeof(ansi), nullptr,
                                  &lossy),
              0);
    ASSERT_FALSE(lossy);
    ASSERT_EQ(wide.size() > 127, leaf.size() > 100);

    SHDeleteKeyW(HKEY_CURRENT_USER, kCursorsKey);
    applyAnsi(nullptr, nullptr, ansi, SW_SHOWNORMAL);
    const auto fromAnsi = StoredRoles();
    SHDeleteKeyW(HKEY_CURRENT_USER, kCursorsKey);
    std::wstring line = wide;
    applyWide(nullptr, nullptr, line.data(), SW_SHOWNORMAL);
    EXPECT_EQ(fromAnsi, StoredRoles());
    EXPECT_EQ(fromAnsi, ExpectedRoles());
  }
  applyAnsi(nullptr, nullptr, nullptr, SW_SHOWNORMAL);  // a null line is no crash
  applyWide(nullptr, nullptr, nullptr, SW_SHOWNORMAL);
  FreeLibrary(library);
}

}  // namespace

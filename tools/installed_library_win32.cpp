#include "tools/installed_library.h"

#include <filesystem>

#include "tools/pointer_files.h"

namespace pivora::testing {

namespace fs = std::filesystem;

namespace {

constexpr wchar_t kCursorsKey[] = L"Control Panel\\Cursors";

}  // namespace

std::wstring StoredPointer(const std::wstring& valueName) {
  wchar_t buffer[1024] = {};
  DWORD size = sizeof(buffer) - sizeof(wchar_t);
  DWORD type = 0;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kCursorsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return L"<no key>";
  }
  const LONG result = RegQueryValueExW(key, valueName.c_str(), nullptr, &type,
                                       reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return L"<absent>";
  return type == REG_EXPAND_SZ ? buffer : L"<not REG_EXPAND_SZ>";
}

void ClearPointerSettings() {
  RegDeleteTreeW(HKEY_CURRENT_USER, kCursorsKey);
  HKEY key = nullptr;
  RegCreateKeyW(HKEY_CURRENT_USER, kCursorsKey, &key);
  RegCloseKey(key);
}

std::wstring BuiltLibraryPath() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return fs::weakly_canonical(fs::path(self).parent_path() / L".." / L"Pivora.dll").wstring();
}

DWORD RunToEnd(std::wstring commandLine) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return 0xFFFFFFFF;
  }
  DWORD code = 0xFFFFFFFF;
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &code);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code;
}

DWORD Regsvr32(bool unregister) {
  return RunToEnd(std::wstring(L"regsvr32.exe /s ") + (unregister ? L"/u " : L"") + L"\"" +
                  BuiltLibraryPath() + L"\"");
}

std::map<std::wstring, std::wstring> StoredRoles() {
  std::map<std::wstring, std::wstring> roles;
  for (const auto& sample : pointer_files::SamplePointers()) {
    const std::wstring name(sample.value_name.begin(), sample.value_name.end());
    roles[name] = StoredPointer(name);
  }
  return roles;
}

}  // namespace pivora::testing

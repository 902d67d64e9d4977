#include <shlwapi.h>
#include <windows.h>

#include <array>
#include <atomic>
#include <cstdint>

#include "platform/platform_win32.h"
#include "platform/unique_handle_win32.h"

namespace pivora {
namespace {

HKEY Key(KeyHandle handle) { return reinterpret_cast<HKEY>(handle); }

KeyHandle Handle(HKEY key) { return reinterpret_cast<KeyHandle>(key); }

HANDLE File(FileHandle handle) { return reinterpret_cast<HANDLE>(handle); }

struct FindTraits : Win32Traits {
  using type = HANDLE;
  static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
  static void close(HANDLE search) { FindClose(search); }
};
using UniqueFind = UniqueHandle<FindTraits>;

bool IsRootKey(KeyHandle handle) {
  return handle >= root_key::kClassesRoot && handle <= root_key::kDynData;
}

// A failed call's code; never success, even when the call left no error behind.
Status LastErrorOr(Status error) { return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE; }

Status LastError() { return LastErrorOr(static_cast<Status>(GetLastError())); }

}  // namespace

HRESULT LastErrorResult() {
  const DWORD error = GetLastError();
  return error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

std::wstring WideString(std::u16string_view text) {
  std::wstring wide(AsWide(text.data()), text.size());
  // The callee sees a terminated string: it ends at the first zero unit either way.
  return wide;
}

std::wstring LongPathForm(std::u16string_view path) {
  std::wstring wide = WideString(path);
  if (wide.size() < MAX_PATH || wide.starts_with(L"\\\\?\\")) return wide;
  if (wide.size() >= 3 && wide[1] == L':' && wide[2] == L'\\') return L"\\\\?\\" + wide;
  if (wide.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + wide.substr(2);
  return wide;
}

Status Win32Registry::Open(KeyHandle parent, std::u16string_view subKey, std::uint32_t access,
                           KeyHandle& out) {
  HKEY key = nullptr;
  const Status result = RegOpenKeyExW(Key(parent), WideString(subKey).c_str(), 0, access, &key);
  if (result == ERROR_SUCCESS) out = Handle(key);
  return result;
}

Status Win32Registry::Create(KeyHandle parent, std::u16string_view subKey, std::uint32_t access,
                             KeyHandle& out) {
  HKEY key = nullptr;
  const Status result = RegCreateKeyExW(Key(parent), WideString(subKey).c_str(), 0, nullptr,
                                        REG_OPTION_NON_VOLATILE, access, nullptr, &key, nullptr);
  if (result == ERROR_SUCCESS) out = Handle(key);
  return result;
}

Status Win32Registry::QueryValue(KeyHandle key, std::u16string_view name, std::uint32_t* type,
                                 void* data, std::uint32_t& byteCount) {
  DWORD valueType = 0;
  DWORD size = byteCount;
  const Status result = RegQueryValueExW(Key(key), WideString(name).c_str(), nullptr, &valueType,
                                         static_cast<BYTE*>(data), &size);
  if (type != nullptr) *type = valueType;
  byteCount = size;
  return result;
}

Status Win32Registry::SetValue(KeyHandle key, std::u16string_view name, std::uint32_t type,
                               const void* data, std::uint32_t byteCount) {
  return RegSetValueExW(Key(key), WideString(name).c_str(), 0, type, static_cast<const BYTE*>(data),
                        byteCount);
}

Status Win32Registry::DeleteValue(KeyHandle key, std::u16string_view name) {
  return RegDeleteValueW(Key(key), WideString(name).c_str());
}

Status Win32Registry::DeleteKey(KeyHandle parent, std::u16string_view subKey) {
  return RegDeleteKeyW(Key(parent), WideString(subKey).c_str());
}

Status Win32Registry::DeleteTree(KeyHandle parent, std::u16string_view subKey) {
  return static_cast<Status>(SHDeleteKeyW(Key(parent), WideString(subKey).c_str()));
}

Status Win32Registry::EnumKey(KeyHandle key, std::uint32_t index, std::u16string& name) {
  // Key names are at most 255 units.
  wchar_t buffer[256];
  DWORD size = 256;
  const Status result =
      RegEnumKeyExW(Key(key), index, buffer, &size, nullptr, nullptr, nullptr, nullptr);
  if (result == ERROR_SUCCESS) name.assign(AsUtf16(buffer), size);
  return result;
}

Status Win32Registry::QuerySubKeyCount(KeyHandle key, std::uint32_t& count) {
  DWORD subKeys = 0;
  const Status result = RegQueryInfoKeyW(Key(key), nullptr, nullptr, nullptr, &subKeys, nullptr,
                                         nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  if (result == ERROR_SUCCESS) count = subKeys;
  return result;
}

Status Win32Registry::QueryValueCount(KeyHandle key, std::uint32_t& count) {
  DWORD values = 0;
  const Status result = RegQueryInfoKeyW(Key(key), nullptr, nullptr, nullptr, nullptr, nullptr,
                                         nullptr, &values, nullptr, nullptr, nullptr, nullptr);
  if (result == ERROR_SUCCESS) count = values;
  return result;
}

void Win32Registry::Close(KeyHandle key) {
  if (!IsRootKey(key)) RegCloseKey(Key(key));
}

Status Win32FileSystem::OpenForReading(std::u16string_view path, FileHandle& out) {
  // Sharing deletion too: a pack's reinstall or uninstall deletes and renames pointer files
  // that a folder's thumbnails may be reading at that moment, and a reader has no reason to
  // stop them (on Windows the data opened stays readable through the handle).
  const HANDLE file =
      CreateFileW(LongPathForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastError();
  out = reinterpret_cast<FileHandle>(file);
  return status::kSuccess;
}

Status Win32FileSystem::Size(FileHandle file, std::uint64_t& size) {
  LARGE_INTEGER length{};
  if (!GetFileSizeEx(File(file), &length)) return LastError();
  size = static_cast<std::uint64_t>(length.QuadPart);
  return status::kSuccess;
}

Status Win32FileSystem::Read(FileHandle file, void* buffer, std::uint32_t size,
                             std::uint32_t& read) {
  DWORD got = 0;
  if (!ReadFile(File(file), buffer, size, &got, nullptr)) return LastError();
  read = got;
  return status::kSuccess;
}

void Win32FileSystem::Close(FileHandle file) { CloseHandle(File(file)); }

bool Win32FileSystem::Exists(std::u16string_view path) {
  // What PathFileExistsW does, without loading shlwapi.
  std::uint32_t attributes = 0;
  return Attributes(path, attributes) == status::kSuccess;
}

Status Win32FileSystem::Attributes(std::u16string_view path, std::uint32_t& attributes) {
  // No dialog asking for a missing disk.
  DWORD previousMode = 0;
  const bool quiet = SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previousMode) != FALSE;
  const DWORD found = GetFileAttributesW(LongPathForm(path).c_str());
  const Status result = found == INVALID_FILE_ATTRIBUTES ? LastError() : status::kSuccess;
  if (quiet) SetThreadErrorMode(previousMode, nullptr);
  if (result == status::kSuccess) attributes = found;
  return result;
}

Status Win32FileSystem::ReparseTag(std::u16string_view path, std::uint32_t& tag) {
  // A wildcard would make the search match other names; no file's name holds one.
  const std::size_t slash = path.find_last_of(u"\\/");
  const std::u16string_view name =
      slash == std::u16string_view::npos ? path : path.substr(slash + 1);
  if (name.find_first_of(u"*?<>\"") != std::u16string_view::npos) return status::kInvalidName;
  DWORD previousMode = 0;
  const bool quiet = SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previousMode) != FALSE;
  WIN32_FIND_DATAW found{};
  const UniqueFind search(FindFirstFileW(LongPathForm(path).c_str(), &found));
  const Status result = search ? status::kSuccess : LastError();
  if (quiet) SetThreadErrorMode(previousMode, nullptr);
  if (result != status::kSuccess) return result;
  tag = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? found.dwReserved0 : 0;
  return status::kSuccess;
}

DriveType Win32FileSystem::DriveTypeOf(std::u16string_view root) {
  // Under Wine 8 one GetDriveTypeW costs about 1 ms (a request to the mount manager), more than
  // a thumbnail's reading, and a folder shows many thumbnails at once: what each drive letter's
  // root was said to be is remembered for the whole process, for two seconds. A drive changes
  // its kind only when a person maps it anew.
  constexpr ULONGLONG kRemembered = 2000;
  static std::array<std::atomic<std::uint64_t>, 26> recent{};  // asked at, in ms, x 16 + kind
  const bool driveRoot = root.size() == 3 && root[1] == u':' && root[2] == u'\\' &&
                         (root[0] | 0x20) >= u'a' && (root[0] | 0x20) <= u'z';
  const ULONGLONG now = GetTickCount64();
  if (driveRoot) {
    const std::uint64_t known = recent[(root[0] | 0x20) - u'a'].load(std::memory_order_relaxed);
    if (known != 0 && now - known / 16 < kRemembered) return static_cast<DriveType>(known % 16);
  }
  const UINT kind = GetDriveTypeW(WideString(root).c_str());
  if (driveRoot && kind < 16) {
    recent[(root[0] | 0x20) - u'a'].store(now * 16 + kind, std::memory_order_relaxed);
  }
  return static_cast<DriveType>(kind);
}

Status Win32FileSystem::CreateNew(std::u16string_view path, FileHandle& out) {
  const HANDLE file = CreateFileW(LongPathForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastError();
  out = reinterpret_cast<FileHandle>(file);
  return status::kSuccess;
}

Status Win32FileSystem::Write(FileHandle file, const void* data, std::uint32_t size,
                              std::uint32_t& written) {
  DWORD put = 0;
  const BOOL done = WriteFile(File(file), data, size, &put, nullptr);
  written = put;
  return done ? status::kSuccess : LastError();
}

Status Win32FileSystem::Flush(FileHandle file) {
  return FlushFileBuffers(File(file)) ? status::kSuccess : LastError();
}

Status Win32FileSystem::ProbeReplace(std::u16string_view path) {
  // The access and sharing ReplaceFileW opens the replaced file with.
  const HANDLE file = CreateFileW(LongPathForm(path).c_str(), GENERIC_READ | DELETE | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastError();
  CloseHandle(file);
  return status::kSuccess;
}

Status Win32FileSystem::Replace(std::u16string_view target, std::u16string_view replacement,
                                std::u16string_view backup) {
  return ReplaceFileW(LongPathForm(target).c_str(), LongPathForm(replacement).c_str(),
                      LongPathForm(backup).c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                      nullptr)
             ? status::kSuccess
             : LastError();
}

Status Win32FileSystem::Move(std::u16string_view from, std::u16string_view to,
                             bool replaceExisting) {
  const DWORD flags = MOVEFILE_WRITE_THROUGH | (replaceExisting ? MOVEFILE_REPLACE_EXISTING : 0);
  return MoveFileExW(LongPathForm(from).c_str(), LongPathForm(to).c_str(), flags) ? status::kSuccess
                                                                                  : LastError();
}

Status Win32FileSystem::Delete(std::u16string_view path) {
  return DeleteFileW(LongPathForm(path).c_str()) ? status::kSuccess : LastError();
}

Status Win32FileSystem::Copy(std::u16string_view from, std::u16string_view to) {
  return CopyFileW(LongPathForm(from).c_str(), LongPathForm(to).c_str(), TRUE) ? status::kSuccess
                                                                               : LastError();
}

Status Win32FileSystem::CreateFolder(std::u16string_view path) {
  return CreateDirectoryW(LongPathForm(path).c_str(), nullptr) ? status::kSuccess : LastError();
}

Status Win32FileSystem::RemoveFolder(std::u16string_view path) {
  return RemoveDirectoryW(LongPathForm(path).c_str()) ? status::kSuccess : LastError();
}

Status Win32FileSystem::FilesIn(std::u16string_view folder, std::vector<std::u16string>& names) {
  names.clear();
  WIN32_FIND_DATAW found{};
  // Closed on every way out, running out of memory while the names are kept included.
  const UniqueFind search(FindFirstFileW((LongPathForm(folder) + L"\\*").c_str(), &found));
  if (!search) return LastError();
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      names.emplace_back(AsUtf16(found.cFileName));
    }
  } while (FindNextFileW(search.get(), &found));
  const Status ended = static_cast<Status>(GetLastError());
  return ended == ERROR_NO_MORE_FILES ? status::kSuccess : LastErrorOr(ended);
}

void Win32PointerReloader::ReloadPointers() {
  SystemParametersInfoW(SPI_SETCURSORS, 0, nullptr, SPIF_SENDCHANGE);
}

}  // namespace pivora

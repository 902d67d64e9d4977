// The seams bound to the real Win32 calls, built once per exported call and passed down.
#pragma once

#include <windows.h>

#include "platform/path_rules_win32.h"
#include "platform/platform.h"
#include "platform/window_system.h"

namespace pivora {

class Win32Registry final : public Registry {
 public:
  Status Open(KeyHandle parent, std::u16string_view subKey, std::uint32_t access,
              KeyHandle& out) override;
  Status Create(KeyHandle parent, std::u16string_view subKey, std::uint32_t access,
                KeyHandle& out) override;
  Status QueryValue(KeyHandle key, std::u16string_view name, std::uint32_t* type, void* data,
                    std::uint32_t& byteCount) override;
  Status SetValue(KeyHandle key, std::u16string_view name, std::uint32_t type, const void* data,
                  std::uint32_t byteCount) override;
  Status DeleteValue(KeyHandle key, std::u16string_view name) override;
  Status DeleteKey(KeyHandle parent, std::u16string_view subKey) override;
  Status DeleteTree(KeyHandle parent, std::u16string_view subKey) override;
  Status EnumKey(KeyHandle key, std::uint32_t index, std::u16string& name) override;
  Status QuerySubKeyCount(KeyHandle key, std::uint32_t& count) override;
  Status QueryValueCount(KeyHandle key, std::uint32_t& count) override;
  void Close(KeyHandle key) override;
};

class Win32FileSystem final : public FileSystem {
 public:
  Status OpenForReading(std::u16string_view path, FileHandle& out) override;
  Status Size(FileHandle file, std::uint64_t& size) override;
  Status Read(FileHandle file, void* buffer, std::uint32_t size, std::uint32_t& read) override;
  void Close(FileHandle file) override;
  bool Exists(std::u16string_view path) override;
  Status Attributes(std::u16string_view path, std::uint32_t& attributes) override;
  Status ReparseTag(std::u16string_view path, std::uint32_t& tag) override;
  DriveType DriveTypeOf(std::u16string_view root) override;
  Status CreateNew(std::u16string_view path, FileHandle& out) override;
  Status Write(FileHandle file, const void* data, std::uint32_t size,
               std::uint32_t& written) override;
  Status Flush(FileHandle file) override;
  Status ProbeReplace(std::u16string_view path) override;
  Status Replace(std::u16string_view target, std::u16string_view replacement,
                 std::u16string_view backup) override;
  Status Move(std::u16string_view from, std::u16string_view to, bool replaceExisting) override;
  Status Delete(std::u16string_view path) override;
  Status Copy(std::u16string_view from, std::u16string_view to) override;
  Status CreateFolder(std::u16string_view path) override;
  Status RemoveFolder(std::u16string_view path) override;
  Status FilesIn(std::u16string_view folder, std::vector<std::u16string>& names) override;
};

class Win32PointerReloader final : public PointerReloader {
 public:
  void ReloadPointers() override;
};

class Win32WindowSystem final : public WindowSystem {
 public:
  PointerHandle LoadStockPointer(std::uint16_t systemCursorId) override;
  PointerHandle LoadPointerFile(std::u16string_view path) override;
  void DestroyPointer(PointerHandle pointer) override;
  std::optional<std::u16string> AskSavePath(WindowHandle owner, std::u16string_view initialFolder,
                                            std::u16string_view title, std::u16string_view filter,
                                            std::u16string_view extension) override;
  void ShowMessage(WindowHandle owner, std::u16string_view text, std::u16string_view caption,
                   MessageKind kind) override;
  void NotifyAssociationsChanged() override;
};

// All real seams together.
struct Win32Platform {
  Win32Registry registry;
  Win32FileSystem files;
  Win32PathRules paths;
  Win32PointerReloader reloader;

  Platform Seams() { return Platform{registry, files, paths, reloader}; }
};

// UTF-16 as Windows' wide characters and back: on Windows they are the same units, so only the
// type changes (portable code holds char16_t, the Win32 calls take wchar_t).
static_assert(sizeof(wchar_t) == sizeof(char16_t));
inline wchar_t* AsWide(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }
inline const wchar_t* AsWide(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}
inline char16_t* AsUtf16(wchar_t* text) { return reinterpret_cast<char16_t*>(text); }
inline const char16_t* AsUtf16(const wchar_t* text) {
  return reinterpret_cast<const char16_t*>(text);
}

// The calling thread's last error as a result; never success, even when the failed call left
// no error behind.
HRESULT LastErrorResult();

// Windows wants a terminated wide string; the views portable code passes are not.
std::wstring WideString(std::u16string_view text);

// A path the Win32 file calls accept at any length: one of MAX_PATH units or more in the
// extended-length form (\\?\C:\..., \\?\UNC\server\...).
std::wstring LongPathForm(std::u16string_view path);

}  // namespace pivora

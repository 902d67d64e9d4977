// The registry seam. Every call returns a platform error code (0 on success) as the Reg*
// function it stands for does; handles are opaque numbers, and the root keys carry the values
// Windows gives its predefined keys, so the Win32 binding passes them through unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "platform/status.h"

namespace pivora {

using KeyHandle = std::uintptr_t;

namespace root_key {
inline constexpr KeyHandle kClassesRoot = 0x80000000;
inline constexpr KeyHandle kCurrentUser = 0x80000001;
inline constexpr KeyHandle kLocalMachine = 0x80000002;
inline constexpr KeyHandle kUsers = 0x80000003;
inline constexpr KeyHandle kPerformanceData = 0x80000004;
inline constexpr KeyHandle kCurrentConfig = 0x80000005;
inline constexpr KeyHandle kDynData = 0x80000006;
}  // namespace root_key

namespace key_access {
inline constexpr std::uint32_t kRead = 0x20019;       // KEY_READ
inline constexpr std::uint32_t kWrite = 0x20006;      // KEY_WRITE
inline constexpr std::uint32_t kReadWrite = 0x2001F;  // KEY_READ | KEY_WRITE
inline constexpr std::uint32_t kAll = 0xF003F;
}  // namespace key_access

namespace value_type {
inline constexpr std::uint32_t kNone = 0;
inline constexpr std::uint32_t kString = 1;        // REG_SZ
inline constexpr std::uint32_t kExpandString = 2;  // REG_EXPAND_SZ
inline constexpr std::uint32_t kBinary = 3;        // REG_BINARY
inline constexpr std::uint32_t kDword = 4;         // REG_DWORD
inline constexpr std::uint32_t kMultiString = 7;   // REG_MULTI_SZ
}  // namespace value_type

class Registry {
 public:
  virtual ~Registry() = default;

  // RegOpenKeyExW: an existing key, with options 0 and the access given.
  virtual Status Open(KeyHandle parent, std::u16string_view subKey, std::uint32_t access,
                      KeyHandle& out) = 0;
  // RegCreateKeyExW: opens the key, or creates it with its missing intermediate keys, with the
  // access given, no class and default options.
  virtual Status Create(KeyHandle parent, std::u16string_view subKey, std::uint32_t access,
                        KeyHandle& out) = 0;
  // RegQueryValueExW. With `data` null only the size is reported. When the value does not fit,
  // kMoreData, `byteCount` set to the size needed and `data` untouched.
  virtual Status QueryValue(KeyHandle key, std::u16string_view name, std::uint32_t* type,
                            void* data, std::uint32_t& byteCount) = 0;
  // RegSetValueExW.
  virtual Status SetValue(KeyHandle key, std::u16string_view name, std::uint32_t type,
                          const void* data, std::uint32_t byteCount) = 0;
  // RegDeleteValueW: kFileNotFound when absent.
  virtual Status DeleteValue(KeyHandle key, std::u16string_view name) = 0;
  // RegDeleteKeyW: a key without subkeys.
  virtual Status DeleteKey(KeyHandle parent, std::u16string_view subKey) = 0;
  // SHDeleteKeyW: a key with its whole subtree.
  virtual Status DeleteTree(KeyHandle parent, std::u16string_view subKey) = 0;
  // RegEnumKeyExW: kNoMoreItems past the last subkey.
  virtual Status EnumKey(KeyHandle key, std::uint32_t index, std::u16string& name) = 0;
  // RegQueryInfoKeyW, the number of subkeys.
  virtual Status QuerySubKeyCount(KeyHandle key, std::uint32_t& count) = 0;
  // RegQueryInfoKeyW, the number of values (the default value counts when it is set).
  virtual Status QueryValueCount(KeyHandle key, std::uint32_t& count) = 0;
  // RegCloseKey. Root keys are never closed.
  virtual void Close(KeyHandle key) = 0;
};

// Owns one open key of a registry and closes it in one place.
class RegistryKey {
 public:
  explicit RegistryKey(Registry& registry) : registry_(&registry) {}
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  RegistryKey(RegistryKey&& other) noexcept
      : registry_(other.registry_), handle_(std::exchange(other.handle_, 0)) {}
  ~RegistryKey() { Reset(); }

  KeyHandle get() const { return handle_; }
  bool is_open() const { return handle_ != 0; }
  // For the open calls to fill in; closes what was held before.
  KeyHandle& put() {
    Reset();
    return handle_;
  }
  void Reset() {
    if (handle_ != 0) registry_->Close(std::exchange(handle_, 0));
  }

 private:
  Registry* registry_;
  KeyHandle handle_ = 0;
};

}  // namespace pivora

#include "tests/support/registry_tree.h"

namespace pivora::testing {

KeyTree ReadTree(HKEY parent, const std::wstring& path) {
  KeyTree tree;
  HKEY key = nullptr;
  if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return tree;
  tree.exists = true;
  DWORD longestName = 0;
  DWORD longestData = 0;
  DWORD longestSubkey = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &longestSubkey, nullptr, nullptr,
                   &longestName, &longestData, nullptr, nullptr);
  for (DWORD index = 0;; ++index) {
    std::wstring name(longestName + 1, L'\0');
    DWORD nameLength = longestName + 1;
    RegistryValue value;
    value.bytes.resize(longestData);
    DWORD size = longestData;
    if (RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &value.type,
                      value.bytes.data(), &size) != ERROR_SUCCESS) {
      break;
    }
    name.resize(nameLength);
    value.bytes.resize(size);
    tree.values[name] = value;
  }
  for (DWORD index = 0;; ++index) {
    std::wstring name(longestSubkey + 1, L'\0');
    DWORD nameLength = longestSubkey + 1;
    if (RegEnumKeyExW(key, index, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    name.resize(nameLength);
    tree.subkeys[name] = ReadTree(key, name);
  }
  RegCloseKey(key);
  return tree;
}

void WriteTree(HKEY parent, const std::wstring& path, const KeyTree& tree) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  for (const auto& [name, value] : tree.values) {
    RegSetValueExW(key, name.c_str(), 0, value.type, value.bytes.data(),
                   static_cast<DWORD>(value.bytes.size()));
  }
  for (const auto& [name, subkey] : tree.subkeys) WriteTree(key, name, subkey);
  RegCloseKey(key);
}

RegistrySnapshot::RegistrySnapshot(HKEY root, std::vector<std::wstring> paths)
    : root_(root), paths_(std::move(paths)) {
  for (const std::wstring& path : paths_) saved_.push_back(ReadTree(root_, path));
}

RegistrySnapshot::~RegistrySnapshot() {
  for (std::size_t i = 0; i < paths_.size(); ++i) {
    RegDeleteTreeW(root_, paths_[i].c_str());
    RegDeleteKeyW(root_, paths_[i].c_str());
    if (saved_[i].exists) WriteTree(root_, paths_[i], saved_[i]);
  }
}

}  // namespace pivora::testing

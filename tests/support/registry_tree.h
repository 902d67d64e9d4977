// Registry subtrees as values: read whole, compared, written back. For tests that change the
// prefix's real registry from another process, where no redirection reaches.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace pivora::testing {

struct RegistryValue {
  DWORD type = 0;
  std::vector<BYTE> bytes;
  bool operator==(const RegistryValue&) const = default;
};

struct KeyTree {
  bool exists = false;
  std::map<std::wstring, RegistryValue> values;
  std::map<std::wstring, KeyTree> subkeys;
  bool operator==(const KeyTree&) const = default;
};

KeyTree ReadTree(HKEY parent, const std::wstring& path);
void WriteTree(HKEY parent, const std::wstring& path, const KeyTree& tree);

// Keeps subtrees as they were: read when made, put back (and whatever was added there removed)
// when it goes.
class RegistrySnapshot {
 public:
  RegistrySnapshot(HKEY root, std::vector<std::wstring> paths);
  RegistrySnapshot(const RegistrySnapshot&) = delete;
  RegistrySnapshot& operator=(const RegistrySnapshot&) = delete;
  ~RegistrySnapshot();

 private:
  HKEY root_;
  std::vector<std::wstring> paths_;
  std::vector<KeyTree> saved_;
};

}  // namespace pivora::testing

// An in-memory registry with the behaviour the system relies on from the real one: names
// compare without regard to case, a missing value fails and leaves the caller's buffer alone,
// subkeys enumerate by index in a stable order, and the calls return the platform's codes.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace pivora {

class MemoryRegistry final : public Registry {
 public:
  MemoryRegistry();
  ~MemoryRegistry() override;

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

  // How many handles are open: tests check that every one was closed.
  std::size_t OpenHandleCount() const { return handles_.size(); }

 private:
  struct Node;
  std::shared_ptr<Node> Resolve(KeyHandle key) const;
  Status Walk(KeyHandle parent, std::u16string_view subKey, bool create,
              std::shared_ptr<Node>& out);
  Status OpenOrCreate(KeyHandle parent, std::u16string_view subKey, bool create, KeyHandle& out);
  Status Detach(KeyHandle parent, std::u16string_view subKey, bool wholeTree);

  std::map<KeyHandle, std::shared_ptr<Node>> roots_;
  std::map<KeyHandle, std::shared_ptr<Node>> handles_;
  KeyHandle nextHandle_ = 0x100;
};

}  // namespace pivora

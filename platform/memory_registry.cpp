#include "platform/memory_registry.h"

#include <algorithm>
#include <cstring>

#include "platform/text.h"

namespace pivora {
namespace {

std::u16string Fold(std::u16string_view name) {
  std::u16string folded(name);
  std::transform(folded.begin(), folded.end(), folded.begin(), AsciiUpper);
  return folded;
}

struct Value {
  std::uint32_t type = value_type::kNone;
  std::vector<std::uint8_t> bytes;
};

// Splits a backslash path into its non-empty components.
std::vector<std::u16string_view> Components(std::u16string_view path) {
  std::vector<std::u16string_view> parts;
  while (!path.empty()) {
    const std::size_t end = path.find(u'\\');
    if (end != 0) parts.push_back(path.substr(0, end));
    if (end == std::u16string_view::npos) break;
    path.remove_prefix(end + 1);
  }
  return parts;
}

}  // namespace

// Nodes are shared with the handles that have them open, so a key deleted under an open handle
// stays valid memory and reports kKeyDeleted, as the real registry does.
struct MemoryRegistry::Node {
  std::u16string name;
  bool deleted = false;
  std::map<std::u16string, std::shared_ptr<Node>> subKeys;  // by folded name
  std::map<std::u16string, Value> values;                   // by folded name

  void MarkDeleted() {
    deleted = true;
    for (auto& [folded, child] : subKeys) child->MarkDeleted();
  }
};

MemoryRegistry::MemoryRegistry() {
  for (KeyHandle root = root_key::kClassesRoot; root <= root_key::kDynData; ++root) {
    roots_[root] = std::make_shared<Node>();
  }
}

MemoryRegistry::~MemoryRegistry() = default;

std::shared_ptr<MemoryRegistry::Node> MemoryRegistry::Resolve(KeyHandle key) const {
  if (auto root = roots_.find(key); root != roots_.end()) return root->second;
  if (auto open = handles_.find(key); open != handles_.end()) return open->second;
  return nullptr;
}

Status MemoryRegistry::Walk(KeyHandle parent, std::u16string_view subKey, bool create,
                            std::shared_ptr<Node>& out) {
  std::shared_ptr<Node> node = Resolve(parent);
  if (!node) return status::kInvalidHandle;
  if (node->deleted) return status::kKeyDeleted;
  for (std::u16string_view part : Components(subKey)) {
    auto found = node->subKeys.find(Fold(part));
    if (found == node->subKeys.end()) {
      if (!create) return status::kFileNotFound;
      auto child = std::make_shared<Node>();
      child->name = std::u16string(part);
      found = node->subKeys.emplace(Fold(part), std::move(child)).first;
    }
    node = found->second;
  }
  out = std::move(node);
  return status::kSuccess;
}

Status MemoryRegistry::OpenOrCreate(KeyHandle parent, std::u16string_view subKey, bool create,
                                    KeyHandle& out) {
  std::shared_ptr<Node> node;
  if (const Status result = Walk(parent, subKey, create, node); result != status::kSuccess) {
    return result;
  }
  out = nextHandle_;
  nextHandle_ += 4;
  handles_[out] = std::move(node);
  return status::kSuccess;
}

Status MemoryRegistry::Open(KeyHandle parent, std::u16string_view subKey, std::uint32_t,
                            KeyHandle& out) {
  return OpenOrCreate(parent, subKey, false, out);
}

Status MemoryRegistry::Create(KeyHandle parent, std::u16string_view subKey, std::uint32_t,
                              KeyHandle& out) {
  return OpenOrCreate(parent, subKey, true, out);
}

Status MemoryRegistry::QueryValue(KeyHandle key, std::u16string_view name, std::uint32_t* type,
                                  void* data, std::uint32_t& byteCount) {
  std::shared_ptr<Node> node = Resolve(key);
  if (!node) return status::kInvalidHandle;
  if (node->deleted) return status::kKeyDeleted;
  const auto found = node->values.find(Fold(name));
  if (found == node->values.end()) return status::kFileNotFound;
  const Value& value = found->second;
  const auto size = static_cast<std::uint32_t>(value.bytes.size());
  if (type != nullptr) *type = value.type;
  if (data != nullptr && byteCount < size) {
    byteCount = size;
    return status::kMoreData;
  }
  if (data != nullptr && size != 0) std::memcpy(data, value.bytes.data(), size);
  byteCount = size;
  return status::kSuccess;
}

Status MemoryRegistry::SetValue(KeyHandle key, std::u16string_view name, std::uint32_t type,
                                const void* data, std::uint32_t byteCount) {
  std::shared_ptr<Node> node = Resolve(key);
  if (!node) return status::kInvalidHandle;
  if (node->deleted) return status::kKeyDeleted;
  if (data == nullptr && byteCount != 0) return status::kInvalidParameter;
  Value value;
  value.type = type;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  value.bytes.assign(bytes, bytes + byteCount);
  node->values[Fold(name)] = std::move(value);
  return status::kSuccess;
}

Status MemoryRegistry::DeleteValue(KeyHandle key, std::u16string_view name) {
  std::shared_ptr<Node> node = Resolve(key);
  if (!node) return status::kInvalidHandle;
  if (node->deleted) return status::kKeyDeleted;
  return node->values.erase(Fold(name)) == 1 ? status::kSuccess : status::kFileNotFound;
}

Status MemoryRegistry::Detach(KeyHandle parent, std::u16string_view subKey, bool wholeTree) {
  std::vector<std::u16string_view> parts = Components(subKey);
  if (parts.empty()) return status::kInvalidParameter;
  const std::u16string_view last = parts.back();
  std::shared_ptr<Node> owner;
  const std::u16string_view ownerPath = subKey.substr(0, subKey.rfind(last));
  if (const Status result = Walk(parent, ownerPath, false, owner); result != status::kSuccess) {
    return result;
  }
  const auto found = owner->subKeys.find(Fold(last));
  if (found == owner->subKeys.end()) return status::kFileNotFound;
  // RegDeleteKeyW refuses a key that still has subkeys.
  if (!wholeTree && !found->second->subKeys.empty()) return status::kAccessDenied;
  found->second->MarkDeleted();
  owner->subKeys.erase(found);
  return status::kSuccess;
}

Status MemoryRegistry::DeleteKey(KeyHandle parent, std::u16string_view subKey) {
  return Detach(parent, subKey, false);
}

Status MemoryRegistry::DeleteTree(KeyHandle parent, std::u16string_view subKey) {
  return Detach(parent, subKey, true);
}

Status MemoryRegistry::EnumKey(KeyHandle key, std::uint32_t index, std::u16string& name) {
  std::shared_ptr<Node> node = Resolve(key);
  if (!node) return status::kInvalidHandle;
  if (node->deleted) return status::kKeyDeleted;
  if (index >= node->subKeys.size()) return status::kNoMoreItems;
  auto it = node->subKeys.begin();
  std::advance(it, index);
  name = it->second->name;
  return status::kSuccess;
}

Status MemoryRegistry::QuerySubKeyCount(KeyHandle key, std::uint32_t& count) {
  std::shared_ptr<Node> node = Resolve(key);
  if (!node) return status::kInvalidHandle;
  if (node->deleted) return status::kKeyDeleted;
  count = static_cast<std::uint32_t>(node->subKeys.size());
  return status::kSuccess;
}

Status MemoryRegistry::QueryValueCount(KeyHandle key, std::uint32_t& count) {
  std::shared_ptr<Node> node = Resolve(key);
  if (!node) return status::kInvalidHandle;
  if (node->deleted) return status::kKeyDeleted;
  count = static_cast<std::uint32_t>(node->values.size());
  return status::kSuccess;
}

void MemoryRegistry::Close(KeyHandle key) { handles_.erase(key); }

}  // namespace pivora

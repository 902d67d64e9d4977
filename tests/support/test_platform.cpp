#include "tests/support/test_platform.h"

#include "tests/support/seam_faults.h"

#include <cstring>

namespace pivora::testing {

std::string Narrow(std::u16string_view text) {
  std::string narrow;
  for (char16_t c : text) narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return narrow;
}

Status RecordingRegistry::Fault(std::string_view call, std::u16string_view name) {
  return fault ? fault(call, name) : status::kSuccess;
}

Status RecordingRegistry::Opened(Status result) {
  if (result == status::kSuccess) ++openHandles;
  return result;
}

void RecordingRegistry::Record(std::string_view call, std::u16string_view name) {
  log.push_back(std::string(call) + " " + Narrow(name));
}

Status RecordingRegistry::Open(KeyHandle parent, std::u16string_view subKey, std::uint32_t access,
                               KeyHandle& out) {
  const AllocationPause pause;
  if (const Status f = Fault("OpenKey", subKey)) return f;
  return Opened(inner_.Open(parent, subKey, access, out));
}

Status RecordingRegistry::Create(KeyHandle parent, std::u16string_view subKey, std::uint32_t access,
                                 KeyHandle& out) {
  const AllocationPause pause;
  if (const Status f = Fault("CreateKey", subKey)) return f;
  Record("CreateKey", subKey);
  return Opened(inner_.Create(parent, subKey, access, out));
}

Status RecordingRegistry::QueryValue(KeyHandle key, std::u16string_view name, std::uint32_t* type,
                                     void* data, std::uint32_t& byteCount) {
  const AllocationPause pause;
  if (const Status f = Fault("QueryValue", name)) return f;
  return inner_.QueryValue(key, name, type, data, byteCount);
}

Status RecordingRegistry::SetValue(KeyHandle key, std::u16string_view name, std::uint32_t type,
                                   const void* data, std::uint32_t byteCount) {
  const AllocationPause pause;
  Record("SetValue", name);
  if (const Status f = Fault("SetValue", name)) return f;
  return inner_.SetValue(key, name, type, data, byteCount);
}

Status RecordingRegistry::DeleteValue(KeyHandle key, std::u16string_view name) {
  const AllocationPause pause;
  Record("DeleteValue", name);
  if (const Status f = Fault("DeleteValue", name)) return f;
  return inner_.DeleteValue(key, name);
}

Status RecordingRegistry::DeleteKey(KeyHandle parent, std::u16string_view subKey) {
  const AllocationPause pause;
  Record("DeleteKey", subKey);
  if (const Status f = Fault("DeleteKey", subKey)) return f;
  return inner_.DeleteKey(parent, subKey);
}

Status RecordingRegistry::DeleteTree(KeyHandle parent, std::u16string_view subKey) {
  const AllocationPause pause;
  Record("DeleteTree", subKey);
  if (const Status f = Fault("DeleteTree", subKey)) return f;
  return inner_.DeleteTree(parent, subKey);
}

Status RecordingRegistry::EnumKey(KeyHandle key, std::uint32_t index, std::u16string& name) {
  const AllocationPause pause;
  if (const Status f = Fault("EnumKey", u"")) return f;
  return inner_.EnumKey(key, index, name);
}

Status RecordingRegistry::QuerySubKeyCount(KeyHandle key, std::uint32_t& count) {
  const AllocationPause pause;
  if (const Status f = Fault("QuerySubKeyCount", u"")) return f;
  return inner_.QuerySubKeyCount(key, count);
}

Status RecordingRegistry::QueryValueCount(KeyHandle key, std::uint32_t& count) {
  const AllocationPause pause;
  if (const Status f = Fault("QueryValueCount", u"")) return f;
  return inner_.QueryValueCount(key, count);
}

void RecordingRegistry::Close(KeyHandle key) {
  const AllocationPause pause;
  if (key < root_key::kClassesRoot || key > root_key::kDynData) --openHandles;
  inner_.Close(key);
}

namespace {
constexpr std::u16string_view kCursors = u"Control Panel\\Cursors";
}  // namespace

TestPlatform::TestPlatform() : host_(MakeTestHost()), registry_(host_->registry()) {}

std::optional<StoredValue> TestPlatform::Stored(std::u16string_view valueName,
                                                std::u16string_view subKey) {
  Registry& raw = host_->registry();
  RegistryKey key(raw);
  const std::u16string path =
      std::u16string(kCursors) + (subKey.empty() ? u"" : u"\\" + std::u16string(subKey));
  if (raw.Open(root_key::kCurrentUser, path, key_access::kRead, key.put()) != 0) {
    return std::nullopt;
  }
  StoredValue value;
  std::uint32_t size = 0;
  if (raw.QueryValue(key.get(), valueName, &value.type, nullptr, size) != 0) return std::nullopt;
  std::string bytes(size, '\0');
  if (raw.QueryValue(key.get(), valueName, &value.type, bytes.data(), size) != 0) {
    return std::nullopt;
  }
  value.byteCount = size;
  value.text.resize(size / 2);
  std::memcpy(value.text.data(), bytes.data(), value.text.size() * 2);
  return value;
}

void TestPlatform::Store(std::u16string_view valueName, std::u16string_view text,
                         std::uint32_t type) {
  const std::u16string data(text);
  StoreBytes(valueName, type, data.c_str(), static_cast<std::uint32_t>((data.size() + 1) * 2));
}

void TestPlatform::StoreBytes(std::u16string_view valueName, std::uint32_t type, const void* data,
                              std::uint32_t byteCount) {
  Registry& raw = host_->registry();
  RegistryKey key(raw);
  raw.Create(root_key::kCurrentUser, kCursors, key_access::kReadWrite, key.put());
  raw.SetValue(key.get(), valueName, type, data, byteCount);
}

bool TestPlatform::CursorsKeyExists() {
  RegistryKey key(host_->registry());
  return host_->registry().Open(root_key::kCurrentUser, kCursors, key_access::kRead, key.put()) ==
         0;
}

bool TestPlatform::ControlPanelKeyExists() {
  RegistryKey key(host_->registry());
  return host_->registry().Open(root_key::kCurrentUser, u"Control Panel", key_access::kRead,
                                key.put()) == 0;
}

void TestPlatform::RemoveCursorsKey() {
  host_->registry().DeleteTree(root_key::kCurrentUser, kCursors);
}

void TestPlatform::RemoveControlPanelKey() {
  host_->registry().DeleteTree(root_key::kCurrentUser, u"Control Panel");
}

}  // namespace pivora::testing

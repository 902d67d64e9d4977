#include <algorithm>

#include "platform/memory_files.h"
#include "platform/memory_registry.h"
#include "platform/portable_path_rules.h"
#include "tests/support/test_platform.h"

namespace pivora::testing {
namespace {

class NativeTestHost final : public TestHost {
 public:
  NativeTestHost()
      : folder_(u"C:\\scratch"),
        paths_({{u"SystemRoot", u"C:\\windows"},
                {u"PIVORA_SCRATCH", folder_},
                {u"LOCALAPPDATA", folder_ + u"\\Local"}}) {
    files_.MakeFolder(folder_);
    files_.MakeFolder(folder_ + u"\\Local");
    RegistryKey key(registry_);
    registry_.Create(root_key::kCurrentUser, u"Control Panel", key_access::kReadWrite, key.put());
  }

  Registry& registry() override { return registry_; }
  FileSystem& files() override { return files_; }
  const PathRules& paths() override { return paths_; }
  std::u16string folder() override { return folder_; }
  void WriteFile(std::u16string_view path, std::string_view bytes) override {
    files_.Put(path, std::string(bytes));
  }
  void MakeFolder(std::u16string_view path) override { files_.MakeFolder(path); }
  std::shared_ptr<void> HoldOpenForWriting(std::u16string_view path) override {
    files_.BeginWriting(path);
    std::u16string held(path);
    return std::shared_ptr<void>(nullptr, [this, held](void*) { files_.EndWriting(held); });
  }
  std::shared_ptr<void> HoldOpenForReading(std::u16string_view path) override {
    files_.BeginReading(path);
    std::u16string held(path);
    return std::shared_ptr<void>(nullptr, [this, held](void*) { files_.EndReading(held); });
  }
  std::optional<std::string> ReadFile(std::u16string_view path) override {
    return files_.Get(path);
  }
  std::vector<std::u16string> FileNames() override {
    std::vector<std::u16string> names = files_.NamesIn(folder_);
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::u16string folder_;
  MemoryRegistry registry_;
  MemoryFileSystem files_;
  PortablePathRules paths_;
};

}  // namespace

std::unique_ptr<TestHost> MakeTestHost() { return std::make_unique<NativeTestHost>(); }

unsigned ThreadAnsiCodePage() { return 1252; }

}  // namespace pivora::testing

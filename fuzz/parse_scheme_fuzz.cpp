// Any bytes are a scheme file to the reader: it must not crash, every entry it gives must be a
// single line, and whatever it reads must come back unchanged through the writer.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/pointer_roles.h"
#include "core/pointer_settings.h"
#include "core/scheme.h"
#include "platform/memory_registry.h"

namespace {

using namespace pivora;

// Keeps every stored path as it is, so the round trip compares texts, not path rules.
class VerbatimPaths final : public PathRules {
 public:
  std::optional<std::u16string> RelativePathTo(std::u16string_view,
                                               std::u16string_view) const override {
    return std::nullopt;
  }
  bool IsRelative(std::u16string_view) const override { return false; }
  std::optional<std::u16string> Append(std::u16string_view, std::u16string_view) const override {
    return std::nullopt;
  }
  std::u16string ExpandEnvironment(std::u16string_view text) const override {
    return std::u16string(text);
  }
};

class NoReloader final : public PointerReloader {
 public:
  void ReloadPointers() override {}
};

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const SchemeEntries entries =
      ParseScheme(std::string_view(reinterpret_cast<const char*>(data), size));

  MemoryRegistry registry;
  NoReloader reloader;
  CPointerSettings store(registry, reloader);
  KeyHandle controlPanel = 0;
  registry.Create(root_key::kCurrentUser, u"Control Panel", key_access::kReadWrite, controlPanel);
  registry.Close(controlPanel);
  Check(store.OpenForWriting());
  for (std::size_t role = 0; role < kPointerRoleCount; ++role) {
    const SchemeEntry entry = entries[role];
    Check((entry.state == EntryState::kText) == !entry.text.empty());
    Check(entry.text.find_first_of(std::u16string_view(u"\r\n\0", 3)) == std::u16string_view::npos);
    if (entry.state == EntryState::kText) store.WriteRolePath(role, entry.text);
  }
  store.Close();

  const SchemeEntries again = ParseScheme(ComposeScheme(u"D:\\s.crs", store, VerbatimPaths()));
  for (std::size_t role = 0; role < kPointerRoleCount; ++role) {
    const SchemeEntry entry = entries[role];
    const SchemeEntry written = again[role];
    if (entry.state == EntryState::kText) {
      Check(written.state == EntryState::kText && written.text == entry.text);
    } else {
      Check(written.state == EntryState::kEmpty);
    }
  }
  return 0;
}

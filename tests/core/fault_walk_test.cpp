// Every registry call, file call and allocation of applying a scheme and of composing one,
// made to fail one at a time. Whatever fails, nothing crashes, only std::bad_alloc may leave
// (the entry points turn it into their own result), every pointer value is whole (as it was or
// as the scheme says), nothing outside the pointer settings changes, and no key or file is
// left open.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <new>
#include <string>

#include "core/apply.h"
#include "core/pointer_roles.h"
#include "core/pointer_settings.h"
#include "core/scheme.h"
#include "tests/support/seam_faults.h"
#include "tests/support/test_platform.h"

namespace pivora {
namespace {

using testing::TestPlatform;
using testing::WalkFaults;

std::string Ascii(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out.push_back(static_cast<char>(c));
  return out;
}

std::u16string StoredText(TestPlatform& bed, std::u16string_view name) {
  const auto value = bed.Stored(name);
  if (!value) return u"<absent>";
  if (value->type != 2) return u"<not REG_EXPAND_SZ>";
  std::u16string text = value->text;
  if (!text.empty() && text.back() == u'\0') text.pop_back();
  return text;
}

// A store with an old pointer for every role, pointer files beside a scheme that names a new
// one for each (relatively, absolutely, or empty for Help), and a value of someone else's.
struct ApplyScene {
  explicit ApplyScene(TestPlatform& bed) {
    std::string sections;
    for (const PointerRole& role : PointerRoles) {
      const std::u16string name(role.valueName);
      const std::u16string old = u"C:\\old\\" + name + u".cur";
      bed.Store(name, old);
      before[name] = old;
      std::u16string entry;
      if (name == u"Help") {
        after[name] = u"<absent>";
      } else {
        const std::u16string file = bed.PathOf(u"Blue\\" + name + u".cur");
        bed.MakeFolder(bed.PathOf(u"Blue"));
        bed.WriteFile(file, "pointer");
        entry = name == u"Hand" ? file : u"Blue\\" + name + u".cur";
        after[name] = file;
      }
      sections += "[" + Ascii(name) + "]\r\nPath=" + Ascii(entry) + "\r\n\r\n";
    }
    bed.Store(u"Scheme Source", u"someone else's");
    scheme = bed.PathOf(u"Blue.crs");
    bed.WriteFile(scheme, "\xEF\xBB\xBF" + sections + std::string(1, '\0'));
  }

  std::u16string scheme;
  std::map<std::u16string, std::u16string> before;
  std::map<std::u16string, std::u16string> after;
};

TEST(FaultWalkTest, ApplyingLeavesEveryValueWholeWhateverFails) {
  std::map<std::u16string, std::u16string> before, after;
  const auto prepare = [&](TestPlatform& bed) {
    const ApplyScene scene(bed);
    before = scene.before;
    after = scene.after;
  };
  const auto run = [](TestPlatform& bed, FileSystem& files) {
    ApplySchemeFile(bed.PathOf(u"Blue.crs"),
                    Platform{bed.registry(), files, bed.paths(), bed.reloader()});
  };
  const auto check = [&](TestPlatform& bed, const std::string& what) {
    int changed = 0;
    for (const auto& [name, old] : before) {
      const std::u16string now = StoredText(bed, name);
      EXPECT_TRUE(now == old || now == after.at(name))
          << what << ": " << Ascii(name) << " is " << Ascii(now);
      if (now != old) ++changed;
    }
    EXPECT_EQ(StoredText(bed, u"Scheme Source"), u"someone else's") << what;
    EXPECT_EQ(bed.registry().openHandles, 0) << what;
    // One reload for whatever changed, none when nothing did.
    EXPECT_LE(bed.reloader().count, 1) << what;
    if (changed > 0) {
      EXPECT_EQ(bed.reloader().count, 1) << what;
    }
  };
  WalkFaults(prepare, run, check);
}

TEST(FaultWalkTest, ComposingGivesAWholeSchemeWhateverFails) {
  std::map<std::u16string, std::u16string> stored;
  const auto prepare = [&](TestPlatform& bed) {
    for (const PointerRole& role : PointerRoles) {
      const std::u16string path = bed.PathOf(u"Blue\\" + std::u16string(role.valueName) + u".cur");
      bed.Store(role.valueName, path);
      stored[std::u16string(role.valueName)] = u"Blue\\" + std::u16string(role.valueName) + u".cur";
    }
  };
  std::string composed;
  const auto run = [&](TestPlatform& bed, FileSystem&) {
    composed.clear();
    CPointerSettings store(bed.registry(), bed.reloader());
    composed = ComposeScheme(bed.PathOf(u"Saved.crs"), store, bed.paths());
  };
  const auto check = [&](TestPlatform& bed, const std::string& what) {
    EXPECT_EQ(bed.registry().openHandles, 0) << what;
    EXPECT_EQ(bed.reloader().count, 0) << what;
    if (composed.empty()) return;  // ran out of memory: nothing to write
    // Every role has its section, with the stored pointer or, where reading failed, none.
    const SchemeEntries entries = ParseScheme(composed);
    for (std::size_t role = 0; role < kPointerRoleCount; ++role) {
      const std::u16string name(PointerRoles[role].valueName);
      const std::u16string entry(entries[role].text);
      EXPECT_NE(entries[role].state, EntryState::kAbsent) << what << ": " << Ascii(name);
      EXPECT_TRUE(entry.empty() || entry == stored.at(name))
          << what << ": " << Ascii(name) << " = " << Ascii(entry);
    }
    EXPECT_EQ(composed.back(), '\0') << what;
  };
  WalkFaults(prepare, run, check);
}

}  // namespace
}  // namespace pivora

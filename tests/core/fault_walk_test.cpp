// Every registry call, file call and allocation of applying a scheme, of composing one and of
// installing a selection of pointer files as a pack, made to fail one at a time. Whatever fails,
// nothing crashes, only std::bad_alloc may leave (the entry points turn it into their own result),
// every pointer value is whole (as it was or as the scheme says), nothing outside the pointer
// settings changes, and no key or file is left open.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <new>
#include <string>

#include "core/apply.h"
#include "core/pack_install.h"
#include "core/pack_source.h"
#include "core/pointer_roles.h"
#include "core/pointer_settings.h"
#include "core/scheme.h"
#include "platform/retrying_files.h"
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

// A selection's pack, installed first and then again over its earlier install: each pointer is
// as it was or the pack's, the pack's folder is whole or absent, the file that fits no role is
// never copied, and nothing of ours stays beside the folder.
TEST(FaultWalkTest, InstallingASelectionIsWholeOrNotThereWhateverFails) {
  const std::vector<std::u16string> names = {u"Arrow.cur", u"notes.cur", u"Hand.ani"};
  for (const bool again : {false, true}) {
    std::u16string folder;
    WalkFaults(
        [&](TestPlatform& bed) {
          bed.MakeFolder(bed.PathOf(u"Green"));
          for (const std::u16string& name : names)
            bed.WriteFile(bed.PathOf(u"Green\\" + name), "a");
          bed.Store(u"Arrow", u"C:\\old\\arrow.cur");
          folder = bed.PathOf(u"Local\\Pivora\\Cursors\\Green");
          if (!again) return;
          ASSERT_TRUE(InstallCursorPack(*PackSourceFromPointerFiles(bed.PathOf(u"Green"), names),
                                        bed.Seams())
                          .installed);
          bed.WriteFile(bed.PathOf(u"Green\\Arrow.cur"), "b");
          bed.Store(u"Arrow", u"C:\\old\\arrow.cur");
        },
        [&](TestPlatform& bed, FileSystem& faulty) {
          // As the command runs it: a failed file call is tried again.
          testing::CountingPause pause;
          RetryingFileSystem files(faulty, pause);
          InstallCursorPack(*PackSourceFromPointerFiles(bed.PathOf(u"Green"), names),
                            Platform{bed.registry(), files, bed.paths(), bed.reloader()});
        },
        [&](TestPlatform& bed, const std::string& what) {
          const std::u16string arrow = StoredText(bed, u"Arrow");
          EXPECT_TRUE(arrow == u"C:\\old\\arrow.cur" || arrow == folder + u"\\Arrow.cur")
              << what << ": " << Ascii(arrow);
          EXPECT_TRUE(arrow == u"C:\\old\\arrow.cur" || bed.files().Exists(arrow)) << what;
          EXPECT_EQ(bed.files().Exists(folder + u"\\Green.crs"),
                    bed.files().Exists(folder + u"\\Pivora.source"))
              << what;
          const std::optional<std::string> copied = bed.ReadFile(folder + u"\\Arrow.cur");
          EXPECT_TRUE(!copied || *copied == "a" || *copied == "b") << what;
          EXPECT_FALSE(bed.files().Exists(folder + u"\\notes.cur")) << what;
          EXPECT_FALSE(bed.files().Exists(folder + u".~1")) << what;
          EXPECT_EQ(bed.registry().openHandles, 0) << what;
          EXPECT_LE(bed.reloader().count, again ? 2 : 1) << what;
        });
  }
}

}  // namespace
}  // namespace pivora

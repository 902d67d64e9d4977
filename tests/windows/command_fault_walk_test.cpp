// The handlers' commands with every registry call and every allocation made to fail, one at a
// time: choosing a role, saving the scheme over an existing file, and installing a selection of
// pointer files as a pack. Whatever fails,
// nothing leaves the COM method but a result, the role's value is whole (as it was or the
// chosen file), and the saved file is whole (as it was or the complete new scheme) with no
// temporary file left beside it; a failed save says so.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "core/pointer_roles.h"
#include "core/scheme.h"
#include "platform/path_rules_win32.h"
#include "shellext/context_menu_ext.h"
#include "shellext/cursor_pack_ext.h"
#include "shellext/menu_command.h"
#include "tests/support/seam_faults.h"
#include "tests/support/test_platform.h"
#include "tools/shell_objects.h"

namespace pivora {
namespace {

namespace fs = std::filesystem;
using testing::DropDataObject;
using testing::TestPlatform;
using testing::WalkFaults;

constexpr std::string_view kOldScheme = "an older scheme, kept whole";

// Answers the save dialog with one path and counts the messages shown.
class AnsweringWindows final : public WindowSystem {
 public:
  explicit AnsweringWindows(std::u16string path) : path_(std::move(path)) {}
  PointerHandle LoadStockPointer(std::uint16_t) override { return 0; }
  PointerHandle LoadPointerFile(std::u16string_view) override { return 0; }
  void DestroyPointer(PointerHandle) override {}
  std::optional<std::u16string> AskSavePath(WindowHandle, std::u16string_view, std::u16string_view,
                                            std::u16string_view, std::u16string_view) override {
    return path_;
  }
  void NotifyAssociationsChanged() override {}
  void ShowMessage(WindowHandle, std::u16string_view, std::u16string_view, MessageKind) override {
    ++messages;
  }
  int messages = 0;

 private:
  std::u16string path_;
};

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct CommandRun {
  HRESULT result = E_UNEXPECTED;
  bool invoked = false;  // the command was reached
  int messages = 0;      // shown to the person
};

// Builds a handler on the bed's seams for the selected files and runs one of its commands, with
// the save dialog answered by `savePath`. Nothing but a result may leave the handler.
template <typename Handler = CContextMenuExt>
CommandRun RunCommand(TestPlatform& bed, FileSystem& files, const std::u16string& savePath,
                      const std::vector<std::u16string>& selected, unsigned offset) {
  static const Win32PathRules paths;
  static testing::CountingPause noPause;
  std::optional<AnsweringWindows> windows;
  std::optional<DropDataObject> data;
  CommandRun run;
  {
    const testing::AllocationPause pause;  // the test's own stand-ins
    windows.emplace(savePath);
    std::vector<std::wstring> paths;
    for (const std::u16string& file : selected) paths.push_back(Wide(file));
    data.emplace(paths);
  }
  ShellSeams seams{bed.registry(), bed.reloader(), paths,
                   *windows,       files,          Win32ShellSeams().pngDecoders,
                   noPause};
  HRESULT& result = run.result;
  try {
    IContextMenu* menu = nullptr;
    result = CreateStandalone<Handler>(IID_IContextMenu, reinterpret_cast<void**>(&menu));
    if (FAILED(result)) return run;
    static_cast<Handler*>(menu)->UseSeams(seams);
    IShellExtInit* init = nullptr;
    menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init));
    result = init->Initialize(nullptr, &*data, nullptr);
    init->Release();
    if (SUCCEEDED(result)) {
      CMINVOKECOMMANDINFO info{};
      info.cbSize = sizeof(info);
      info.lpVerb = MAKEINTRESOURCEA(offset);
      run.invoked = true;
      result = menu->InvokeCommand(&info);
    }
    menu->Release();
  } catch (...) {
    ADD_FAILURE() << "an exception left the handler";
  }
  run.messages = windows->messages;
  return run;
}

void StoreEveryRole(TestPlatform& bed) {
  for (const PointerRole& role : PointerRoles) {
    bed.Store(role.valueName, bed.PathOf(u"Blue\\" + std::u16string(role.valueName) + u".cur"));
  }
}

TEST(CommandFaultWalkTest, ChoosingARoleLeavesItsValueWhole) {
  std::u16string chosen;
  std::vector<std::u16string> selected;
  WalkFaults(
      [&](TestPlatform& bed) {
        StoreEveryRole(bed);
        chosen = bed.PathOf(u"Green.cur");
        selected = {chosen};
        bed.WriteFile(chosen, "pointer");
      },
      [&](TestPlatform& bed, FileSystem& files) {
        RunCommand(bed, files, {}, selected, 4);  // Precision Select
      },
      [&](TestPlatform& bed, const std::string& what) {
        const auto stored = bed.Stored(u"Crosshair");
        ASSERT_TRUE(stored) << what;
        std::u16string text = stored->text;
        if (!text.empty() && text.back() == u'\0') text.pop_back();
        EXPECT_TRUE(text == bed.PathOf(u"Blue\\Crosshair.cur") || text == chosen)
            << what << ": " << testing::Narrow(text);
        EXPECT_EQ(bed.registry().openHandles, 0) << what;
      });
}

TEST(CommandFaultWalkTest, SavingTheSchemeReplacesTheFileWholeOrNotAtAll) {
  std::u16string target;
  std::vector<std::u16string> selected;
  CommandRun run;
  WalkFaults(
      [&](TestPlatform& bed) {
        StoreEveryRole(bed);
        target = bed.PathOf(u"Saved.crs");
        selected = {bed.PathOf(u"Blue\\Arrow.cur")};
        bed.WriteFile(target, kOldScheme);
      },
      [&](TestPlatform& bed, FileSystem& files) {
        run = RunCommand(bed, files, target, selected, MenuCommandOffset::SaveScheme);
      },
      [&](TestPlatform& bed, const std::string& what) {
        const std::string saved = ReadAll(Wide(target));
        if (saved != kOldScheme) {
          const SchemeEntries entries = ParseScheme(saved);
          for (std::size_t role = 0; role < kPointerRoleCount; ++role) {
            EXPECT_NE(entries[role].state, EntryState::kAbsent) << what << ": role " << role;
          }
          EXPECT_EQ(saved.back(), '\0') << what;
        }
        // A save that was tried and failed says so; one that worked says nothing.
        EXPECT_EQ(run.messages > 0, run.invoked && FAILED(run.result)) << what;
        std::string files;
        for (const auto& entry : fs::directory_iterator(Wide(bed.folder()))) {
          if (entry.is_regular_file()) files += entry.path().filename().string() + " ";
        }
        EXPECT_EQ(files, "Saved.crs ") << what << ": a temporary file was left";
        EXPECT_EQ(bed.registry().openHandles, 0) << what;
      });
}

// Whatever fails, each role's value is whole: the pack's file or as it was (a file that cannot be
// read is left out of the pack, and its role kept, as the install does with a missing one), and
// a failed install changed none. A failing call is told once, as is a success (the roles left as
// they were); a failing allocation may leave the person untold, before the install or after it.
TEST(CommandFaultWalkTest, InstallingASelectionLeavesEachRoleWhole) {
  std::vector<std::u16string> selected;
  CommandRun run;
  WalkFaults(
      [&](TestPlatform& bed) {
        StoreEveryRole(bed);
        selected = {bed.PathOf(u"Set\\Arrow.cur"), bed.PathOf(u"Set\\Wait.ani")};
        bed.MakeFolder(bed.PathOf(u"Set"));
        for (const std::u16string& file : selected) bed.WriteFile(file, "pointer");
      },
      [&](TestPlatform& bed, FileSystem& files) {
        run = RunCommand<CCursorPackExt>(bed, files, {}, selected, 0);
      },
      [&](TestPlatform& bed, const std::string& what) {
        const std::u16string pack = bed.PathOf(u"Local\\Pivora\\Cursors\\Set\\");
        std::vector<bool> installed;
        for (const char16_t* role : {u"Arrow", u"Wait"}) {
          const auto stored = bed.Stored(role);
          ASSERT_TRUE(stored) << what;
          installed.push_back(stored->text.starts_with(pack));
          if (!installed.back()) {
            EXPECT_TRUE(stored->text.starts_with(bed.PathOf(u"Blue\\"))) << what;
          }
        }
        // An allocation may fail after the install, while the person is being told.
        if (!what.starts_with("allocation") && run.invoked) {
          EXPECT_EQ(run.messages, 1) << what;
          EXPECT_TRUE(SUCCEEDED(run.result) || !(installed[0] || installed[1])) << what;
        }
        EXPECT_EQ(bed.registry().openHandles, 0) << what;
      });
}

}  // namespace
}  // namespace pivora

// The handler's two commands with every registry call and every allocation made to fail, one
// at a time: choosing a role, and saving the scheme over an existing file. Whatever fails,
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

// Builds a handler on the bed's seams for `file` and runs one of its commands; `invoked` tells
// whether the command was reached. Nothing but a result may leave the handler.
HRESULT RunCommand(TestPlatform& bed, FileSystem& files, WindowSystem& windows,
                   std::u16string_view file, unsigned offset, bool& invoked) {
  static const Win32PathRules paths;
  static testing::CountingPause noPause;
  ShellSeams seams{bed.registry(), bed.reloader(), paths,
                   windows,        files,          Win32ShellSeams().pngDecoders,
                   noPause};
  invoked = false;
  std::optional<DropDataObject> data;
  {
    const testing::AllocationPause pause;  // the test's own selection object
    data.emplace(std::vector<std::wstring>{Wide(file)});
  }
  HRESULT result = E_UNEXPECTED;
  try {
    IContextMenu* menu = nullptr;
    result = CreateStandalone<CContextMenuExt>(IID_IContextMenu, reinterpret_cast<void**>(&menu));
    if (FAILED(result)) return result;
    static_cast<CContextMenuExt*>(menu)->UseSeams(seams);
    IShellExtInit* init = nullptr;
    menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init));
    result = init->Initialize(nullptr, &*data, nullptr);
    init->Release();
    if (SUCCEEDED(result)) {
      CMINVOKECOMMANDINFO info{};
      info.cbSize = sizeof(info);
      info.lpVerb = MAKEINTRESOURCEA(offset);
      invoked = true;
      result = menu->InvokeCommand(&info);
    }
    menu->Release();
  } catch (...) {
    ADD_FAILURE() << "an exception left the handler";
  }
  return result;
}

void StoreEveryRole(TestPlatform& bed) {
  for (const PointerRole& role : PointerRoles) {
    bed.Store(role.valueName, bed.PathOf(u"Blue\\" + std::u16string(role.valueName) + u".cur"));
  }
}

TEST(CommandFaultWalkTest, ChoosingARoleLeavesItsValueWhole) {
  std::u16string chosen;
  WalkFaults(
      [&](TestPlatform& bed) {
        StoreEveryRole(bed);
        chosen = bed.PathOf(u"Green.cur");
        bed.WriteFile(chosen, "pointer");
      },
      [&](TestPlatform& bed, FileSystem& files) {
        std::optional<AnsweringWindows> windows;
        {
          const testing::AllocationPause pause;  // the test's own stand-in
          windows.emplace(u"");
        }
        bool invoked = false;
        RunCommand(bed, files, *windows, chosen, 4, invoked);  // Precision Select
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
  HRESULT result = S_OK;
  bool invoked = false;
  int messages = 0;
  WalkFaults(
      [&](TestPlatform& bed) {
        StoreEveryRole(bed);
        target = bed.PathOf(u"Saved.crs");
        bed.WriteFile(target, kOldScheme);
      },
      [&](TestPlatform& bed, FileSystem& files) {
        std::optional<AnsweringWindows> windows;
        std::u16string selected;
        {
          const testing::AllocationPause pause;  // the test's own stand-ins
          windows.emplace(target);
          selected = bed.PathOf(u"Blue\\Arrow.cur");
        }
        result = RunCommand(bed, files, *windows, selected, MenuCommandOffset::SaveScheme, invoked);
        messages = windows->messages;
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
        EXPECT_EQ(messages > 0, invoked && FAILED(result)) << what;
        std::string files;
        for (const auto& entry : fs::directory_iterator(Wide(bed.folder()))) {
          if (entry.is_regular_file()) files += entry.path().filename().string() + " ";
        }
        EXPECT_EQ(files, "Saved.crs ") << what << ": a temporary file was left";
        EXPECT_EQ(bed.registry().openHandles, 0) << what;
      });
}

}  // namespace
}  // namespace pivora

// The library as a file manager meets it after a real regsvr32: the handler found through the
// registry and created through COM, its menu read back as a person sees it, a role chosen, the
// pointers saved through the real save dialog and the saved scheme applied through the
// registered verb. Needs a display (the save dialog).
#include <windows.h>

#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tests/support/expected_language.h"
#include "tests/support/registry_tree.h"
#include "tools/installed_library.h"
#include "tools/pointer_files.h"
#include "tools/scratch_folder.h"
#include "tools/shell_host.h"

namespace {

namespace fs = std::filesystem;
using pivora::host::ContextMenu;
using pivora::host::FindContextMenuHandlers;
using pivora::host::HandlerEntry;
using pivora::host::IdsOfText;
using pivora::host::MenuItem;
using pivora::testing::RegistrySnapshot;
using pivora::testing::Regsvr32;
using pivora::testing::StoredRoles;

constexpr CLSID kHandlerClass = {
    0x3A7C52E1, 0x9D04, 0x4B8E, {0xA6, 0xF3, 0x1C, 0x2D, 0x8E, 0x90, 0x5B, 0x47}};
const std::wstring kClass = L"{3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47}";
constexpr CLSID kPackHandlerClass = {
    0x8D2F4A61, 0x3B7E, 0x4C95, {0x9E, 0x1A, 0x52, 0xC7, 0xF0, 0xB3, 0xD6, 0x48}};
const std::wstring kHandlers = L"\\ShellEx\\ContextMenuHandlers";
constexpr wchar_t kCursorsKey[] = L"Control Panel\\Cursors";
constexpr UINT kRoleCount = 15;
constexpr UINT kSaveSchemeId = 17;  // the handler's identifiers start at 1 in the host's menu

using pivora::testing::CzechExpected;

void SetText(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value,
             DWORD type = REG_SZ) {
  ASSERT_EQ(RegSetKeyValueW(root, key.c_str(), name, type, value.c_str(),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

class ShellHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    const auto written = pivora::pointer_files::WriteSamplePointers(root_ / L"Blue");
    ASSERT_TRUE(written.ok()) << written.error;
    SHDeleteKeyW(HKEY_CURRENT_USER, kCursorsKey);
    ASSERT_EQ(Regsvr32(), 0u);
  }
  void TearDown() override {
    Regsvr32(true);
    // The folder goes with the fixture: nothing may hold it as its current folder.
    SetCurrentDirectoryW(root_.parent_path().c_str());
    CoUninitialize();
  }

  fs::path Pointer(const std::string& file) const { return root_ / L"Blue" / Wide(file); }

  // Every role set to its sample pointer, as after a scheme of them was applied.
  std::map<std::wstring, std::wstring> SetEveryRole() const {
    for (const auto& sample : pivora::pointer_files::SamplePointers()) {
      SetText(HKEY_CURRENT_USER, kCursorsKey, Wide(sample.value_name).c_str(),
              Pointer(sample.file_name).wstring(), REG_EXPAND_SZ);
    }
    return StoredRoles();
  }

  // Everything registration and the tests touch goes back as it was.
  RegistrySnapshot classes_{
      HKEY_CLASSES_ROOT,
      {L".crs", L"Pivora.crs.1", L"AppID\\{6E1B9F34-C2A7-45D0-8B6E-7F3A210C94D5}",
       L"AppID\\Pivora.DLL", L"CLSID\\" + kClass, L".cur", L".ani", L"curfile", L"anifile",
       L"SystemFileAssociations\\.cur", L"SystemFileAssociations\\.ani"}};
  RegistrySnapshot approved_{
      HKEY_LOCAL_MACHINE,
      {L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved"}};
  RegistrySnapshot cursors_{HKEY_CURRENT_USER, {kCursorsKey}};
  pivora::ScratchFolder scratch_{L"host"};
  const fs::path& root_ = scratch_.path();
};

TEST_F(ShellHostTest, TheCursorFileTypesLeadToTheHandlerAndItsMenu) {
  for (const char* file : {"Arrow.cur", "Wait.ani"}) {
    SCOPED_TRACE(file);
    const std::vector<HandlerEntry> handlers = FindContextMenuHandlers(Pointer(file));
    ASSERT_EQ(handlers.size(), 2u);
    EXPECT_TRUE(IsEqualCLSID(handlers[0].clsid, kHandlerClass));
    EXPECT_TRUE(IsEqualCLSID(handlers[1].clsid, kPackHandlerClass));
    EXPECT_EQ(handlers[0].key, (std::string(file).ends_with(".cur") ? L"curfile" : L"anifile") +
                                   kHandlers + L"\\" + kClass);
  }
  // Handwriting has no system pointer, so its preview comes from the settings alone.
  SetText(HKEY_CURRENT_USER, kCursorsKey, L"NWPen", Pointer("NWPen.cur").wstring(), REG_EXPAND_SZ);

  const ContextMenu menu(Pointer("Hand.cur"));
  EXPECT_TRUE(menu.problems().empty());
  ASSERT_EQ(menu.handlers().size(), 2u);
  EXPECT_EQ(menu.RangeOf(0), std::make_pair(1u, 18u));
  EXPECT_EQ(menu.CountOf(1), 0u) << "the pack handler adds nothing for one file";
  const std::vector<MenuItem> items = menu.Items();
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0].text, CzechExpected() ? L"Změnit ukazatel" : L"Change Cursor");
  EXPECT_TRUE(items[0].picture);
  const std::vector<MenuItem>& roles = items[0].submenu;
  ASSERT_EQ(roles.size(), kRoleCount + 2);
  for (UINT role = 0; role < kRoleCount; ++role) {
    SCOPED_TRACE(role);
    EXPECT_EQ(roles[role].id, role + 1);
    EXPECT_TRUE(roles[role].picture);
    EXPECT_FALSE(roles[role].text.empty());
    // The help text names the role as the item does.
    EXPECT_NE(roles[role].help.find(L"\"" + roles[role].text + L"\""), std::wstring::npos)
        << std::string(roles[role].help.begin(), roles[role].help.end());
  }
  EXPECT_EQ(roles[0].text, CzechExpected() ? L"Normální výběr" : L"Normal Select");
  EXPECT_TRUE(roles[kRoleCount].separator);
  EXPECT_EQ(roles[kRoleCount + 1].id, kSaveSchemeId);
  EXPECT_EQ(roles[kRoleCount + 1].text, CzechExpected() ? L"Uložit schéma..." : L"Save Scheme...");
  EXPECT_FALSE(roles[kRoleCount + 1].help.empty());
}

TEST_F(ShellHostTest, AnExtensionWithoutAFileTypeIsReachedThroughItsSystemAssociations) {
  ASSERT_EQ(Regsvr32(true), 0u);
  RegDeleteKeyValueW(HKEY_CLASSES_ROOT, L".cur", nullptr);
  ASSERT_EQ(Regsvr32(), 0u);

  const std::vector<HandlerEntry> handlers = FindContextMenuHandlers(Pointer("Arrow.cur"));
  ASSERT_EQ(handlers.size(), 2u);
  EXPECT_EQ(handlers[0].key, L"SystemFileAssociations\\.cur" + kHandlers + L"\\" + kClass);
  const ContextMenu menu(Pointer("Arrow.cur"));
  ASSERT_EQ(menu.Items().size(), 1u);
  EXPECT_EQ(menu.Items()[0].submenu.size(), kRoleCount + 2);

  // Unregistration finds the key there too.
  ASSERT_EQ(Regsvr32(true), 0u);
  EXPECT_TRUE(FindContextMenuHandlers(Pointer("Arrow.cur")).empty());
  const ContextMenu none(Pointer("Arrow.cur"));
  EXPECT_TRUE(none.Items().empty());
  EXPECT_FALSE(none.problems().empty());
}

TEST_F(ShellHostTest, AHandlerKeyNamedByAFriendlyNameCountsOnce) {
  SetText(HKEY_CLASSES_ROOT, L"curfile" + kHandlers + L"\\Pivora", nullptr, kClass);
  SetText(HKEY_CLASSES_ROOT, L"curfile" + kHandlers + L"\\NotAClass", nullptr, L"Pivora.crs.1");
  const std::vector<HandlerEntry> handlers = FindContextMenuHandlers(Pointer("Arrow.cur"));
  ASSERT_EQ(handlers.size(), 2u);  // the role menu once, and the pack handler
  EXPECT_TRUE(IsEqualCLSID(handlers[0].clsid, kHandlerClass));
  EXPECT_TRUE(IsEqualCLSID(handlers[1].clsid, kPackHandlerClass));
}

TEST_F(ShellHostTest, ChoosingARoleMakesTheFileThatRolesPointer) {
  const std::map<std::wstring, std::wstring> before = SetEveryRole();
  const ContextMenu menu(Pointer("Hand.cur"));
  ASSERT_EQ(menu.handlers().size(), 2u);
  ASSERT_EQ(menu.Choose(5, nullptr), S_OK);  // "Precision Select"

  std::map<std::wstring, std::wstring> expected = before;
  expected[L"Crosshair"] = Pointer("Hand.cur").wstring();
  EXPECT_EQ(StoredRoles(), expected);
  EXPECT_EQ(menu.Choose(kSaveSchemeId + 2, nullptr), E_INVALIDARG);  // not the handler's
}

TEST_F(ShellHostTest, AnItemIsFoundByItsWholeTextInTheMenusLanguage) {
  const ContextMenu menu(Pointer("Hand.cur"));
  const std::vector<MenuItem> items = menu.Items();
  EXPECT_EQ(IdsOfText(items, CzechExpected() ? L"Přesný výběr" : L"Precision Select"),
            std::vector<UINT>{5});
  EXPECT_EQ(IdsOfText(items, CzechExpected() ? L"Uložit schéma..." : L"Save Scheme..."),
            std::vector<UINT>{kSaveSchemeId});
  // Not a part of the text, nor another case of it, nor the item that only opens the submenu.
  EXPECT_TRUE(IdsOfText(items, CzechExpected() ? L"Přesný" : L"Precision").empty());
  EXPECT_TRUE(IdsOfText(items, CzechExpected() ? L"přesný výběr" : L"precision select").empty());
  EXPECT_TRUE(IdsOfText(items, CzechExpected() ? L"Změnit ukazatel" : L"Change Cursor").empty());
  EXPECT_TRUE(IdsOfText(items, CzechExpected() ? L"Precision Select" : L"Přesný výběr").empty());
}

TEST(MenuTextTest, EveryHandlersItemOfThatTextIsFoundInMenuOrder) {
  MenuItem shells;  // an item of the file manager's own: no handler's identifier
  shells.id = 40;
  shells.text = L"Open";
  MenuItem first;
  first.id = 3;
  first.text = L"Open";
  first.handled = true;
  MenuItem separator;
  separator.separator = true;
  separator.handled = true;
  MenuItem group;
  group.id = 9;
  group.text = L"More";
  group.handled = true;
  MenuItem second = first;
  second.id = 12;
  group.submenu = {separator, second};
  const std::vector<MenuItem> items = {shells, first, group};
  EXPECT_EQ(IdsOfText(items, L"Open"), (std::vector<UINT>{3, 12}));
  EXPECT_TRUE(IdsOfText(items, L"More").empty());
  EXPECT_TRUE(IdsOfText(items, L"").empty());
}

TEST_F(ShellHostTest, ASavedSchemeAppliedThroughTheVerbGivesBackTheSameSettings) {
  std::map<std::wstring, std::wstring> saved = SetEveryRole();
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kCursorsKey, L"Help");  // a role left to the system
  saved[L"Help"] = L"<absent>";

  const fs::path scheme = root_ / L"My Schemes" / L"Blue";
  fs::create_directories(scheme.parent_path());
  {
    const ContextMenu menu(Pointer("Arrow.cur"));
    pivora::host::SaveDialogAnswer answer(scheme.wstring());
    ASSERT_EQ(menu.Choose(kSaveSchemeId, nullptr), S_OK);
    ASSERT_TRUE(answer.Finish());
  }
  // The dialog adds the extension; pointers beside the scheme are named relatively.
  const std::string text = ReadFile(scheme.wstring() + L".crs");
  EXPECT_NE(text.find("[Arrow]\r\nPath=..\\Blue\\Arrow.cur\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[Help]\r\nPath=\r\n"), std::string::npos) << text;

  SHDeleteKeyW(HKEY_CURRENT_USER, kCursorsKey);
  SetText(HKEY_CURRENT_USER, kCursorsKey, L"Help", L"C:\\elsewhere\\help.cur", REG_EXPAND_SZ);
  // Relative entries resolve from the scheme's folder, wherever the verb is run from.
  SetCurrentDirectoryW(root_.parent_path().c_str());
  DWORD exitCode = 1;
  ASSERT_EQ(pivora::host::RunVerb(scheme.wstring() + L".crs", L"apply", &exitCode), S_OK);
  EXPECT_EQ(exitCode, 0u);
  EXPECT_EQ(StoredRoles(), saved);
}

// A folder of pointer files named as the settings name their roles, selected whole, as the file
// manager hands a selection to the handlers of the focused file's type: the role menu, which
// serves one file, stays out, and the pack handler's one item installs the files for the current
// user, in a pack named after the folder, telling which roles were left as they were. The
// installed pack's scheme uninstalls it again.
TEST_F(ShellHostTest, ASelectedFolderOfPointerFilesInstallsAsAPackAndGoesAgain) {
  const std::map<std::wstring, std::wstring> before = SetEveryRole();
  std::vector<std::wstring> files;
  for (const auto& sample : pivora::pointer_files::SamplePointers()) {
    files.push_back(Pointer(sample.file_name).wstring());
  }
  const ContextMenu menu(files);
  ASSERT_EQ(menu.handlers().size(), 1u);
  EXPECT_TRUE(IsEqualCLSID(menu.handlers()[0].clsid, kPackHandlerClass));
  EXPECT_EQ(menu.problems().size(), 1u) << "the role menu refuses a selection";
  const std::vector<MenuItem> items = menu.Items();
  ASSERT_EQ(items.size(), 1u);
  const std::wstring install =
      CzechExpected() ? L"Nainstalovat sadu ukazatelů" : L"Install Cursor Pack";
  EXPECT_EQ(items[0].text, install);
  EXPECT_TRUE(items[0].picture);
  EXPECT_FALSE(items[0].help.empty());
  std::vector<std::wstring> told;
  {
    pivora::host::MessageAnswers answers;
    ASSERT_EQ(menu.Choose(items[0].id, nullptr), S_OK);
    told = answers.Finish();
  }
  wchar_t local[MAX_PATH] = {};
  ASSERT_GT(GetEnvironmentVariableW(L"LOCALAPPDATA", local, MAX_PATH), 0u);
  const fs::path pack = fs::path(local) / L"Pivora" / L"Cursors" / L"Blue";
  std::map<std::wstring, std::wstring> expected;
  for (const auto& sample : pivora::pointer_files::SamplePointers()) {
    expected[Wide(sample.value_name)] = (pack / Wide(sample.file_name)).wstring();
  }
  std::map<std::wstring, std::wstring> stored = StoredRoles();
  for (auto role = stored.begin(); role != stored.end();) {
    role = expected.count(role->first) != 0 ? std::next(role) : stored.erase(role);
  }
  EXPECT_EQ(stored, expected);
  // The two roles past the fifteen have no file among them.
  ASSERT_EQ(told.size(), 1u);
  EXPECT_NE(told[0].find(CzechExpected() ? L"Výběr osoby" : L"Person Select"), std::wstring::npos);

  const ContextMenu scheme((pack / L"Blue.crs").wstring());
  const std::vector<UINT> uninstall = IdsOfText(
      scheme.Items(), CzechExpected() ? L"Odinstalovat sadu ukazatelů" : L"Uninstall Cursor Pack");
  ASSERT_EQ(uninstall.size(), 1u);
  {
    pivora::host::MessageAnswers answers;
    ASSERT_EQ(scheme.Choose(uninstall[0], nullptr), S_OK);
  }
  EXPECT_EQ(StoredRoles(), before);
  EXPECT_FALSE(fs::exists(pack));

  // One of the files alone keeps the role menu, and nothing more.
  const ContextMenu one(files[0]);
  ASSERT_EQ(one.Items().size(), 1u);
  EXPECT_EQ(one.Items()[0].submenu.size(), kRoleCount + 2);
}

}  // namespace

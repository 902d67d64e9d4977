// The pack handler as the shell uses it: "Install Cursor Pack" on a pack's INF and nothing on
// another, and choosing it installs the pack, says which roles kept their pointer, or says that
// it could not install; "Uninstall Cursor Pack" on an installed pack's INF and scheme; "Install
// Cursor Pack" on a selection of several pointer files of one folder, and nothing on one alone.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "platform/path_rules_win32.h"
#include "platform/text.h"
#include "shellext/cursor_pack_ext.h"
#include "tests/support/expected_language.h"
#include "tests/support/seam_faults.h"
#include "tests/support/test_platform.h"
#include "tests/windows/quiet_windows.h"
#include "tools/shell_objects.h"

namespace pivora {
namespace {

using testing::DropDataObject;
using testing::TestPlatform;

using testing::CzechExpected;

class CursorPackExtTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bed.MakeFolder(bed.PathOf(u"Pack"));
    bed.WriteFile(bed.PathOf(u"Pack\\a.cur"), "arrow");
    bed.WriteFile(bed.PathOf(u"Pack\\install.inf"),
                  "[DefaultInstall]\r\nAddReg=R\r\n[R]\r\n"
                  "HKCU,\"Control Panel\\Cursors\\Schemes\",Test,,\"a.cur,,,busy.ani\"\r\n");
    bed.WriteFile(bed.PathOf(u"driver.inf"), "[Version]\r\nClass=Display\r\n");
    ASSERT_EQ(CreateStandalone<CCursorPackExt>(IID_IContextMenu, reinterpret_cast<void**>(&menu)),
              S_OK);
    static_cast<CCursorPackExt*>(menu)->UseSeams(seams);
  }
  void TearDown() override { menu->Release(); }

  HRESULT Select(std::u16string_view path) { return SelectAll({std::u16string(path)}); }
  HRESULT SelectAll(const std::vector<std::u16string>& paths) {
    IShellExtInit* init = nullptr;
    menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init));
    std::vector<std::wstring> files;
    for (const std::u16string& path : paths) files.emplace_back(path.begin(), path.end());
    DropDataObject data(files);
    const HRESULT result = init->Initialize(nullptr, &data, nullptr);
    init->Release();
    return result;
  }

  // The items the handler adds to an empty menu, by their texts; their identifiers in `ids`.
  std::vector<std::wstring> MenuItems(HRESULT& result) {
    const HMENU shellMenu = CreatePopupMenu();
    result = menu->QueryContextMenu(shellMenu, 0, 100, 200, CMF_NORMAL);
    std::vector<std::wstring> items;
    ids.clear();
    for (int i = 0; i < GetMenuItemCount(shellMenu); ++i) {
      wchar_t text[128] = {};
      GetMenuStringW(shellMenu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
      items.push_back(text);
      ids.push_back(GetMenuItemID(shellMenu, i));
    }
    DestroyMenu(shellMenu);
    return items;
  }

  HRESULT Choose(UINT offset = 0) {
    CMINVOKECOMMANDINFO info{};
    info.cbSize = sizeof(info);
    info.lpVerb = MAKEINTRESOURCEA(offset);
    return menu->InvokeCommand(&info);
  }

  std::vector<UINT> ids;

  TestPlatform bed;
  testing::QuietWindows windows;
  Win32PathRules paths;
  testing::CountingPause noPause;
  ShellSeams seams{bed.registry(), bed.reloader(), paths,
                   windows,        bed.files(),    Win32ShellSeams().pngDecoders,
                   noPause};
  IContextMenu* menu = nullptr;
};

TEST_F(CursorPackExtTest, APacksINFGetsOneItemThatInstallsIt) {
  ASSERT_EQ(Select(bed.PathOf(u"Pack\\install.inf")), S_OK);
  HRESULT result = E_FAIL;
  EXPECT_EQ(MenuItems(result),
            std::vector<std::wstring>{CzechExpected() ? L"Nainstalovat sadu ukazatelů"
                                                      : L"Install Cursor Pack"});
  EXPECT_EQ(result, MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1));
  EXPECT_EQ(ids, std::vector<UINT>{100});

  EXPECT_EQ(Choose(), S_OK);
  const std::u16string folder = bed.PathOf(u"Local\\Pivora\\Cursors\\Test");
  const std::optional<testing::StoredValue> arrow = bed.Stored(u"Arrow");
  ASSERT_TRUE(arrow);
  EXPECT_EQ(arrow->text, folder + u"\\a.cur" + std::u16string(1, u'\0'));
  ASSERT_EQ(windows.messages.size(), 1u) << "the role whose file is missing is named";
  EXPECT_EQ(windows.messages[0],
            CzechExpected() ? u"Sada ukazatelů: Sada je nainstalována, ale pro tyto ukazatele nemá "
                              u"soubor, a proto zůstaly beze změny:\n\nZaneprázdněn"
                            : u"Cursor Pack: The pack is installed, but it has no file for these "
                              u"pointers, which were left as they were:\n\nBusy");
  EXPECT_EQ(windows.kinds, std::vector<MessageKind>{MessageKind::kWarning});

  wchar_t help[128] = {};
  EXPECT_EQ(menu->GetCommandString(0, GCS_HELPTEXTW, nullptr, reinterpret_cast<CHAR*>(help), 128),
            S_OK);
  EXPECT_NE(help[0], L'\0');
  EXPECT_EQ(menu->GetCommandString(2, GCS_VALIDATEW, nullptr, nullptr, 0), S_FALSE);
}

// Once installed, the pack's INF and the scheme in its folder offer the uninstall (offset 1),
// which puts back what was there before; a scheme anywhere else offers nothing.
TEST_F(CursorPackExtTest, AnInstalledPackIsUninstalledFromItsINFOrItsScheme) {
  bed.WriteFile(bed.PathOf(u"Pack\\own.crs"), "[Arrow]\r\nPath=a.cur\r\n");
  const std::wstring uninstall =
      CzechExpected() ? L"Odinstalovat sadu ukazatelů" : L"Uninstall Cursor Pack";
  ASSERT_EQ(Select(bed.PathOf(u"Pack\\install.inf")), S_OK);
  ASSERT_EQ(Choose(), S_OK);
  HRESULT result = E_FAIL;
  ASSERT_EQ(Select(bed.PathOf(u"Pack\\install.inf")), S_OK);
  EXPECT_EQ(MenuItems(result).at(1), uninstall);
  EXPECT_EQ(ids, (std::vector<UINT>{100, 101}));
  EXPECT_EQ(result, MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2));

  ASSERT_EQ(Select(bed.PathOf(u"Pack\\own.crs")), S_OK);
  EXPECT_TRUE(MenuItems(result).empty());
  const std::u16string folder = bed.PathOf(u"Local\\Pivora\\Cursors\\Test");
  ASSERT_EQ(Select(folder + u"\\Test.crs"), S_OK);
  EXPECT_EQ(MenuItems(result), std::vector<std::wstring>{uninstall});
  EXPECT_EQ(ids, std::vector<UINT>{101});
  EXPECT_EQ(result, MAKE_HRESULT(SEVERITY_SUCCESS, 0, 2));
  wchar_t help[128] = {};
  EXPECT_EQ(menu->GetCommandString(1, GCS_HELPTEXTW, nullptr, reinterpret_cast<CHAR*>(help), 128),
            S_OK);
  EXPECT_NE(help[0], L'\0');

  windows.messages.clear();
  EXPECT_EQ(Choose(1), S_OK);
  EXPECT_FALSE(bed.Stored(u"Arrow")) << "the pointer the install found was the system's";
  EXPECT_FALSE(bed.files().Exists(folder));
  EXPECT_TRUE(windows.messages.empty()) << "nothing was kept";
  ASSERT_EQ(Select(bed.PathOf(u"Pack\\install.inf")), S_OK);
  EXPECT_EQ(MenuItems(result).size(), 1u) << "uninstalled: the INF offers the install again";
  EXPECT_EQ(Choose(1), E_FAIL) << "nothing to uninstall";
}

// A scheme the person saved in the pack's folder offers nothing, and loses nothing when the
// record names it by its short name: only a long name of the folder is removed.
TEST_F(CursorPackExtTest, OnlyWhatTheInstallWroteOffersTheUninstallOrIsRemoved) {
  ASSERT_EQ(Select(bed.PathOf(u"Pack\\install.inf")), S_OK);
  ASSERT_EQ(Choose(), S_OK);
  const std::u16string folder = bed.PathOf(u"Local\\Pivora\\Cursors\\Test");
  const std::u16string mine = folder + u"\\My own scheme.crs";
  bed.WriteFile(mine, "[Arrow]\r\nPath=a.cur\r\n");
  HRESULT result = E_FAIL;
  ASSERT_EQ(Select(mine), S_OK);
  EXPECT_TRUE(MenuItems(result).empty());

  wchar_t shortPath[MAX_PATH] = {};
  ASSERT_NE(GetShortPathNameW(reinterpret_cast<const wchar_t*>(mine.c_str()), shortPath, MAX_PATH),
            0u);
  const std::wstring shortName = std::wcsrchr(shortPath, L'\\') + 1;
  ASSERT_NE(shortName, L"My own scheme.crs");
  const std::u16string recordPath = folder + u"\\Pivora.source";
  std::string record = bed.ReadFile(recordPath).value_or("");
  record.insert(record.find(":before"), std::string(shortName.begin(), shortName.end()) + "\r\n");
  bed.WriteFile(recordPath, record);
  ASSERT_EQ(Select(folder + u"\\Test.crs"), S_OK);
  EXPECT_EQ(Choose(1), S_OK);
  EXPECT_EQ(bed.ReadFile(mine), "[Arrow]\r\nPath=a.cur\r\n");
  EXPECT_FALSE(bed.files().Exists(folder + u"\\Test.crs"));
}

TEST_F(CursorPackExtTest, AnotherINFGetsNothing) {
  ASSERT_EQ(Select(bed.PathOf(u"driver.inf")), S_OK);
  HRESULT result = E_FAIL;
  EXPECT_TRUE(MenuItems(result).empty());
  EXPECT_EQ(result, S_OK);
}

TEST_F(CursorPackExtTest, APackThatCannotBeInstalledSaysSo) {
  ASSERT_EQ(Select(bed.PathOf(u"Pack\\install.inf")), S_OK);
  SetEnvironmentVariableW(L"LOCALAPPDATA", nullptr);
  EXPECT_EQ(Choose(), E_FAIL);
  ASSERT_EQ(windows.messages.size(), 1u);
  EXPECT_TRUE(windows.messages[0].find(CzechExpected() ? u"nepodařilo" : u"Cannot install") !=
              std::u16string::npos);
  EXPECT_EQ(windows.kinds, std::vector<MessageKind>{MessageKind::kError});
  EXPECT_FALSE(bed.Stored(u"Arrow"));
}

TEST_F(CursorPackExtTest, APackWithoutItsFilesSaysSoAndInstallsNothing) {
  ASSERT_EQ(Select(bed.PathOf(u"Pack\\install.inf")), S_OK);
  DeleteFileW(reinterpret_cast<const wchar_t*>(bed.PathOf(u"Pack\\a.cur").c_str()));
  EXPECT_EQ(Choose(), E_FAIL);
  ASSERT_EQ(windows.messages.size(), 1u);
  EXPECT_TRUE(windows.messages[0].find(CzechExpected() ? u"nebylo nic" : u"nothing was") !=
              std::u16string::npos);
  EXPECT_FALSE(bed.files().Exists(bed.PathOf(u"Local\\Pivora")));
}

// Several pointer files of one folder get "Install Cursor Pack" at offset 0, decided from their
// names alone: not one file call, so names of files that are not there get it too. One pointer
// file alone, files of two folders, a pointer file among others, or more files than a pack can
// have get nothing.
TEST_F(CursorPackExtTest, SeveralPointerFilesOfOneFolderGetTheItemFromTheirNamesAlone) {
  testing::FaultyFiles counted(bed.files());
  int fileCalls = 0;
  counted.fault = [&](std::string_view) {
    ++fileCalls;
    return status::kSuccess;
  };
  ShellSeams counting{bed.registry(), bed.reloader(), paths,
                      windows,        counted,        Win32ShellSeams().pngDecoders,
                      noPause};
  static_cast<CCursorPackExt*>(menu)->UseSeams(counting);
  const std::u16string longFolder = u"\\\\?\\C:\\" + std::u16string(300, u'l');
  std::vector<std::u16string> tooMany;
  for (int i = 0; i <= 1000; ++i)
    tooMany.push_back(bed.PathOf(u"Set\\" + DecimalText(i) + u".cur"));
  const struct {
    const char* name;
    std::vector<std::u16string> paths;
    bool served;
  } cases[] = {
      {"two", {bed.PathOf(u"Set\\Arrow.cur"), bed.PathOf(u"Set\\Wait.ani")}, true},
      {"a thousand", std::vector<std::u16string>(tooMany.begin(), tooMany.end() - 1), true},
      {"one more", tooMany, false},
      {"one alone", {bed.PathOf(u"Set\\Arrow.cur")}, false},
      {"two folders", {bed.PathOf(u"Set\\Arrow.cur"), bed.PathOf(u"Pack\\a.cur")}, false},
      {"with the INF", {bed.PathOf(u"Pack\\a.cur"), bed.PathOf(u"Pack\\install.inf")}, false},
      {"longer than MAX_PATH", {longFolder + u"\\Arrow.cur", longFolder + u"\\Hand.cur"}, true},
  };
  const std::wstring install =
      CzechExpected() ? L"Nainstalovat sadu ukazatelů" : L"Install Cursor Pack";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(SelectAll(c.paths), S_OK);
    HRESULT result = E_FAIL;
    EXPECT_EQ(MenuItems(result),
              c.served ? std::vector<std::wstring>{install} : std::vector<std::wstring>{});
    EXPECT_EQ(result, c.served ? MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1) : S_OK);
    if (c.served) {
      EXPECT_EQ(ids, std::vector<UINT>{100});
    }
  }
  EXPECT_EQ(fileCalls, 0);
  // No path is longer than Windows' longest; an INF is taken only as the handler of one file
  // takes it, within MAX_PATH.
  EXPECT_EQ(SelectAll({u"C:\\" + std::u16string(32764, u'l') + u".cur", cases[0].paths[0]}),
            E_INVALIDARG);
  EXPECT_EQ(Select(longFolder + u"\\install.inf"), E_INVALIDARG);
  ASSERT_EQ(SelectAll(cases[0].paths), S_OK);
  EXPECT_EQ(Choose(1), E_INVALIDARG) << "no uninstall on a selection";
}

// Choosing the item builds the pack from the whole selection as the files are then: a file gone
// since the menu was built keeps its role's pointer, a name that fits no role is no part of the
// pack, and the folder's name is the pack's. Its scheme then uninstalls it.
TEST_F(CursorPackExtTest, ASelectionIsInstalledAsItIsWhenChosenAndUninstalledFromItsScheme) {
  bed.MakeFolder(bed.PathOf(u"Set"));
  std::vector<std::u16string> selected;
  for (const char16_t* name : {u"Arrow.cur", u"Wait.ani", u"Hand.cur", u"Spare.cur"}) {
    selected.push_back(bed.PathOf(u"Set\\") + name);
    bed.WriteFile(selected.back(), "pointer");
  }
  ASSERT_EQ(SelectAll(selected), S_OK);
  HRESULT result = E_FAIL;
  ASSERT_EQ(MenuItems(result).size(), 1u);
  DeleteFileW(reinterpret_cast<const wchar_t*>(selected[2].c_str()));

  EXPECT_EQ(Choose(), S_OK);
  const std::u16string folder = bed.PathOf(u"Local\\Pivora\\Cursors\\Set");
  for (const char16_t* role : {u"Arrow", u"Wait"}) {
    const std::optional<testing::StoredValue> stored = bed.Stored(role);
    ASSERT_TRUE(stored) << testing::Narrow(role);
    EXPECT_EQ(stored->text.substr(0, folder.size() + 1), folder + u"\\");
  }
  EXPECT_FALSE(bed.Stored(u"Hand")) << "its file was gone when the item was chosen";
  EXPECT_FALSE(bed.files().Exists(folder + u"\\Spare.cur"));
  ASSERT_EQ(windows.messages.size(), 1u) << "the roles left as they were are named";
  EXPECT_NE(windows.messages[0].find(CzechExpected() ? u"Výběr spojení" : u"Link Select"),
            std::u16string::npos);
  EXPECT_EQ(windows.kinds, std::vector<MessageKind>{MessageKind::kWarning});

  windows.messages.clear();
  ASSERT_EQ(Select(folder + u"\\Set.crs"), S_OK);
  EXPECT_EQ(MenuItems(result).size(), 1u);
  EXPECT_EQ(Choose(1), S_OK);
  EXPECT_FALSE(bed.Stored(u"Arrow"));
  EXPECT_FALSE(bed.files().Exists(folder));
}

// A selection whose names fit no role says that the pack has no files, and installs nothing.
TEST_F(CursorPackExtTest, ASelectionOfNoRolesFilesSaysSoAndInstallsNothing) {
  ASSERT_EQ(SelectAll({bed.PathOf(u"Set\\one.cur"), bed.PathOf(u"Set\\two.ani")}), S_OK);
  EXPECT_EQ(Choose(), E_FAIL);
  ASSERT_EQ(windows.messages.size(), 1u);
  EXPECT_TRUE(windows.messages[0].find(CzechExpected() ? u"vybraných" : u"selected") !=
              std::u16string::npos);
  EXPECT_FALSE(bed.files().Exists(bed.PathOf(u"Local\\Pivora")));
}

}  // namespace
}  // namespace pivora

// Help texts and the role command, through the library's exports as the shell calls them.
// HKEY_CURRENT_USER is redirected to a scratch key for each test (the library runs in this
// process), so the real registry calls of the library are observed.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/platform_win32.h"
#include "shellext/context_menu_ext.h"
#include "tests/support/expected_language.h"
#include "tests/support/seam_faults.h"
#include "tests/support/test_platform.h"
#include "tests/windows/library.h"
#include "tests/windows/quiet_windows.h"
#include "tools/shell_objects.h"

namespace pivora {
namespace {

using testing::DropDataObject;
using testing::kHandlerClass;
using testing::Library;

using testing::CzechExpected;

class LibraryHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(library.get(), nullptr);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(library.GetClassObject(kHandlerClass, IID_IClassFactory,
                                     reinterpret_cast<void**>(&factory)),
              S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IContextMenu, reinterpret_cast<void**>(&menu)),
              S_OK);
    factory->Release();
  }
  void TearDown() override {
    if (menu != nullptr) menu->Release();
    EXPECT_EQ(library.CanUnloadNow(), S_OK);
  }

  std::wstring HelpW(UINT_PTR offset, UINT size = 260) {
    std::wstring buffer(size, L'#');
    EXPECT_EQ(menu->GetCommandString(offset, GCS_HELPTEXTW, nullptr,
                                     reinterpret_cast<CHAR*>(buffer.data()), size),
              S_OK);
    return buffer.c_str();
  }
  std::string HelpA(UINT_PTR offset) {
    std::string buffer(260, '#');
    EXPECT_EQ(menu->GetCommandString(offset, GCS_HELPTEXTA, nullptr, buffer.data(), 260), S_OK);
    return buffer.c_str();
  }
  HRESULT Invoke(const char* verb) {
    CMINVOKECOMMANDINFO info{};
    info.cbSize = sizeof(info);
    info.lpVerb = verb;
    return menu->InvokeCommand(&info);
  }
  void Select(const std::wstring& path) {
    DropDataObject data({path});
    IShellExtInit* init = nullptr;
    ASSERT_EQ(menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)), S_OK);
    ASSERT_EQ(init->Initialize(nullptr, &data, nullptr), S_OK);
    init->Release();
  }

  testing::TestPlatform bed;  // first: the redirection outlives the handler
  Library library;
  IContextMenu* menu = nullptr;
};

using HelpTextTest = LibraryHandlerTest;

TEST_F(HelpTextTest, RolesGetTheirSentenceAndEverythingElseTheExportText) {
  if (CzechExpected()) {
    EXPECT_EQ(HelpW(0), L"Změnit ukazatel myši používaný pro akci \"Normální výběr\".");
    EXPECT_EQ(HelpW(3), L"Změnit ukazatel myši používaný pro akci \"Zaneprázdněn\".");
    EXPECT_EQ(HelpW(16), L"Exportovat aktuální schéma ukazatelů myši do souboru.");
  } else {
    EXPECT_EQ(HelpW(0), L"Change mouse cursor used for \"Normal Select\".");
    EXPECT_EQ(HelpW(3), L"Change mouse cursor used for \"Busy\".");
    EXPECT_EQ(HelpW(14), L"Change mouse cursor used for \"Link Select\".");
    EXPECT_EQ(HelpW(16), L"Export the current mouse cursor scheme to file.");
  }
  for (UINT_PTR offset : {15u, 17u, 1000u}) EXPECT_EQ(HelpW(offset), HelpW(16)) << offset;
}

TEST_F(HelpTextTest, NarrowTextIsInTheThreadsCodePage) {
  for (UINT_PTR offset : {3u, 16u}) {
    const std::wstring wide = HelpW(offset);
    char expected[520] = {};
    WideCharToMultiByte(CP_THREAD_ACP, 0, wide.c_str(), -1, expected, sizeof(expected), nullptr,
                        nullptr);
    EXPECT_EQ(HelpA(offset), expected);
  }
  if (!CzechExpected()) {
    EXPECT_EQ(HelpA(16), "Export the current mouse cursor scheme to file.");
  }
}

TEST_F(HelpTextTest, TextIsCutToTheBuffer) {
  EXPECT_EQ(HelpW(0, 10), CzechExpected() ? L"Změnit uk" : L"Change mo");
  char narrow[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(menu->GetCommandString(16, GCS_HELPTEXTA, nullptr, narrow, 3), S_OK);
  EXPECT_EQ(std::string(narrow, 4), std::string("Ex\0#", 4));
}

TEST_F(HelpTextTest, NoVerbsAndValidationOfTheMenusOffsets) {
  for (UINT type : {UINT{GCS_VERBA}, UINT{GCS_VERBW}, UINT{GCS_VERBICONW}, 0x3u, 0x7u, 0x10u}) {
    wchar_t buffer[8] = {L'#', L'#'};
    EXPECT_EQ(menu->GetCommandString(0, type, nullptr, reinterpret_cast<CHAR*>(buffer), 8),
              E_INVALIDARG)
        << type;
    EXPECT_EQ(buffer[0], L'#') << type;
  }
  for (UINT type : {GCS_VALIDATEA, GCS_VALIDATEW}) {
    EXPECT_EQ(menu->GetCommandString(0, type, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(menu->GetCommandString(17, type, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(menu->GetCommandString(18, type, nullptr, nullptr, 0), S_FALSE);
  }
  EXPECT_EQ(menu->GetCommandString(0, GCS_HELPTEXTW, nullptr, nullptr, 8), E_INVALIDARG);
  wchar_t untouched[2] = {L'#', L'#'};
  EXPECT_EQ(
      menu->GetCommandString(0, GCS_HELPTEXTW, nullptr, reinterpret_cast<CHAR*>(untouched), 0),
      E_INVALIDARG);
  EXPECT_EQ(untouched[0], L'#');
}

using RoleCommandTest = LibraryHandlerTest;

TEST_F(RoleCommandTest, TheSelectedFileBecomesTheRolesPointer) {
  const std::wstring cross = L"C:\\Pointers\\cross.cur";
  Select(cross);
  EXPECT_EQ(Invoke(MAKEINTRESOURCEA(4)), S_OK);
  const auto crosshair = bed.Stored(u"Crosshair");
  ASSERT_TRUE(crosshair);
  EXPECT_EQ(crosshair->type, static_cast<std::uint32_t>(REG_EXPAND_SZ));
  EXPECT_EQ(crosshair->text, u"C:\\Pointers\\cross.cur" + std::u16string(1, u'\0'));
  EXPECT_EQ(Invoke(MAKEINTRESOURCEA(6)), S_OK);
  EXPECT_TRUE(bed.Stored(u"NWPen"));
}

TEST_F(RoleCommandTest, TextVerbsAndMissingSelectionsWriteNothing) {
  EXPECT_EQ(Invoke(MAKEINTRESOURCEA(0)), E_UNEXPECTED);  // no file selected yet
  Select(L"C:\\Pointers\\arrow.cur");
  EXPECT_EQ(Invoke("open"), E_INVALIDARG);
  EXPECT_EQ(menu->InvokeCommand(nullptr), E_INVALIDARG);
  EXPECT_FALSE(bed.CursorsKeyExists());
}

TEST_F(RoleCommandTest, NoSettingsKeyFailsWithoutWriting) {
  Select(L"C:\\Pointers\\arrow.cur");
  bed.RemoveControlPanelKey();
  EXPECT_EQ(Invoke(MAKEINTRESOURCEA(0)), E_FAIL);
  EXPECT_FALSE(bed.ControlPanelKeyExists());
}

// The reload notification cannot be seen under Wine: a handler built here records it.
TEST(RoleCommandNotificationTest, SentAfterEveryAttemptedWriteAndOnlyThen) {
  testing::TestPlatform bed;
  testing::QuietWindows windows;
  Win32PathRules paths;
  static testing::CountingPause noPause;
  ShellSeams seams{bed.registry(), bed.reloader(), paths,
                   windows,        bed.files(),    Win32ShellSeams().pngDecoders,
                   noPause};
  IContextMenu* menu = nullptr;
  ASSERT_EQ(CreateStandalone<CContextMenuExt>(IID_IContextMenu, reinterpret_cast<void**>(&menu)),
            S_OK);
  static_cast<CContextMenuExt*>(menu)->UseSeams(seams);
  IShellExtInit* init = nullptr;
  menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init));
  DropDataObject data({L"C:\\Pointers\\arrow.cur"});
  ASSERT_EQ(init->Initialize(nullptr, &data, nullptr), S_OK);
  init->Release();
  CMINVOKECOMMANDINFO info{};
  info.cbSize = sizeof(info);

  info.lpVerb = MAKEINTRESOURCEA(0);
  EXPECT_EQ(menu->InvokeCommand(&info), S_OK);
  EXPECT_EQ(bed.reloader().count, 1);

  bed.registry().fault = [](std::string_view call, std::u16string_view) {
    return call == "SetValue" ? status::kAccessDenied : status::kSuccess;
  };
  info.lpVerb = MAKEINTRESOURCEA(1);
  EXPECT_EQ(menu->InvokeCommand(&info), E_FAIL);
  EXPECT_EQ(bed.reloader().count, 2);  // the system reloads the unchanged settings
  EXPECT_FALSE(bed.Stored(u"Help"));

  bed.RemoveControlPanelKey();
  EXPECT_EQ(menu->InvokeCommand(&info), E_FAIL);
  EXPECT_EQ(bed.reloader().count, 2);  // nothing attempted, nothing announced
  menu->Release();
}

}  // namespace
}  // namespace pivora

// The context-menu handler as the file manager drives it: through DllGetClassObject, with the
// shell's own data objects and real menus.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/expected_language.h"
#include "tests/windows/library.h"
#include "tools/scratch_folder.h"
#include "tools/shell_objects.h"

namespace pivora {
namespace {

namespace fs = std::filesystem;
using testing::DropDataObject;
using testing::EmptyDataObject;
using testing::kHandlerClass;
using testing::Library;
using testing::Ptr;

using testing::CzechExpected;

// The shell's data object for files of one folder, as the file manager hands it over.
void ShellDataObject(const std::vector<fs::path>& files, Ptr<IDataObject>& out) {
  Ptr<IShellFolder> desktop;
  ASSERT_EQ(SHGetDesktopFolder(reinterpret_cast<IShellFolder**>(desktop.put())), S_OK);
  Ptr<IShellFolder> folder;
  PIDLIST_ABSOLUTE folderItem = nullptr;
  ASSERT_EQ(
      SHParseDisplayName(files.front().parent_path().c_str(), nullptr, &folderItem, 0, nullptr),
      S_OK);
  ASSERT_EQ(desktop->BindToObject(folderItem, nullptr, IID_IShellFolder, folder.put()), S_OK);
  CoTaskMemFree(folderItem);
  std::vector<PITEMID_CHILD> children;
  for (const fs::path& file : files) {
    std::wstring name = file.filename().wstring();
    PIDLIST_RELATIVE child = nullptr;
    ASSERT_EQ(folder->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, &child, nullptr),
              S_OK);
    children.push_back(static_cast<PITEMID_CHILD>(child));
  }
  const HRESULT result = folder->GetUIObjectOf(nullptr, static_cast<UINT>(children.size()),
                                               const_cast<PCUITEMID_CHILD_ARRAY>(children.data()),
                                               IID_IDataObject, nullptr, out.put());
  for (PITEMID_CHILD child : children) CoTaskMemFree(child);
  ASSERT_EQ(result, S_OK);
}

struct MenuItem {
  UINT id = 0;
  UINT type = 0;
  std::wstring text;
  HMENU submenu = nullptr;
};

MenuItem ItemAt(HMENU menu, UINT position) {
  wchar_t text[256] = {};
  MENUITEMINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING | MIIM_SUBMENU;
  info.dwTypeData = text;
  info.cch = 256;
  EXPECT_TRUE(GetMenuItemInfoW(menu, position, TRUE, &info)) << position;
  return MenuItem{info.wID, info.fType, text, info.hSubMenu};
}

class HandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ASSERT_NE(library.get(), nullptr);
    ASSERT_EQ(library.GetClassObject(kHandlerClass, IID_IClassFactory, factory.put()), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellExtInit, init.put()), S_OK);
    ASSERT_EQ(init->QueryInterface(IID_IContextMenu, menu.put()), S_OK);

    for (const wchar_t* name : {L"arrow.cur", L"busy.ani"}) {
      std::ofstream(folder / name) << "pointer";
    }
  }
  void TearDown() override {
    menu.reset();
    init.reset();
    factory.reset();
    // Every object is gone, so the library may go.
    EXPECT_EQ(library.CanUnloadNow(), S_OK);
    CoUninitialize();
  }

  HRESULT InitializeWith(const std::vector<fs::path>& files) {
    Ptr<IDataObject> data;
    ShellDataObject(files, data);
    return init->Initialize(nullptr, data.get(), nullptr);
  }

  Library library;
  Ptr<IClassFactory> factory;
  Ptr<IShellExtInit> init;
  Ptr<IContextMenu> menu;
  ScratchFolder scratch{L"handler"};
  const fs::path& folder = scratch.path();
};

TEST_F(HandlerTest, OneSelectedFileIsAccepted) {
  EXPECT_EQ(InitializeWith({folder / L"arrow.cur"}), S_OK);
}

TEST_F(HandlerTest, TwoFilesNoFilesAndNoFileNamesAreRefused) {
  EXPECT_EQ(InitializeWith({folder / L"arrow.cur", folder / L"busy.ani"}), E_INVALIDARG);
  EmptyDataObject empty;
  EXPECT_EQ(init->Initialize(nullptr, &empty, nullptr), E_INVALIDARG);
  EXPECT_EQ(empty.getDataCalls, 1);
  EXPECT_EQ(empty.references, 1u);  // not kept
  EXPECT_EQ(init->Initialize(nullptr, nullptr, nullptr), E_INVALIDARG);
}

TEST_F(HandlerTest, SelectionsOfNoneOrTooLongAPathAreRefused) {
  DropDataObject none({});
  EXPECT_EQ(init->Initialize(nullptr, &none, nullptr), E_INVALIDARG);
  // A path the handler could only keep cut short would name another file.
  DropDataObject longest({L"C:\\" + std::wstring(252, L'p') + L".cur"});
  EXPECT_EQ(init->Initialize(nullptr, &longest, nullptr), S_OK);  // 259 characters
  DropDataObject tooLong({L"C:\\" + std::wstring(253, L'p') + L".cur"});
  EXPECT_EQ(init->Initialize(nullptr, &tooLong, nullptr), E_INVALIDARG);
  DropDataObject empty({L""});
  EXPECT_EQ(init->Initialize(nullptr, &empty, nullptr), E_INVALIDARG);
}

TEST_F(HandlerTest, MenuHasChangeCursorWithSeventeenEntries) {
  ASSERT_EQ(InitializeWith({folder / L"arrow.cur"}), S_OK);
  const HMENU shellMenu = CreatePopupMenu();
  for (UINT i = 0; i < 5; ++i) {
    AppendMenuW(shellMenu, MF_STRING, 1 + i, (L"Item " + std::to_wstring(i)).c_str());
  }
  const HRESULT result = menu->QueryContextMenu(shellMenu, 3, 100, 200, CMF_NORMAL);
  EXPECT_EQ(result, MAKE_HRESULT(SEVERITY_SUCCESS, 0, 18));
  ASSERT_EQ(GetMenuItemCount(shellMenu), 6);
  EXPECT_EQ(ItemAt(shellMenu, 2).text, L"Item 2");
  EXPECT_EQ(ItemAt(shellMenu, 4).text, L"Item 3");  // the old fourth moved down

  const bool czech = CzechExpected();
  const MenuItem changeCursor = ItemAt(shellMenu, 3);
  EXPECT_EQ(changeCursor.id, 117u);
  EXPECT_EQ(changeCursor.text, czech ? L"Změnit ukazatel" : L"Change Cursor");
  ASSERT_NE(changeCursor.submenu, nullptr);

  const HMENU submenu = changeCursor.submenu;
  ASSERT_EQ(GetMenuItemCount(submenu), 17);
  const wchar_t* english[] = {L"Normal Select",
                              L"Help Select",
                              L"Working in Background",
                              L"Busy",
                              L"Precision Select",
                              L"Text Select",
                              L"Handwriting",
                              L"Unavailable",
                              L"Vertical Resize",
                              L"Horizontal Resize",
                              L"Diagonal Resize 1",
                              L"Diagonal Resize 2",
                              L"Move",
                              L"Alternate Select",
                              L"Link Select"};
  for (UINT role = 0; role < 15; ++role) {
    const MenuItem item = ItemAt(submenu, role);
    EXPECT_EQ(item.id, 100 + role);
    EXPECT_EQ(item.type, static_cast<UINT>(MFT_STRING)) << role;
    if (!czech) {
      EXPECT_EQ(item.text, english[role]);
    }
    EXPECT_EQ(item.submenu, nullptr);
  }
  EXPECT_EQ(ItemAt(submenu, 3).text, czech ? L"Zaneprázdněn" : L"Busy");
  const MenuItem separator = ItemAt(submenu, 15);
  EXPECT_EQ(separator.id, 115u);
  EXPECT_EQ(separator.type, static_cast<UINT>(MFT_SEPARATOR));
  const MenuItem save = ItemAt(submenu, 16);
  EXPECT_EQ(save.id, 116u);
  EXPECT_EQ(save.text, czech ? L"Uložit schéma..." : L"Save Scheme...");
  DestroyMenu(shellMenu);
}

TEST_F(HandlerTest, DefaultOnlyAndNarrowRangesAddNothing) {
  ASSERT_EQ(InitializeWith({folder / L"arrow.cur"}), S_OK);
  const HMENU shellMenu = CreatePopupMenu();
  EXPECT_EQ(menu->QueryContextMenu(shellMenu, 0, 100, 200, CMF_DEFAULTONLY), S_OK);
  // Seventeen identifiers are one too few: the handler takes none of another handler's.
  EXPECT_EQ(menu->QueryContextMenu(shellMenu, 0, 100, 116, CMF_NORMAL), S_OK);
  EXPECT_EQ(menu->QueryContextMenu(shellMenu, 0, 100, 50, CMF_NORMAL), S_OK);
  EXPECT_EQ(GetMenuItemCount(shellMenu), 0);
  // Exactly eighteen are enough, and other flags change nothing.
  EXPECT_EQ(menu->QueryContextMenu(shellMenu, 0, 100, 117, CMF_VERBSONLY | CMF_EXPLORE),
            MAKE_HRESULT(SEVERITY_SUCCESS, 0, 18));
  EXPECT_EQ(GetMenuItemCount(shellMenu), 1);
  DestroyMenu(shellMenu);
}

TEST_F(HandlerTest, MenuCanBeBuiltAgain) {
  ASSERT_EQ(InitializeWith({folder / L"busy.ani"}), S_OK);
  const HMENU shellMenu = CreatePopupMenu();
  EXPECT_EQ(HRESULT_CODE(menu->QueryContextMenu(shellMenu, 0, 1, 100, CMF_NORMAL)), 18);
  EXPECT_EQ(HRESULT_CODE(menu->QueryContextMenu(shellMenu, 1, 30, 100, CMF_NORMAL)), 18);
  ASSERT_EQ(GetMenuItemCount(shellMenu), 2);
  EXPECT_EQ(ItemAt(shellMenu, 1).id, 47u);
  EXPECT_NE(ItemAt(shellMenu, 0).submenu, ItemAt(shellMenu, 1).submenu);
  DestroyMenu(shellMenu);
}

}  // namespace
}  // namespace pivora

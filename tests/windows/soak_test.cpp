// The menu opened and closed as often as a long day in the file manager opens it: a handler
// made through the library's exports, initialised, asked for its menu with every preview and
// for its help texts, then released. Nothing may stay behind: no bitmap of any menu, no
// growing memory, no object keeping the library loaded.
#include <windows.h>

#include <psapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/registry_tree.h"
#include "tests/windows/library.h"
#include "tools/pointer_files.h"
#include "tools/scratch_folder.h"
#include "tools/shell_objects.h"

namespace pivora {
namespace {

namespace fs = std::filesystem;
using testing::DropDataObject;
using testing::kHandlerClass;
using testing::Library;
using testing::Ptr;
using testing::RegistrySnapshot;

constexpr int kOpenings = 2000;
constexpr int kWarmUp = 200;  // heaps and caches settle first
constexpr UINT kIdentifiers = 18;
// Far below what one leaked preview per opening (a 13x13 bitmap) would add up to.
constexpr SIZE_T kAllowedGrowth = 256 * 1024;

// The memory committed to the process alone (Wine 8 leaves PrivateUsage at 0 but keeps this).
SIZE_T PrivateBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  return counters.PagefileUsage;
}

// Every bitmap the menu shows: the glyph beside the top item and each role's preview.
std::vector<HBITMAP> PicturesOf(HMENU menu) {
  std::vector<HBITMAP> pictures;
  for (int position = 0; position < GetMenuItemCount(menu); ++position) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_CHECKMARKS | MIIM_BITMAP | MIIM_SUBMENU;
    GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info);
    for (HBITMAP picture : {info.hbmpUnchecked, info.hbmpChecked, info.hbmpItem}) {
      if (picture != nullptr && picture != HBMMENU_CALLBACK) pictures.push_back(picture);
    }
    if (info.hSubMenu != nullptr) {
      const std::vector<HBITMAP> inner = PicturesOf(info.hSubMenu);
      pictures.insert(pictures.end(), inner.begin(), inner.end());
    }
  }
  return pictures;
}

TEST(SoakTest, OpeningTheMenuTwoThousandTimesLeavesNothingBehind) {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  const ScratchFolder scratch(L"soak");
  const fs::path& folder = scratch.path();
  const auto written = pointer_files::WriteSamplePointers(folder);
  ASSERT_TRUE(written.ok()) << written.error;
  const std::wstring pen = (folder / L"NWPen.cur").wstring();
  {
    // Handwriting has no system pointer: set one, so that all fifteen previews are drawn.
    RegistrySnapshot cursors(HKEY_CURRENT_USER, {L"Control Panel\\Cursors"});
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Cursors", L"NWPen", REG_EXPAND_SZ,
                              pen.c_str(), static_cast<DWORD>((pen.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);

    Library library;
    ASSERT_NE(library.get(), nullptr);
    DropDataObject data({(folder / L"Arrow.cur").wstring()});
    SIZE_T settled = 0;
    int leftPictures = 0;
    for (int opening = 0; opening < kOpenings; ++opening) {
      if (opening == kWarmUp) settled = PrivateBytes();
      Ptr<IClassFactory> factory;
      Ptr<IShellExtInit> init;
      Ptr<IContextMenu> menu;
      ASSERT_EQ(library.GetClassObject(kHandlerClass, IID_IClassFactory, factory.put()), S_OK);
      ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellExtInit, init.put()), S_OK);
      ASSERT_EQ(init->Initialize(nullptr, &data, nullptr), S_OK);
      ASSERT_EQ(init->QueryInterface(IID_IContextMenu, menu.put()), S_OK);
      const HMENU shellMenu = CreatePopupMenu();
      ASSERT_EQ(menu->QueryContextMenu(shellMenu, 0, 1, 100, CMF_NORMAL),
                MAKE_HRESULT(SEVERITY_SUCCESS, 0, kIdentifiers));
      const std::vector<HBITMAP> pictures = PicturesOf(shellMenu);
      ASSERT_EQ(pictures.size(), 16u);  // the glyph and fifteen previews
      for (UINT offset = 0; offset < kIdentifiers; ++offset) {
        wchar_t help[128] = {};
        menu->GetCommandString(offset, GCS_HELPTEXTW, nullptr, reinterpret_cast<CHAR*>(help), 128);
      }
      DestroyMenu(shellMenu);
      menu.reset();
      init.reset();
      factory.reset();
      for (HBITMAP picture : pictures) leftPictures += GetObjectType(picture) != 0 ? 1 : 0;
    }
    const SIZE_T finished = PrivateBytes();
    EXPECT_EQ(leftPictures, 0);
    EXPECT_LT(finished, settled + kAllowedGrowth)
        << "private bytes grew from " << settled << " to " << finished;
    EXPECT_EQ(library.CanUnloadNow(), S_OK);
  }
  CoUninitialize();
}

}  // namespace
}  // namespace pivora

// The pictures of the handler's menu, on a handler built in the test with recording seams: Wine's
// LoadCursorW ignores the user's pointer settings, so a replaced system pointer is played by the
// window-system seam, while drawing, files and the registry are real.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <vector>

#include "platform/platform_win32.h"
#include "shellext/context_menu_ext.h"
#include "shellext/gdi.h"
#include "tests/support/test_platform.h"
#include "tools/pointer_files.h"
#include "tools/shell_objects.h"

namespace pivora {
namespace {

namespace fs = std::filesystem;
namespace pf = pointer_files;

constexpr std::size_t kArrow = 0;
constexpr std::size_t kNWPen = 6;

// Real pointers, except for stock ids the test has replaced; counts what it hands out.
class RecordingWindows final : public WindowSystem {
 public:
  PointerHandle LoadStockPointer(std::uint16_t id) override {
    if (const auto replaced = replacements.find(id); replaced != replacements.end()) {
      return replaced->second;
    }
    return reinterpret_cast<PointerHandle>(LoadCursorW(nullptr, MAKEINTRESOURCEW(id)));
  }
  PointerHandle LoadPointerFile(std::u16string_view path) override {
    const auto pointer =
        reinterpret_cast<PointerHandle>(LoadCursorFromFileW(WideString(path).c_str()));
    if (pointer != 0) loaded.insert(pointer);
    return pointer;
  }
  void DestroyPointer(PointerHandle pointer) override {
    destroyed.push_back(pointer);
    DestroyCursor(reinterpret_cast<HCURSOR>(pointer));
  }
  std::optional<std::u16string> AskSavePath(WindowHandle, std::u16string_view, std::u16string_view,
                                            std::u16string_view, std::u16string_view) override {
    return std::nullopt;
  }
  void NotifyAssociationsChanged() override {}
  void ShowMessage(WindowHandle, std::u16string_view, std::u16string_view, MessageKind) override {}

  std::map<std::uint16_t, PointerHandle> replacements;
  std::set<PointerHandle> loaded;
  std::vector<PointerHandle> destroyed;
};

// Pixels as 0xRRGGBB, top row first.
std::vector<COLORREF> PixelsOf(HBITMAP bitmap) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = 13;
  info.bmiHeader.biHeight = -13;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  std::vector<COLORREF> pixels(13 * 13);
  const UniqueScreenDc screen(GetDC(nullptr));
  GetDIBits(screen.get(), bitmap, 0, 13, pixels.data(), &info, DIB_RGB_COLORS);
  for (COLORREF& p : pixels) p &= 0xFFFFFF;
  return pixels;
}

COLORREF MenuColour() {
  const COLORREF c = GetSysColor(COLOR_MENU);
  return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

bool Near(COLORREF a, COLORREF b, int slack = 24) {
  for (int shift = 0; shift <= 16; shift += 8) {
    if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) >
        slack) {
      return false;
    }
  }
  return true;
}

pf::Picture Solid(pf::Pixel colour) {
  pf::Picture picture;
  picture.pixels.fill(colour);
  return picture;
}

HBITMAP PictureAt(HMENU menu, UINT position) {
  MENUITEMINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = MIIM_CHECKMARKS;
  GetMenuItemInfoW(menu, position, TRUE, &info);
  return info.hbmpUnchecked;
}

class MenuPicturesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CreateStandalone<CContextMenuExt>(IID_IContextMenu, reinterpret_cast<void**>(&menu)),
              S_OK);
    static_cast<CContextMenuExt*>(menu)->UseSeams(seams);
    folder = fs::path(WideString(bed.folder()));
  }
  void TearDown() override {
    if (menu != nullptr) menu->Release();
  }

  std::u16string Write(const wchar_t* name, const std::vector<std::uint8_t>& bytes) {
    const fs::path path = folder / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    const std::wstring wide = path.wstring();
    return std::u16string(wide.begin(), wide.end());
  }

  // Builds the menu into a fresh shell menu; returns the submenu.
  HMENU Build() {
    shellMenu = CreatePopupMenu();
    EXPECT_EQ(HRESULT_CODE(menu->QueryContextMenu(shellMenu, 0, 1, 100, CMF_NORMAL)), 18);
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_SUBMENU;
    GetMenuItemInfoW(shellMenu, 0, TRUE, &info);
    return info.hSubMenu;
  }

  testing::TestPlatform bed;
  RecordingWindows windows;
  Win32PathRules paths;
  ShellSeams seams{bed.registry(),
                   bed.reloader(),
                   paths,
                   windows,
                   bed.files(),
                   Win32ShellSeams().pngDecoders,
                   Win32ShellSeams().pause};
  IContextMenu* menu = nullptr;
  HMENU shellMenu = nullptr;
  fs::path folder;
};

TEST_F(MenuPicturesTest, EveryRoleWithAPointerGetsAPictureOnTheMenuColour) {
  const HMENU submenu = Build();
  for (UINT role = 0; role < 15; ++role) {
    const HBITMAP picture = PictureAt(submenu, role);
    if (role == kNWPen) {
      EXPECT_EQ(picture, nullptr);  // no stock pointer and nothing stored
      continue;
    }
    ASSERT_NE(picture, nullptr) << role;
    BITMAP size{};
    GetObjectW(picture, sizeof(size), &size);
    EXPECT_EQ(size.bmWidth, 13);
    EXPECT_EQ(size.bmHeight, 13);
  }
  EXPECT_EQ(PictureAt(submenu, 15), nullptr);
  EXPECT_EQ(PictureAt(submenu, 16), nullptr);
  DestroyMenu(shellMenu);
}

TEST_F(MenuPicturesTest, AReplacedSystemPointerIsWhatTheRoleShows) {
  const std::u16string green = Write(L"green.cur", pf::CursorFile(Solid(0xFF00C000), {0, 0}));
  const HCURSOR replacement = LoadCursorFromFileW(WideString(green).c_str());
  windows.replacements[32512] = reinterpret_cast<PointerHandle>(replacement);
  const HMENU submenu = Build();
  const std::vector<COLORREF> pixels = PixelsOf(PictureAt(submenu, kArrow));
  EXPECT_TRUE(Near(pixels[6 * 13 + 6], 0x00C000)) << std::hex << pixels[6 * 13 + 6];
  EXPECT_TRUE(windows.destroyed.empty());  // a stock pointer is shared, never destroyed
  DestroyMenu(shellMenu);
  DestroyCursor(replacement);
}

TEST_F(MenuPicturesTest, HandwritingComesFromTheStoreAndIsDestroyedAfterDrawing) {
  // A small red square in the top-left corner of a clear picture: the rest is menu colour.
  pf::Picture picture;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) picture.At(x, y) = 0xFFE00000;
  }
  bed.Store(u"NWPen", Write(L"pen.cur", pf::CursorFile(picture, {1, 1})));
  const HMENU submenu = Build();
  const std::vector<COLORREF> pixels = PixelsOf(PictureAt(submenu, kNWPen));
  EXPECT_TRUE(Near(pixels[1 * 13 + 1], 0xE00000)) << std::hex << pixels[14];
  EXPECT_TRUE(Near(pixels[12 * 13 + 12], MenuColour())) << std::hex << pixels[168];
  ASSERT_EQ(windows.loaded.size(), 1u);
  EXPECT_EQ(windows.destroyed, std::vector<PointerHandle>{*windows.loaded.begin()});
  DestroyMenu(shellMenu);
}

TEST_F(MenuPicturesTest, AnAnimatedPointerShowsItsFirstFrame) {
  pf::Animation animation;
  animation.frames = {Solid(0xFF0000E0), Solid(0xFFE00000)};
  bed.Store(u"NWPen", Write(L"pen.ani", pf::AnimatedCursorFile(animation)));
  const HMENU submenu = Build();
  const std::vector<COLORREF> pixels = PixelsOf(PictureAt(submenu, kNWPen));
  EXPECT_TRUE(Near(pixels[6 * 13 + 6], 0x0000E0)) << std::hex << pixels[84];
  DestroyMenu(shellMenu);
}

// The system's own scheme stores its pointers as "%SystemRoot%\cursors\..." (REG_EXPAND_SZ):
// the stored text is expanded before the file is loaded, for the Handwriting role (which has no
// stock pointer) and for any role whose stock pointer cannot be loaded, and stays as stored.
TEST_F(MenuPicturesTest, AStoredPathWithAnEnvironmentReferenceShowsItsPointer) {
  wchar_t systemRoot[MAX_PATH] = {};
  ASSERT_GT(GetEnvironmentVariableW(L"SystemRoot", systemRoot, MAX_PATH), 0u);
  const fs::path cursors = fs::path(systemRoot) / L"cursors";
  const bool madeFolder = fs::create_directories(cursors);
  const fs::path file = cursors / L"pivora_expanded.cur";
  const std::vector<std::uint8_t> bytes = pf::CursorFile(Solid(0xFF0000E0), {0, 0});
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  const std::u16string stored = u"%SystemRoot%\\cursors\\pivora_expanded.cur";
  bed.Store(u"NWPen", stored, value_type::kExpandString);
  bed.Store(u"Arrow", stored, value_type::kExpandString);
  windows.replacements[32512] = 0;  // the Arrow's stock pointer cannot be loaded

  const HMENU submenu = Build();
  for (const std::size_t role : {kNWPen, kArrow}) {
    const HBITMAP picture = PictureAt(submenu, static_cast<UINT>(role));
    ASSERT_NE(picture, nullptr) << role;
    EXPECT_TRUE(Near(PixelsOf(picture)[6 * 13 + 6], 0x0000E0)) << role;
  }
  EXPECT_EQ(windows.destroyed.size(), 2u);
  const std::optional<testing::StoredValue> kept = bed.Stored(u"NWPen");
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->type, value_type::kExpandString);
  EXPECT_EQ(kept->text, stored + u'\0');
  DestroyMenu(shellMenu);
  fs::remove(file);
  if (madeFolder) fs::remove(cursors);
}

TEST_F(MenuPicturesTest, ChangeCursorShowsTheGlyphOverTheMenuColour) {
  Build();
  const HBITMAP glyph = PictureAt(shellMenu, 0);
  ASSERT_NE(glyph, nullptr);
  const std::vector<COLORREF> pixels = PixelsOf(glyph);
  EXPECT_TRUE(Near(pixels[12], MenuColour(), 2));  // a clear corner of the glyph
  int white = 0;
  for (COLORREF p : pixels) white += Near(p, 0xFFFFFF, 8) ? 1 : 0;
  EXPECT_GT(white, 5);
  DestroyMenu(shellMenu);
}

TEST_F(MenuPicturesTest, PicturesAreKeptRedrawnInPlaceAndFreedOnceWithTheObject) {
  const HMENU first = Build();
  std::vector<HBITMAP> pictures;
  for (UINT role = 0; role < 15; ++role) pictures.push_back(PictureAt(first, role));
  const HBITMAP glyph = PictureAt(shellMenu, 0);
  DestroyMenu(shellMenu);  // the menus never own the pictures

  const std::u16string green = Write(L"green.cur", pf::CursorFile(Solid(0xFF00C000), {0, 0}));
  const HCURSOR replacement = LoadCursorFromFileW(WideString(green).c_str());
  windows.replacements[32512] = reinterpret_cast<PointerHandle>(replacement);
  const HMENU second = Build();
  for (UINT role = 0; role < 15; ++role) EXPECT_EQ(PictureAt(second, role), pictures[role]);
  EXPECT_EQ(PictureAt(shellMenu, 0), glyph);
  EXPECT_TRUE(Near(PixelsOf(pictures[kArrow])[84], 0x00C000));  // redrawn into the same bitmap
  DestroyMenu(shellMenu);

  menu->Release();
  menu = nullptr;
  for (HBITMAP picture : pictures) {
    if (picture != nullptr) {
      EXPECT_EQ(GetObjectType(picture), 0u);
    }
  }
  EXPECT_EQ(GetObjectType(glyph), 0u);
  DestroyCursor(replacement);
}

}  // namespace
}  // namespace pivora

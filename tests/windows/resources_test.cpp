// The library's resources as the system reads them: texts in the thread's language through
// LoadResourceText (from this program's copy of the resources), and Pivora.dll's own resources,
// its string tables in both languages among them. The program runs twice, once with a Czech user
// interface (PIVORA_EXPECT_LANGUAGE=cs).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/memory_registry.h"
#include "platform/text.h"
#include "resources/resource_text.h"
#include "server/com_reg_object.h"
#include "shellext/gdi.h"
#include "tests/support/expected_language.h"
#include "tests/support/test_platform.h"
#include "tests/windows/library.h"

namespace pivora {
namespace {

namespace fs = std::filesystem;

using testing::CzechExpected;
using testing::Narrow;

struct Text {
  std::uint32_t id;
  std::u16string_view english;
  std::u16string_view czech;
  std::size_t englishLength;
  std::size_t czechLength;
};

// Written out by hand, with the lengths counted separately: the resource script is what is
// being checked.
const Text kTexts[] = {
    {100, u"Pivora", u"Pivora", 6, 6},
    {101, u"Mouse Cursor Scheme", u"Schéma ukazatelů myši", 19, 21},
    {102, u"Apply Scheme", u"Použít schéma", 12, 13},
    {103, u"Modify Scheme", u"Upravit schéma", 13, 14},
    {112, u"Change Cursor", u"Změnit ukazatel", 13, 15},
    {113, u"Normal Select", u"Normální výběr", 13, 14},
    {114, u"Help Select", u"Výběr nápovědy", 11, 14},
    {115, u"Working in Background", u"Práce na pozadí", 21, 15},
    {116, u"Busy", u"Zaneprázdněn", 4, 12},
    {117, u"Precision Select", u"Přesný výběr", 16, 12},
    {118, u"Text Select", u"Výběr textu", 11, 11},
    {119, u"Handwriting", u"Psaní rukou", 11, 11},
    {120, u"Unavailable", u"Není k dispozici", 11, 16},
    {121, u"Vertical Resize", u"Změna výšky", 15, 11},
    {122, u"Horizontal Resize", u"Změna šířky", 17, 11},
    {123, u"Diagonal Resize 1", u"Diagonální změna velikosti 1", 17, 28},
    {124, u"Diagonal Resize 2", u"Diagonální změna velikosti 2", 17, 28},
    {125, u"Move", u"Přesunout", 4, 9},
    {126, u"Alternate Select", u"Alternativní výběr", 16, 18},
    {127, u"Link Select", u"Výběr spojení", 11, 13},
    {128, u"Change mouse cursor used for \"%s\".",
     u"Změnit ukazatel myši používaný pro akci \"%s\".", 34, 45},
    {129, u"Save Scheme...", u"Uložit schéma...", 14, 16},
    {130, u"Export the current mouse cursor scheme to file.",
     u"Exportovat aktuální schéma ukazatelů myši do souboru.", 47, 53},
    {131, u"Cursor Scheme Files (*.crs)|*.crs|All Files (*.*)|*.*||",
     u"Soubory schémat ukazatelů (*.crs)|*.crs|Všechny soubory (*.*)|*.*||", 55, 67},
    {132, u"Save Cursor Scheme", u"Uložit schéma ukazatelů", 18, 23},
    {133, u"Export Failed", u"Ukládání selhalo", 13, 16},
    {134,
     u"Cannot save the cursor scheme. Please verify that you have access rights to write in the "
     u"selected directory and that there is enough free space.",
     u"Nepodařilo se uložit schéma ukazatelů. Prosím ověřte, že máte práva zápisu ve vybraném "
     u"adresáři a na disku je dost místa.",
     144, 121},
    {135, u"Install Cursor Pack", u"Nainstalovat sadu ukazatelů", 19, 27},
    {136, u"Install this cursor pack for the current user and use its pointers.",
     u"Nainstalovat tuto sadu ukazatelů pro aktuálního uživatele a použít její ukazatele.", 67, 82},
    {137, u"Cursor Pack", u"Sada ukazatelů", 11, 14},
    {138,
     u"The pack is installed, but it has no file for these pointers, which were left as they "
     u"were:\n\n%s",
     u"Sada je nainstalována, ale pro tyto ukazatele nemá soubor, a proto zůstaly beze "
     u"změny:\n\n%s",
     95, 90},
    {139,
     u"Cannot install the cursor pack. Please verify that its files can be read and that there is "
     u"enough free space.",
     u"Sadu ukazatelů se nepodařilo nainstalovat. Prosím ověřte, že lze číst její soubory a na "
     u"disku je dost místa.",
     109, 108},
    {140,
     u"None of the cursor pack's pointer files is beside its INF file, so nothing was installed.",
     u"Žádný ze souborů ukazatelů sady neleží vedle jejího souboru INF, a proto nebylo nic "
     u"nainstalováno.",
     89, 98},
    {141, u"Location Select", u"Výběr umístění", 15, 14},
    {142, u"Person Select", u"Výběr osoby", 13, 11},
    {143, u"Uninstall Cursor Pack", u"Odinstalovat sadu ukazatelů", 21, 27},
    {144,
     u"Put back the pointers that were in use before this cursor pack was installed, and remove "
     u"its files.",
     u"Vrátit ukazatele používané před instalací této sady ukazatelů a odebrat její soubory.", 99,
     85},
    {145,
     u"The pack is uninstalled. What was changed after it was installed was kept as it is:\n\n%s",
     u"Sada je odinstalována. Co se po její instalaci změnilo, zůstalo beze změny:\n\n%s", 87, 79},
    {146,
     u"Cannot uninstall the cursor pack. Please verify that the pointer settings can be changed.",
     u"Sadu ukazatelů se nepodařilo odinstalovat. Prosím ověřte, že lze měnit nastavení ukazatelů.",
     89, 91},
    {147, u"Your own files in %s", u"Vaše vlastní soubory ve složce %s", 20, 33},
    {148,
     u"None of the selected files is a pointer file whose name tells its pointer, so nothing was "
     u"installed.",
     u"Žádný z vybraných souborů není soubor ukazatele, z jehož názvu lze poznat jeho ukazatel, a "
     u"proto nebylo nic nainstalováno.",
     100, 122},
};

std::u16string Load(std::uint32_t id, int capacity = 512) {
  std::u16string buffer(static_cast<std::size_t>(capacity), u'\0');
  const int copied = LoadResourceText(id, buffer.data(), capacity);
  buffer.resize(static_cast<std::size_t>(copied));
  return buffer;
}

TEST(ResourceTextTest, EveryTextInTheThreadsLanguage) {
  const bool czech = CzechExpected();
  ASSERT_EQ(GetThreadUILanguage() == MAKELANGID(LANG_CZECH, SUBLANG_DEFAULT), czech)
      << "the program did not run with the user interface language the test expects";
  for (const Text& text : kTexts) {
    const std::u16string loaded = Load(text.id);
    EXPECT_EQ(loaded, czech ? text.czech : text.english) << text.id;
    EXPECT_EQ(loaded.size(), czech ? text.czechLength : text.englishLength) << text.id;
  }
}

TEST(ResourceTextTest, IdsOutsideTheTablesHaveNoText) {
  for (std::uint32_t id : {0u, 99u, 104u, 105u, 110u, 111u, 149u, 159u, 160u, 201u, 65535u}) {
    char16_t buffer[16] = {u'x'};
    EXPECT_EQ(LoadResourceText(id, buffer, 16), 0) << id;
  }
}

TEST(ResourceTextTest, LongTextsAreCutToTheCapacity) {
  const std::u16string whole = Load(134);
  ASSERT_GE(whole.size(), 121u);
  // The whole text needs its length plus one unit for the terminator.
  EXPECT_EQ(Load(134, static_cast<int>(whole.size()) + 1), whole);
  const std::u16string cut = Load(134, static_cast<int>(whole.size()));
  EXPECT_EQ(cut, whole.substr(0, whole.size() - 1));
  char16_t two[2] = {u'x', u'x'};
  EXPECT_EQ(LoadResourceText(112, two, 2), 1);
  EXPECT_EQ(two[1], u'\0');
}

TEST(ResourceTextTest, NoRoomGivesNothingAndWritesNothing) {
  char16_t buffer[8] = {u'a', u'b'};
  EXPECT_EQ(LoadResourceText(112, buffer, 0), 0);
  EXPECT_EQ(LoadResourceText(112, buffer, -1), 0);
  EXPECT_EQ(LoadResourceText(112, nullptr, 8), 0);
  EXPECT_EQ(buffer[0], u'a');
  EXPECT_EQ(buffer[1], u'b');
}

TEST(ResourceTextTest, FilterListSplitsIntoPairsEndedByAnEmptyString) {
  std::u16string filter = Load(131);
  for (char16_t& c : filter) c = c == u'|' ? u'\0' : c;
  std::vector<std::u16string> parts;
  for (std::size_t start = 0; start < filter.size();) {
    const std::size_t end = filter.find(u'\0', start);
    parts.emplace_back(filter.substr(start, end - start));
    start = end + 1;
  }
  const bool czech = CzechExpected();
  EXPECT_EQ(parts,
            (std::vector<std::u16string>{
                czech ? u"Soubory schémat ukazatelů (*.crs)" : u"Cursor Scheme Files (*.crs)",
                u"*.crs", czech ? u"Všechny soubory (*.*)" : u"All Files (*.*)", u"*.*", u""}));
}

// The library as a file of resources.
class LibraryResourcesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    library = LoadLibraryExW(testing::LibraryPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  }
  static void TearDownTestSuite() { FreeLibrary(library); }

  static std::string_view Bytes(const wchar_t* type, const wchar_t* name,
                                WORD language = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)) {
    const HRSRC found = FindResourceExW(library, type, name, language);
    if (found == nullptr) return {};
    const HGLOBAL loaded = LoadResource(library, found);
    return std::string_view(static_cast<const char*>(LockResource(loaded)),
                            SizeofResource(library, found));
  }

  // The integer names of every resource of a type.
  static std::vector<ULONG_PTR> Names(const wchar_t* type) {
    std::vector<ULONG_PTR> names;
    EnumResourceNamesW(
        library, type,
        [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR list) -> BOOL {
          reinterpret_cast<std::vector<ULONG_PTR>*>(list)->push_back(
              reinterpret_cast<ULONG_PTR>(name));
          return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&names));
    return names;
  }

  // The languages a resource exists in, in ascending order.
  static std::vector<WORD> Languages(const wchar_t* type, const wchar_t* name) {
    std::vector<WORD> languages;
    EnumResourceLanguagesW(
        library, type, name,
        [](HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR list) -> BOOL {
          reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
          return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&languages));
    std::sort(languages.begin(), languages.end());
    return languages;
  }

  // The sixteen texts of a string-table block in one language, read from its bytes: each is
  // a count of UTF-16 units followed by the units, with no terminator.
  static std::vector<std::u16string> Block(int block, WORD language) {
    const std::string_view bytes = Bytes(RT_STRING, MAKEINTRESOURCEW(block), language);
    std::vector<std::u16string> texts;
    std::size_t at = 0;
    while (texts.size() < 16 && at + 2 <= bytes.size()) {
      std::uint16_t units = 0;
      std::memcpy(&units, bytes.data() + at, 2);
      at += 2;
      if (at + 2u * units > bytes.size()) break;
      std::u16string text(units, u'\0');
      std::memcpy(text.data(), bytes.data() + at, 2u * units);
      at += 2u * units;
      texts.push_back(std::move(text));
    }
    return texts;
  }

  static inline HMODULE library = nullptr;
};

TEST_F(LibraryResourcesTest, StringTablesHoldEveryTextInBothLanguages) {
  ASSERT_NE(library, nullptr);
  const WORD english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
  const WORD czech = MAKELANGID(LANG_CZECH, SUBLANG_DEFAULT);
  // Every id of the four blocks, 96 to 159: its text, or nothing where the table has none.
  for (const WORD language : {english, czech}) {
    for (std::uint32_t id = 96; id < 160; ++id) {
      const auto text = std::find_if(std::begin(kTexts), std::end(kTexts),
                                     [id](const Text& t) { return t.id == id; });
      const std::u16string_view expected = text == std::end(kTexts) ? u""
                                           : language == czech      ? text->czech
                                                                    : text->english;
      const std::vector<std::u16string> block = Block(static_cast<int>(id / 16 + 1), language);
      ASSERT_EQ(block.size(), 16u) << id << " " << language;
      EXPECT_EQ(block[id % 16], expected) << id << " " << language;
    }
  }
  // And as LoadStringW picks them from the library for this thread's language.
  const bool czechExpected = CzechExpected();
  for (const Text& text : kTexts) {
    wchar_t buffer[256];
    const int copied = LoadStringW(library, text.id, buffer, 256);
    EXPECT_EQ(std::u16string_view(reinterpret_cast<char16_t*>(buffer), copied),
              czechExpected ? text.czech : text.english)
        << text.id;
  }
  // String tables are blocks of sixteen: ids 96-111, 112-127, 128-143, 144-159, each in two
  // languages.
  for (const int block : {7, 8, 9, 10}) {
    EXPECT_EQ(Languages(RT_STRING, MAKEINTRESOURCEW(block)), (std::vector<WORD>{czech, english}))
        << block;
  }
  EXPECT_EQ(Names(RT_STRING), (std::vector<ULONG_PTR>{7, 8, 9, 10}));
}

// What each of the library's registry scripts writes, run as stored through the library's
// interpreter into a registry of its own, with the module at C:\Pivora.dll.
TEST_F(LibraryResourcesTest, RegistryScriptsWriteTheirEntries) {
  const std::u16string appId = u"{6E1B9F34-C2A7-45D0-8B6E-7F3A210C94D5}";
  struct ClassRow {
    int script;
    std::u16string classId, description, threading, approved;
  };
  const ClassRow classes[] = {
      {102, u"{3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47}", u"Pivora.ContextMenuExt Class", u"Both",
       u"Pivora - Context Menu Extension"},
      {103, u"{8D2F4A61-3B7E-4C95-9E1A-52C7F0B3D648}", u"Pivora.CursorPackExt Class", u"Both",
       u"Pivora - Cursor Pack Extension"},
      {104, u"{5C1E7B39-8A42-4F6D-B3C8-0E9D2A7F4B15}", u"Pivora.SchemeThumbnail Class",
       u"Apartment", u"Pivora - Scheme Thumbnails"},
  };
  MemoryRegistry registry;
  // A value as text, a number as "dword:N"; "(none)" when the key or the value is missing.
  const auto value = [&registry](KeyHandle root, const std::u16string& path, const char16_t* name) {
    RegistryKey key(registry);
    char16_t data[64] = {};
    std::uint32_t type = 0, size = sizeof(data) - sizeof(char16_t);
    if (registry.Open(root, path, key_access::kRead, key.put()) != status::kSuccess ||
        registry.QueryValue(key.get(), name, &type, data, size) != status::kSuccess) {
      return std::u16string(u"(none)");
    }
    return type == value_type::kDword ? u"dword:" + Utf8ToUtf16(std::to_string(data[0]))
                                      : std::u16string(data);
  };
  EXPECT_EQ(Names(L"REGISTRY"), (std::vector<ULONG_PTR>{101, 102, 103, 104}));
  CRegObject registrar;
  ASSERT_EQ(registrar.DefineReplacement(u"APPID", appId.c_str()), S_OK);
  ASSERT_EQ(registrar.DefineReplacement(u"MODULE", u"C:\\Pivora.dll"), S_OK);
  for (const int script : {101, 102, 103, 104}) {
    const std::u16string text = AnsiToUtf16(Bytes(L"REGISTRY", MAKEINTRESOURCEW(script)));
    ASSERT_EQ(RunScriptText(registry, registrar, text.c_str(), true), S_OK) << script;
  }
  EXPECT_EQ(value(root_key::kClassesRoot, u"AppID\\" + appId, u""), u"Pivora");
  EXPECT_EQ(value(root_key::kClassesRoot, u"AppID\\Pivora.DLL", u"AppID"), appId);
  for (const ClassRow& c : classes) {
    const std::u16string key = u"CLSID\\" + c.classId, server = key + u"\\InprocServer32";
    EXPECT_EQ(value(root_key::kClassesRoot, key, u""), c.description) << c.script;
    EXPECT_EQ(value(root_key::kClassesRoot, key, u"DisableProcessIsolation"),
              c.script == 104 ? u"dword:1" : u"(none)")
        << c.script;
    EXPECT_EQ(value(root_key::kClassesRoot, server, u""), u"C:\\Pivora.dll") << c.script;
    EXPECT_EQ(value(root_key::kClassesRoot, server, u"ThreadingModel"), c.threading) << c.script;
    EXPECT_EQ(value(root_key::kLocalMachine,
                    u"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved",
                    c.classId.c_str()),
              c.approved)
        << c.script;
  }
}

// The only manifest, resource 2 in US English: an assembly that depends on nothing.
TEST_F(LibraryResourcesTest, ManifestIsAnEmptyAssembly) {
  const WORD english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
  EXPECT_EQ(Names(RT_MANIFEST), std::vector<ULONG_PTR>{2});
  EXPECT_EQ(Languages(RT_MANIFEST, MAKEINTRESOURCEW(2)), std::vector<WORD>{english});
  EXPECT_EQ(Bytes(RT_MANIFEST, MAKEINTRESOURCEW(2), english),
            "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
            "</assembly>");
}

TEST_F(LibraryResourcesTest, GlyphIsAThirteenPixelPremultipliedBitmap) {
  const std::string_view glyph = Bytes(RT_BITMAP, MAKEINTRESOURCEW(201));
  ASSERT_EQ(glyph.size(), 716u);
  BITMAPINFOHEADER header;
  std::memcpy(&header, glyph.data(), sizeof(header));
  EXPECT_EQ(header.biSize, 40u);
  EXPECT_EQ(header.biWidth, 13);
  EXPECT_EQ(header.biHeight, 13);
  EXPECT_EQ(header.biPlanes, 1);
  EXPECT_EQ(header.biBitCount, 32);
  EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
  EXPECT_EQ(header.biSizeImage, 0u);
  EXPECT_EQ(header.biXPelsPerMeter, 3779);
  EXPECT_EQ(header.biYPelsPerMeter, 3779);
  EXPECT_EQ(header.biClrUsed, 0u);
  const auto* pixels = reinterpret_cast<const unsigned char*>(glyph.data()) + 40;
  int opaque = 0;
  for (int i = 0; i < 13 * 13; ++i) {
    const unsigned char* p = pixels + 4 * i;
    EXPECT_LE(p[0], p[3]) << i;
    EXPECT_LE(p[1], p[3]) << i;
    EXPECT_LE(p[2], p[3]) << i;
    if (p[3] == 255) ++opaque;
  }
  EXPECT_GT(opaque, 10);  // there is a picture
  for (const int corner : {0, 12, 12 * 13, 13 * 13 - 1}) {
    EXPECT_EQ(pixels[4 * corner + 3], 0) << corner;
  }
  // The menu code loads it as a bitmap.
  const UniqueBitmap bitmap(LoadBitmapW(library, MAKEINTRESOURCEW(201)));
  ASSERT_TRUE(bitmap);
  BITMAP info{};
  GetObjectW(bitmap.get(), sizeof(info), &info);
  EXPECT_EQ(info.bmWidth, 13);
  EXPECT_EQ(info.bmHeight, 13);
}

#pragma pack(push, 2)
struct GroupIconEntry {
  BYTE width;
  BYTE height;
  BYTE colorCount;
  BYTE reserved;
  WORD planes;
  WORD bitCount;
  DWORD bytesInRes;
  WORD id;
};
#pragma pack(pop)

TEST_F(LibraryResourcesTest, IconGroupHoldsNineImagesInOrder) {
  const std::string_view group = Bytes(RT_GROUP_ICON, MAKEINTRESOURCEW(202));
  ASSERT_EQ(group.size(), 6u + 9u * sizeof(GroupIconEntry));
  WORD header[3];
  std::memcpy(header, group.data(), 6);
  EXPECT_EQ(header[0], 0);
  EXPECT_EQ(header[1], 1);
  EXPECT_EQ(header[2], 9);
  const int sizes[] = {48, 32, 16, 48, 32, 16, 48, 32, 16};
  const int depths[] = {4, 4, 4, 8, 8, 8, 32, 32, 32};
  for (int i = 0; i < 9; ++i) {
    GroupIconEntry entry;
    std::memcpy(&entry, group.data() + 6 + i * sizeof(entry), sizeof(entry));
    EXPECT_EQ(entry.width, sizes[i]) << i;
    EXPECT_EQ(entry.height, sizes[i]) << i;
    EXPECT_EQ(entry.bitCount, depths[i]) << i;
    EXPECT_EQ(entry.id, i + 1) << i;
    const std::string_view image = Bytes(RT_ICON, MAKEINTRESOURCEW(entry.id));
    ASSERT_EQ(image.size(), entry.bytesInRes) << i;
    BITMAPINFOHEADER dib;
    std::memcpy(&dib, image.data(), sizeof(dib));
    EXPECT_EQ(dib.biWidth, sizes[i]) << i;
    EXPECT_EQ(dib.biHeight, 2 * sizes[i]) << i;
    EXPECT_EQ(dib.biBitCount, depths[i]) << i;
  }
  // The only icon group, so index 0 of the library is this icon.
  EXPECT_EQ(Names(RT_GROUP_ICON), std::vector<ULONG_PTR>{202});
  EXPECT_EQ(Names(RT_ICON), (std::vector<ULONG_PTR>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

std::u16string VersionString(const std::vector<char>& block, const wchar_t* key) {
  void* value = nullptr;
  UINT length = 0;
  const std::wstring path = std::wstring(L"\\StringFileInfo\\040904e4\\") + key;
  if (!VerQueryValueW(block.data(), path.c_str(), &value, &length) || length == 0) return u"";
  return std::u16string(static_cast<const char16_t*>(value), length - 1);
}

TEST_F(LibraryResourcesTest, VersionRecordDescribesTheLibrary) {
  const fs::path dll = testing::LibraryPath();
  const DWORD size = GetFileVersionInfoSizeW(dll.c_str(), nullptr);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(dll.c_str(), 0, size, block.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00020000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00020000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
  EXPECT_EQ(fixed->dwFileFlags, 0u);
  EXPECT_EQ(fixed->dwFileOS, 4u);
  EXPECT_EQ(fixed->dwFileType, 2u);
  EXPECT_EQ(fixed->dwFileSubtype, 0u);

  const std::pair<const wchar_t*, std::u16string_view> strings[] = {
      {L"Comments",
       u"Shell extension capable of changing mouse cursors from context menu of .cur and .ani "
       u"files."},
      {L"CompanyName", u"Pivora contributors"},
      {L"FileDescription", u"Change Cursor"},
      {L"FileVersion", u"2.0.0.1"},
      {L"InternalName", u"Pivora.dll"},
      {L"LegalCopyright", u"Copyright (C) 2026 Pivora contributors"},
      {L"OriginalFilename", u"Pivora.dll"},
      {L"ProductName", u"Pivora"},
      {L"ProductVersion", u"2.0.0.1"},
  };
  for (const auto& [key, expected] : strings) {
    EXPECT_EQ(VersionString(block, key), expected) << key;
  }

  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x0409);
  EXPECT_EQ(translation[1], 1252);
}

}  // namespace
}  // namespace pivora

// Self-registration as an installer runs it: the real regsvr32 on Pivora.dll, the entries read
// back through the registry API, and the registered apply verb run as the shell runs it.
#include <windows.h>

#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
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
using pivora::testing::BuiltLibraryPath;
using pivora::testing::RegistrySnapshot;
using pivora::testing::Regsvr32;
using pivora::testing::RunToEnd;

const std::wstring kClass = L"{3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47}";
const std::wstring kAppId = L"{6E1B9F34-C2A7-45D0-8B6E-7F3A210C94D5}";
const std::wstring kPackClass = L"{8D2F4A61-3B7E-4C95-9E1A-52C7F0B3D648}";
const std::wstring kThumbnailClass = L"{5C1E7B39-8A42-4F6D-B3C8-0E9D2A7F4B15}";
const std::wstring kHandlerSuffix = L"\\ShellEx\\ContextMenuHandlers\\" + kClass;
const std::wstring kPackHandlerSuffix = L"\\ShellEx\\ContextMenuHandlers\\" + kPackClass;
const wchar_t kApproved[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const std::wstring kMachineExtensions = L"Software\\Classes\\SystemFileAssociations\\";
const std::wstring kThumbnailKey = L"\\ShellEx\\{e357fccd-a995-4576-b01f-234630154e96}";
const std::wstring kFileExts =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\";

using pivora::testing::CzechExpected;

// A string value, or nothing when the key or value is missing.
std::optional<std::wstring> Text(HKEY root, const std::wstring& key, const wchar_t* name = L"",
                                 DWORD expectedType = REG_SZ) {
  wchar_t buffer[1024] = {};
  DWORD size = sizeof(buffer) - sizeof(wchar_t);
  DWORD type = 0;
  if (RegGetValueW(root, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, buffer, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  EXPECT_EQ(type, expectedType) << std::string(key.begin(), key.end());
  return std::wstring(buffer);
}

bool KeyExists(HKEY root, const std::wstring& key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  RegCloseKey(opened);
  return true;
}

void SetText(HKEY root, const std::wstring& key, const std::wstring& value) {
  HKEY created = nullptr;
  ASSERT_EQ(RegCreateKeyW(root, key.c_str(), &created), ERROR_SUCCESS);
  RegSetValueExW(created, L"", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(created);
}

class RegistrationTest : public ::testing::Test {
 protected:
  void TearDown() override { Regsvr32(true); }

  // Everything registration touches goes back as it was.
  RegistrySnapshot classes{
      HKEY_CLASSES_ROOT,
      {L".crs", L"Pivora.crs.1", L"AppID\\" + kAppId, L"AppID\\Pivora.DLL", L"CLSID\\" + kClass,
       L"curfile\\ShellEx", L"anifile\\ShellEx", L"SystemFileAssociations\\.cur",
       L"SystemFileAssociations\\.ani", L"PivoraOldType", L"CLSID\\" + kPackClass,
       L"SystemFileAssociations\\.inf", L"CLSID\\" + kThumbnailClass,
       L"SystemFileAssociations\\.crs", L"Other.Scheme"}};
  RegistrySnapshot approved{HKEY_LOCAL_MACHINE, {kApproved}};
  RegistrySnapshot choices{HKEY_CURRENT_USER, {kFileExts + L".cur", kFileExts + L".crs"}};
  RegistrySnapshot cursors{HKEY_CURRENT_USER, {L"Control Panel\\Cursors"}};
};

// The cursor packs' handler: its class, its approval and its keys under every INF, under the
// scheme file type (an installed pack's scheme offers its uninstall) and, as the role menu's, under
// the pointer file types and their extensions (a selection of pointer files installs as a pack)
// appear and go.
TEST_F(RegistrationTest, ThePackHandlerIsRegisteredForEveryINFAndRemovedAgain) {
  const std::wstring handler =
      L"SystemFileAssociations\\.inf\\ShellEx\\ContextMenuHandlers\\" + kPackClass;
  const std::wstring schemes = L"Pivora.crs.1\\ShellEx\\ContextMenuHandlers\\" + kPackClass;
  const std::wstring pointerKeys[] = {L"curfile" + kPackHandlerSuffix,
                                      L"anifile" + kPackHandlerSuffix};
  const std::wstring machineKeys[] = {kMachineExtensions + L".cur" + kPackHandlerSuffix,
                                      kMachineExtensions + L".ani" + kPackHandlerSuffix};
  ASSERT_EQ(Regsvr32(), 0u);
  for (const std::wstring& key : pointerKeys) EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, key));
  for (const std::wstring& key : machineKeys) EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, key));
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, L"CLSID\\" + kPackClass), L"Pivora.CursorPackExt Class");
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, L"CLSID\\" + kPackClass + L"\\InprocServer32"),
            BuiltLibraryPath());
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kApproved, kPackClass.c_str()),
            L"Pivora - Cursor Pack Extension");
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, handler));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, schemes));

  ASSERT_EQ(Regsvr32(true), 0u);
  for (const std::wstring& key : pointerKeys) EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key));
  for (const std::wstring& key : machineKeys) EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + kPackClass));
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kApproved, kPackClass.c_str()), std::nullopt);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, handler));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, schemes));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"SystemFileAssociations\\.inf\\ShellEx"));
}

// The scheme files' thumbnail handler: its class (apartment-threaded, kept in the file
// manager's own process to open the pointer files a scheme names), its approval and the file
// type's key naming it appear and go.
TEST_F(RegistrationTest, TheThumbnailHandlerIsRegisteredForSchemesAndRemovedAgain) {
  const std::wstring classKey = L"CLSID\\" + kThumbnailClass;
  const std::wstring provider = L"Pivora.crs.1\\ShellEx\\{e357fccd-a995-4576-b01f-234630154e96}";
  ASSERT_EQ(Regsvr32(), 0u);
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, classKey), L"Pivora.SchemeThumbnail Class");
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32"), BuiltLibraryPath());
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32", L"ThreadingModel"),
            L"Apartment");
  DWORD isolation = 0;
  DWORD size = sizeof(isolation);
  EXPECT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, classKey.c_str(), L"DisableProcessIsolation",
                         RRF_RT_REG_DWORD, nullptr, &isolation, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(isolation, 1u);
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kApproved, kThumbnailClass.c_str()),
            L"Pivora - Scheme Thumbnails");
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, provider), kThumbnailClass);

  ASSERT_EQ(Regsvr32(true), 0u);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, classKey));
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kApproved, kThumbnailClass.c_str()), std::nullopt);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, provider));
}

TEST_F(RegistrationTest, WritesEveryEntryAndRemovesThemAgain) {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, L".crs");
  ASSERT_EQ(Regsvr32(), 0u);

  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, L"AppID\\" + kAppId), L"Pivora");
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, L"AppID\\Pivora.DLL", L"AppID"), kAppId);
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, L"CLSID\\" + kClass), L"Pivora.ContextMenuExt Class");
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, L"CLSID\\" + kClass + L"\\InprocServer32"), BuiltLibraryPath());
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, L"CLSID\\" + kClass + L"\\InprocServer32", L"ThreadingModel"),
            L"Both");
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kApproved, kClass.c_str()),
            L"Pivora - Context Menu Extension");

  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, L".crs"), L"Pivora.crs.1");
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L".crs\\OpenWithProgids"));
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, L"Pivora.crs.1"),
            CzechExpected() ? L"Schéma ukazatelů myši" : L"Mouse Cursor Scheme");
  wchar_t shortPath[MAX_PATH];
  ASSERT_GT(GetShortPathNameW(BuiltLibraryPath().c_str(), shortPath, MAX_PATH), 0u);
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, L"Pivora.crs.1\\DefaultIcon"), std::wstring(shortPath) + L",0");
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"Pivora.crs.1\\shell"));
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, L"Pivora.crs.1\\shell"), std::nullopt);  // no default verb
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, L"Pivora.crs.1\\shell\\apply"),
            CzechExpected() ? L"Použít schéma" : L"Apply Scheme");
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, L"Pivora.crs.1\\shell\\apply\\command"),
            L"rundll32.exe " + std::wstring(shortPath) + L",ApplySet %1");
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, L"Pivora.crs.1\\shell\\edit"),
            CzechExpected() ? L"Upravit schéma" : L"Modify Scheme");
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, L"Pivora.crs.1\\shell\\edit\\command"), L"notepad.exe \"%1\"");
  // The prefix gives .cur and .ani the file types Windows has.
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"curfile" + kHandlerSuffix));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"anifile" + kHandlerSuffix));

  ASSERT_EQ(Regsvr32(true), 0u);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"AppID\\" + kAppId));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"AppID\\Pivora.DLL"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID\\" + kClass));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kApproved, kClass.c_str()), std::nullopt);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kApproved));
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, L".crs"), L"");
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"Pivora.crs.1"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"curfile" + kHandlerSuffix));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"curfile" + kPackHandlerSuffix));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"curfile\\ShellEx\\ContextMenuHandlers"));
}

TEST_F(RegistrationTest, APreviousOwnerOfTheExtensionIsHandedItBack) {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, L".crs");
  SetText(HKEY_CLASSES_ROOT, L".crs", L"Other.Scheme");
  ASSERT_EQ(Regsvr32(), 0u);
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, L".crs"), L"Pivora.crs.1");
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L".crs\\OpenWithProgids\\Other.Scheme"));
  ASSERT_EQ(Regsvr32(), 0u);  // a second registration pushes nothing
  ASSERT_EQ(Regsvr32(true), 0u);
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, L".crs"), L"Other.Scheme");
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L".crs\\OpenWithProgids\\Other.Scheme"));
}

TEST_F(RegistrationTest, OurOwnProgIdInOtherLetterCaseIsOurs) {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, L".crs");
  SetText(HKEY_CLASSES_ROOT, L".crs", L"PIVORA.CRS.1");
  ASSERT_EQ(Regsvr32(), 0u);
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, L".crs"), L"PIVORA.CRS.1");
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L".crs\\OpenWithProgids"));
}

TEST_F(RegistrationTest, AnExtensionTakenOverLaterIsLeftAlone) {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, L".crs");
  ASSERT_EQ(Regsvr32(), 0u);
  SetText(HKEY_CLASSES_ROOT, L".crs", L"Later.Owner");
  ASSERT_EQ(Regsvr32(true), 0u);
  EXPECT_EQ(Text(HKEY_CLASSES_ROOT, L".crs"), L"Later.Owner");
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"Pivora.crs.1"));
}

TEST_F(RegistrationTest, HandlerKeysAreFoundUnderAnyFileType) {
  ASSERT_EQ(Regsvr32(), 0u);
  HKEY stray = nullptr;
  ASSERT_EQ(RegCreateKeyW(HKEY_CLASSES_ROOT, (L"PivoraOldType" + kHandlerSuffix).c_str(), &stray),
            ERROR_SUCCESS);
  RegCloseKey(stray);
  ASSERT_EQ(Regsvr32(true), 0u);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"PivoraOldType" + kHandlerSuffix));
}

// The handlers stand under the machine's SystemFileAssociations too, where the shell finds them
// whatever file type a person or a program gives the extension later; the .crs verbs do not (the
// shell would list them twice). Unregistration takes exactly the keys registration made.
TEST_F(RegistrationTest, HandlersStandUnderTheExtensionsSystemAssociationsAndGoAgain) {
  for (const wchar_t* extension : {L".cur", L".ani", L".crs"}) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kMachineExtensions + extension).c_str());
  }
  ASSERT_EQ(Regsvr32(), 0u);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kMachineExtensions + L".cur" + kHandlerSuffix));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kMachineExtensions + L".ani" + kHandlerSuffix));
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kMachineExtensions + L".crs" + kThumbnailKey),
            kThumbnailClass);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE,
                        kMachineExtensions + L".crs\\ShellEx\\ContextMenuHandlers\\" + kPackClass));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kMachineExtensions + L".crs\\shell"));
  ASSERT_EQ(Regsvr32(), 0u);  // registering again changes nothing that unregistration needs

  ASSERT_EQ(Regsvr32(true), 0u);
  for (const wchar_t* extension : {L".cur", L".ani", L".crs"}) {
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kMachineExtensions + extension)) << extension;
  }
}

// What was there before registration stays after unregistration: a key with a value of
// another's, an empty key, another program's thumbnails of the extension.
TEST_F(RegistrationTest, KeysThatWereThereBeforeStay) {
  for (const wchar_t* extension : {L".cur", L".ani", L".crs"}) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kMachineExtensions + extension).c_str());
  }
  ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, (kMachineExtensions + L".cur").c_str(),
                            L"PerceivedType", REG_SZ, L"image", 12),
            ERROR_SUCCESS);
  HKEY empty = nullptr;
  ASSERT_EQ(
      RegCreateKeyW(HKEY_LOCAL_MACHINE,
                    (kMachineExtensions + L".ani\\ShellEx\\ContextMenuHandlers").c_str(), &empty),
      ERROR_SUCCESS);
  RegCloseKey(empty);
  const std::wstring other = L"{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}";
  SetText(HKEY_LOCAL_MACHINE, kMachineExtensions + L".crs" + kThumbnailKey, other);

  ASSERT_EQ(Regsvr32(), 0u);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kMachineExtensions + L".cur" + kHandlerSuffix));
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kMachineExtensions + L".crs" + kThumbnailKey), other);
  ASSERT_EQ(Regsvr32(true), 0u);

  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kMachineExtensions + L".cur", L"PerceivedType"), L"image");
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kMachineExtensions + L".cur\\ShellEx"));
  EXPECT_TRUE(
      KeyExists(HKEY_LOCAL_MACHINE, kMachineExtensions + L".ani\\ShellEx\\ContextMenuHandlers"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kMachineExtensions + L".ani" + kHandlerSuffix));
  EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kMachineExtensions + L".crs" + kThumbnailKey), other);
  EXPECT_FALSE(
      KeyExists(HKEY_LOCAL_MACHINE, kMachineExtensions + L".crs\\ShellEx\\ContextMenuHandlers"));
}

// After registration a person gives .cur to an image viewer ("Always open with") and another
// program takes .crs over: the file manager still finds the menu handler, the pack handler and
// the thumbnails, through the extensions' system associations.
TEST_F(RegistrationTest, ATypeReassignedAfterRegistrationKeepsItsHandlers) {
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  ASSERT_EQ(Regsvr32(), 0u);
  const std::wstring viewer = L"Applications\\viewer.exe";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, (kFileExts + L".cur\\UserChoice").c_str(), L"ProgId",
                            REG_SZ, viewer.c_str(),
                            static_cast<DWORD>((viewer.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  SetText(HKEY_CLASSES_ROOT, L".crs", L"Other.Scheme");

  const pivora::ScratchFolder scratch(L"reassigned");
  ASSERT_TRUE(pivora::pointer_files::WriteSamplePointers(scratch.path()).ok());
  const fs::path scheme = scratch.path() / L"Taken.crs";
  std::ofstream(scheme, std::ios::binary) << "[Arrow]\r\nPath=Arrow.cur\r\n";
  const auto classes = [](const fs::path& file) {
    std::vector<std::wstring> found;
    for (const pivora::host::HandlerEntry& entry : pivora::host::FindContextMenuHandlers(file)) {
      wchar_t text[40] = {};
      StringFromGUID2(entry.clsid, text, 40);
      found.push_back(text);
    }
    return found;
  };
  EXPECT_EQ(classes(scratch.path() / L"Arrow.cur"),
            (std::vector<std::wstring>{kClass, kPackClass}));
  EXPECT_EQ(classes(scheme), std::vector<std::wstring>{kPackClass});

  std::wstring handlerKey;
  EXPECT_EQ(pivora::host::SaveThumbnail(scheme.wstring(), 96,
                                        (scratch.path() / L"thumbnail.png").wstring(), handlerKey),
            S_OK);
  EXPECT_EQ(handlerKey, L"SystemFileAssociations\\.crs" + kThumbnailKey);
  CoUninitialize();
}

// The type's name and its verbs' names are indirect texts of the library, which the shell
// resolves in each user's language; the plain texts stay beside them.
TEST_F(RegistrationTest, TheTypeAndVerbNamesResolveInTheUsersLanguage) {
  ASSERT_EQ(Regsvr32(), 0u);
  wchar_t shortPath[MAX_PATH];
  ASSERT_GT(GetShortPathNameW(BuiltLibraryPath().c_str(), shortPath, MAX_PATH), 0u);
  const bool czech = CzechExpected();
  const struct {
    std::wstring key;
    const wchar_t* name;
    int id;
    std::wstring expected;
  } cases[] = {
      {L"Pivora.crs.1", L"FriendlyTypeName", 101,
       czech ? L"Schéma ukazatelů myši" : L"Mouse Cursor Scheme"},
      {L"Pivora.crs.1\\shell\\apply", L"MUIVerb", 102, czech ? L"Použít schéma" : L"Apply Scheme"},
      {L"Pivora.crs.1\\shell\\edit", L"MUIVerb", 103, czech ? L"Upravit schéma" : L"Modify Scheme"},
  };
  for (const auto& c : cases) {
    const std::optional<std::wstring> indirect = Text(HKEY_CLASSES_ROOT, c.key, c.name);
    ASSERT_TRUE(indirect) << std::string(c.key.begin(), c.key.end());
    EXPECT_EQ(*indirect, L"@" + std::wstring(shortPath) + L",-" + std::to_wstring(c.id));
    wchar_t resolved[128] = {};
    EXPECT_EQ(SHLoadIndirectString(indirect->c_str(), resolved, 128, nullptr), S_OK);
    EXPECT_EQ(std::wstring(resolved), c.expected) << c.id;
    EXPECT_EQ(Text(HKEY_CLASSES_ROOT, c.key), c.expected);
  }
}

TEST_F(RegistrationTest, TheRegisteredApplyVerbAppliesASchemeAsTheShellRunsIt) {
  ASSERT_EQ(Regsvr32(), 0u);
  const std::optional<std::wstring> command =
      Text(HKEY_CLASSES_ROOT, L"Pivora.crs.1\\shell\\apply\\command");
  ASSERT_TRUE(command);

  const pivora::ScratchFolder scratch(L"verb");
  const fs::path& folder = scratch.path();
  ASSERT_TRUE(pivora::pointer_files::WriteSamplePointers(folder).ok());
  const fs::path scheme = folder / L"Verb.crs";
  std::ofstream(scheme, std::ios::binary) << "\xEF\xBB\xBF[Hand]\r\nPath=Hand.cur\r\n\r\n";
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Control Panel\\Cursors");

  std::wstring line = *command;
  line.replace(line.find(L"%1"), 2, scheme.wstring());
  EXPECT_EQ(RunToEnd(line), 0u);
  EXPECT_EQ(Text(HKEY_CURRENT_USER, L"Control Panel\\Cursors", L"Hand", REG_EXPAND_SZ)
                .value_or(L"<none>"),
            (folder / L"Hand.cur").wstring());
}

}  // namespace

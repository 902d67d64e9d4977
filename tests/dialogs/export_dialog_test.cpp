// "Save Scheme..." as a person meets it: the handler is reached through the library's exports,
// opens the real save dialog and, when saving fails, the real message box. A second thread of the
// test plays the person: it reads each window the handler opens and answers it.
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/expected_language.h"
#include "tests/support/registry_tree.h"
#include "tests/windows/library.h"
#include "tools/shell_objects.h"

namespace pivora {
namespace {

namespace fs = std::filesystem;
using testing::DropDataObject;
using testing::KeyTree;
using testing::kHandlerClass;
using testing::Library;
using testing::Ptr;
using testing::ReadTree;
using testing::WriteTree;

constexpr wchar_t kCursorsKey[] = L"Control Panel\\Cursors";
constexpr UINT kFileNameCombo = 0x47C;  // cmb13, the OFN_EXPLORER dialog
constexpr UINT kFileNameEdit = 0x480;   // edt1, old-style dialog
constexpr UINT kFilterCombo = 0x470;    // cmb1
constexpr UINT kMessageTextId = 0xFFFF;
// Generous for a slow machine, short enough that a dialog nobody answers fails the test
// before ctest's own limit.
constexpr ULONGLONG kPatienceMs = 30000;

using testing::CzechExpected;

// ---- The pointer settings, saved whole and put back exactly ----

void PutBack(const KeyTree& tree) {
  SHDeleteKeyW(HKEY_CURRENT_USER, kCursorsKey);
  if (tree.exists) WriteTree(HKEY_CURRENT_USER, kCursorsKey, tree);
}

void SetPointer(const wchar_t* role, const std::wstring& path, DWORD type = REG_EXPAND_SZ) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kCursorsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExW(key, role, 0, type, reinterpret_cast<const BYTE*>(path.c_str()),
                           static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

// ---- Windows as the person sees them ----

std::wstring TextOf(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

// The shown dialog windows (save dialogs and message boxes alike) of one thread.
std::vector<HWND> DialogsOf(DWORD thread) {
  std::vector<HWND> found;
  EnumThreadWindows(
      thread,
      [](HWND window, LPARAM context) -> BOOL {
        if (IsWindowVisible(window) && ClassOf(window) == L"#32770") {
          reinterpret_cast<std::vector<HWND>*>(context)->push_back(window);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

HWND Descendant(HWND root, const wchar_t* className) {
  std::pair<const wchar_t*, HWND> search{className, nullptr};
  EnumChildWindows(
      root,
      [](HWND window, LPARAM context) -> BOOL {
        auto* s = reinterpret_cast<std::pair<const wchar_t*, HWND>*>(context);
        if (ClassOf(window) != s->first) return TRUE;
        s->second = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.second;
}

void Press(HWND dialog, int button) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

// Closes a window the way a person would: with the button that declines, if it has one.
void Dismiss(HWND dialog) {
  for (int button : {IDCANCEL, IDNO, IDOK}) {
    if (GetDlgItem(dialog, button) != nullptr) {
      Press(dialog, button);
      return;
    }
  }
  PostMessageW(dialog, WM_CLOSE, 0, 0);
}

bool WaitUntil(const std::function<bool()>& condition) {
  const ULONGLONG deadline = GetTickCount64() + kPatienceMs;
  while (!condition()) {
    if (GetTickCount64() > deadline) return false;
    Sleep(10);
  }
  return true;
}

struct SaveDialogView {
  bool seen = false;
  HWND window = nullptr;
  std::wstring title;
  HWND owner = nullptr;
  bool ownerEnabled = true;
  LRESULT folderResult = 0;  // CDM_GETFOLDERPATH's answer
  std::wstring folder;
  std::vector<std::wstring> filters;
  LRESULT selectedFilter = CB_ERR;
  bool hasFileNameControl = false;
  std::wstring fileName;
  std::vector<std::wstring> listed;  // the names the dialog's file list shows
  std::wstring typed;                // the file name control's text after typing
};

struct MessageView {
  bool seen = false;
  std::wstring caption;
  std::wstring text;
  HWND owner = nullptr;
  bool ownerEnabled = true;
  HICON icon = nullptr;
  std::vector<int> buttons;
};

MessageView ReadMessage(HWND box) {
  MessageView view;
  view.seen = true;
  view.caption = TextOf(box);
  view.text = TextOf(GetDlgItem(box, kMessageTextId));
  view.owner = GetWindow(box, GW_OWNER);
  view.ownerEnabled = IsWindowEnabled(view.owner) != FALSE;
  // The icon is the one static control that holds one.
  EnumChildWindows(
      box,
      [](HWND child, LPARAM context) -> BOOL {
        if (ClassOf(child) != L"Static") return TRUE;
        const auto handle = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
        if (handle == nullptr) return TRUE;
        *reinterpret_cast<HICON*>(context) = handle;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&view.icon));
  for (int button : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
    if (GetDlgItem(box, button) != nullptr) view.buttons.push_back(button);
  }
  return view;
}

SaveDialogView ReadSaveDialog(HWND dialog) {
  SaveDialogView view;
  view.seen = true;
  view.window = dialog;
  view.title = TextOf(dialog);
  view.owner = GetWindow(dialog, GW_OWNER);
  view.ownerEnabled = IsWindowEnabled(view.owner) != FALSE;
  wchar_t folder[MAX_PATH] = {};
  view.folderResult =
      SendMessageW(dialog, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(folder));
  view.folder = folder;
  const HWND filters = GetDlgItem(dialog, kFilterCombo);
  const LRESULT count = SendMessageW(filters, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    std::wstring item(static_cast<std::size_t>(SendMessageW(filters, CB_GETLBTEXTLEN, i, 0)) + 1,
                      L'\0');
    item.resize(static_cast<std::size_t>(
        SendMessageW(filters, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()))));
    view.filters.push_back(item);
  }
  view.selectedFilter = SendMessageW(filters, CB_GETCURSEL, 0, 0);
  HWND name = GetDlgItem(dialog, kFileNameCombo);
  if (name == nullptr) name = GetDlgItem(dialog, kFileNameEdit);
  view.hasFileNameControl = name != nullptr;
  view.fileName = TextOf(name);
  if (HWND list = Descendant(dialog, WC_LISTVIEWW); list != nullptr) {
    const LRESULT items = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    for (LRESULT i = 0; i < items; ++i) {
      wchar_t text[MAX_PATH] = {};
      LVITEMW item{};
      item.iSubItem = 0;
      item.pszText = text;
      item.cchTextMax = MAX_PATH;
      SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
      view.listed.push_back(text);
    }
  }
  return view;
}

// Types `name` into the file name control and presses the dialog's OK button.
void TypeAndSave(HWND dialog, const std::wstring& name, SaveDialogView& view) {
  HWND control = GetDlgItem(dialog, kFileNameCombo);
  if (control == nullptr) control = GetDlgItem(dialog, kFileNameEdit);
  SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
  view.seen = true;
  view.window = dialog;
  view.typed = TextOf(control);
  Press(dialog, IDOK);
}

// The person: answers, in order, each dialog window the handler's thread shows. Windows beyond
// the script are noted and dismissed, so a wrong window fails the test instead of hanging it.
class Person {
 public:
  using Action = std::function<void(HWND)>;

  explicit Person(std::vector<Action> script)
      : thread_(GetCurrentThreadId()),
        script_(std::move(script)),
        done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        worker_([this] { Run(); }) {}
  Person(const Person&) = delete;
  Person& operator=(const Person&) = delete;
  ~Person() {
    Finish();
    CloseHandle(done_);
  }

  // The handler's call has returned: everything it showed is gone.
  void Finish() {
    SetEvent(done_);
    if (worker_.joinable()) worker_.join();
  }

  std::size_t answered() const { return next_; }
  bool timedOut() const { return timedOut_; }
  const std::vector<std::wstring>& unexpected() const { return unexpected_; }

 private:
  void Run() {
    const ULONGLONG deadline = GetTickCount64() + kPatienceMs;
    std::set<HWND> seen;
    while (WaitForSingleObject(done_, 20) == WAIT_TIMEOUT) {
      const bool late = GetTickCount64() > deadline;
      for (HWND window : DialogsOf(thread_)) {
        if (late) {
          timedOut_ = true;
          Dismiss(window);
          continue;
        }
        if (!seen.insert(window).second) continue;
        if (next_ < script_.size()) {
          script_[next_++](window);
        } else {
          unexpected_.push_back(TextOf(window) + L": " +
                                TextOf(GetDlgItem(window, kMessageTextId)));
          Dismiss(window);
        }
      }
    }
  }

  const DWORD thread_;
  std::vector<Action> script_;
  std::size_t next_ = 0;
  bool timedOut_ = false;
  std::vector<std::wstring> unexpected_;
  HANDLE done_;
  std::thread worker_;
};

// ---- Expected texts and bytes ----

const wchar_t* ExpectedTitle() {
  return CzechExpected() ? L"Uložit schéma ukazatelů" : L"Save Cursor Scheme";
}
const wchar_t* ExpectedFailureCaption() {
  return CzechExpected() ? L"Ukládání selhalo" : L"Export Failed";
}
const wchar_t* ExpectedFailureText() {
  return CzechExpected()
             ? L"Nepodařilo se uložit schéma ukazatelů. Prosím ověřte, že máte práva zápisu ve "
               L"vybraném adresáři a na disku je dost místa."
             : L"Cannot save the cursor scheme. Please verify that you have access rights to write "
               L"in the selected directory and that there is enough free space.";
}

constexpr const char* kRoles[] = {"Arrow",    "Help",     "AppStarting", "Wait",    "Crosshair",
                                  "IBeam",    "NWPen",    "No",          "SizeNS",  "SizeWE",
                                  "SizeNWSE", "SizeNESW", "SizeAll",     "UpArrow", "Hand"};

// A scheme file's bytes from its fifteen entries, in role order.
std::string SchemeBytes(const std::map<std::string, std::string>& entries) {
  std::string bytes = "\xEF\xBB\xBF";
  for (const char* role : kRoles) {
    const auto entry = entries.find(role);
    bytes += std::string("[") + role +
             "]\r\nPath=" + (entry == entries.end() ? "" : entry->second) + "\r\n\r\n";
  }
  bytes.push_back('\0');
  return bytes;
}

std::string Utf8(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size,
                      nullptr, nullptr);
  return bytes;
}

std::string BytesOf(const std::wstring& path) {
  std::ifstream file(fs::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream(fs::path(path), std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::set<std::wstring> NamesIn(const std::wstring& folder) {
  std::set<std::wstring> names;
  for (const auto& entry : fs::directory_iterator(fs::path(folder))) {
    names.insert(entry.path().filename().wstring());
  }
  return names;
}

std::vector<std::wstring> TemporaryFilesIn(const std::wstring& folder) {
  std::vector<std::wstring> found;
  for (const std::wstring& name : NamesIn(folder)) {
    if (PathMatchSpecW(name.c_str(), L"crs*.tmp")) found.push_back(name);
  }
  return found;
}

// Wine 8's ReplaceFileW first makes an empty rf*.tmp to move the replaced file into, and leaves
// it behind when that move fails. It is Wine's, not the handler's: set aside, not counted.
std::set<std::wstring> NamesLeftBy(const std::wstring& folder) {
  std::set<std::wstring> names;
  for (const std::wstring& name : NamesIn(folder)) {
    const bool wineLeftover = PathMatchSpecW(name.c_str(), L"rf*.tmp") &&
                              fs::file_size(fs::path(folder + L"\\" + name)) == 0;
    if (!wineLeftover) names.insert(name);
  }
  return names;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// ---- The fixture: a handler for one selected file, a window to own its dialogs ----

class ExportDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // The save dialog makes the folder it was in the process's current one, and a current
    // folder cannot be removed.
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    savedCurrentFolder_ = current;
    savedPointers_ = ReadTree(HKEY_CURRENT_USER, kCursorsKey);
    // Each test starts from no pointer set, whatever the prefix held.
    SHDeleteKeyW(HKEY_CURRENT_USER, kCursorsKey);
    WriteTree(HKEY_CURRENT_USER, kCursorsKey, KeyTree{});

    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    wchar_t longTemp[MAX_PATH] = {};
    GetLongPathNameW(temp, longTemp, MAX_PATH);
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "-" + test->name();
    for (char& c : name) c = std::isalnum(static_cast<unsigned char>(c)) ? c : '-';
    parent =
        fs::path(longTemp).wstring() + L"pivora-dialog-" + std::to_wstring(GetCurrentProcessId());
    folder = parent + L"\\" + std::wstring(name.begin(), name.end());
    fs::create_directories(fs::path(folder));
    selected = folder + L"\\arrow.cur";
    WriteBytes(selected, "pointer");

    owner = CreateWindowExW(0, L"STATIC", L"Pivora test owner", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                            nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    ASSERT_NE(library.get(), nullptr);
    ASSERT_EQ(library.GetClassObject(kHandlerClass, IID_IClassFactory, factory.put()), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellExtInit, init.put()), S_OK);
    ASSERT_EQ(init->QueryInterface(IID_IContextMenu, menu.put()), S_OK);
    DropDataObject selection({selected});
    ASSERT_EQ(init->Initialize(nullptr, &selection, nullptr), S_OK);
  }

  void TearDown() override {
    menu.reset();
    init.reset();
    factory.reset();
    if (owner != nullptr) DestroyWindow(owner);
    PutBack(savedPointers_);
    EXPECT_EQ(ReadTree(HKEY_CURRENT_USER, kCursorsKey), savedPointers_)
        << "the pointer settings were not put back";
    SetCurrentDirectoryW(savedCurrentFolder_.c_str());
    std::error_code error;
    fs::remove_all(fs::path(parent), error);
    EXPECT_FALSE(fs::exists(fs::path(parent))) << "the test's folder stayed";
    CoUninitialize();
  }

  // Chooses the menu item at `offset` as the file manager does, while `person` answers.
  HRESULT Invoke(Person& person, UINT offset = 16) {
    CMINVOKECOMMANDINFO info{};
    info.cbSize = sizeof(info);
    info.hwnd = owner;
    info.lpVerb = MAKEINTRESOURCEA(offset);
    info.nShow = SW_SHOWNORMAL;
    const HRESULT result = menu->InvokeCommand(&info);
    person.Finish();
    EXPECT_FALSE(person.timedOut()) << "a window stayed open past the deadline";
    EXPECT_TRUE(person.unexpected().empty())
        << "unexpected window: " << Utf8(person.unexpected().front());
    return result;
  }

  Library library;
  Ptr<IClassFactory> factory;
  Ptr<IShellExtInit> init;
  Ptr<IContextMenu> menu;
  HWND owner = nullptr;
  std::wstring parent;    // removed whole afterwards
  std::wstring folder;    // the selected file's folder
  std::wstring selected;  // the selected file

 private:
  KeyTree savedPointers_;
  std::wstring savedCurrentFolder_;
};

TEST_F(ExportDialogTest, DialogOpensInTheSelectedFilesFolderWithTitleAndFilters) {
  WriteBytes(folder + L"\\kept.crs", "scheme");
  WriteBytes(folder + L"\\notes.txt", "text");
  fs::create_directory(fs::path(folder + L"\\Pointers"));
  const std::set<std::wstring> before = NamesIn(folder);

  SaveDialogView dialog;
  Person person({[&](HWND window) {
    dialog = ReadSaveDialog(window);
    Press(window, IDCANCEL);
  }});
  EXPECT_EQ(Invoke(person), S_OK);

  ASSERT_TRUE(dialog.seen);
  EXPECT_EQ(Utf8(dialog.title), Utf8(ExpectedTitle()));
  EXPECT_EQ(dialog.owner, owner);
  EXPECT_FALSE(dialog.ownerEnabled) << "the dialog is modal to the invoking window";
  EXPECT_GT(dialog.folderResult, 0);
  EXPECT_TRUE(SamePath(dialog.folder, folder)) << Utf8(dialog.folder);
  ASSERT_EQ(dialog.filters.size(), 2u);
  if (CzechExpected()) {
    // Translated names; the patterns they show stay.
    EXPECT_TRUE(dialog.filters[0].ends_with(L"(*.crs)")) << Utf8(dialog.filters[0]);
    EXPECT_TRUE(dialog.filters[1].ends_with(L"(*.*)")) << Utf8(dialog.filters[1]);
  } else {
    EXPECT_EQ(dialog.filters[0], L"Cursor Scheme Files (*.crs)");
    EXPECT_EQ(dialog.filters[1], L"All Files (*.*)");
  }
  EXPECT_EQ(dialog.selectedFilter, 0);
  EXPECT_TRUE(dialog.hasFileNameControl);
  EXPECT_EQ(dialog.fileName, L"");
  // The first filter is in force: of the files only the scheme is offered, folders stay.
  std::set<std::wstring> listed;
  for (const std::wstring& name : dialog.listed) listed.insert(fs::path(name).stem().wstring());
  EXPECT_EQ(listed, (std::set<std::wstring>{L"kept", L"Pointers"}));

  // Cancelled: nothing written, nothing shown.
  EXPECT_EQ(person.answered(), 1u);
  EXPECT_EQ(NamesIn(folder), before);
}

// Offsets 15 (the separator's), 17 and beyond are no role: every one of them exports.
TEST_F(ExportDialogTest, EveryOffsetPastTheRolesOpensTheSaveDialog) {
  for (UINT offset : {15u, 16u, 17u, 18u, 1000u}) {
    SaveDialogView dialog;
    Person person({[&](HWND window) {
      dialog = ReadSaveDialog(window);
      Press(window, IDCANCEL);
    }});
    EXPECT_EQ(Invoke(person, offset), S_OK) << offset;
    EXPECT_TRUE(dialog.seen) << offset;
    EXPECT_EQ(Utf8(dialog.title), Utf8(ExpectedTitle())) << offset;
  }
  EXPECT_EQ(NamesIn(folder), std::set<std::wstring>{L"arrow.cur"});
}

TEST_F(ExportDialogTest, SavingWritesTheCurrentPointersRelativeToTheSchemesFolder) {
  SetPointer(L"Arrow", folder + L"\\arrow.cur");
  SetPointer(L"Help", folder + L"\\Pointers\\help.cur");
  SetPointer(L"Wait", L"Z:\\nowhere\\čekání.ani");  // another drive: no relative form
  SetPointer(L"Crosshair", L"");
  SetPointer(L"IBeam", parent + L"\\beam.cur");
  SetPointer(L"SizeAll", folder + L"\\move.cur", REG_SZ);
  {
    std::wstring upper = folder;
    CharUpperW(upper.data());
    SetPointer(L"Hand", upper + L"\\hand.cur");
  }
  SetPointer(L"UpArrow", L"up.cur");  // a bare name: kept as it is
  const KeyTree pointers = ReadTree(HKEY_CURRENT_USER, kCursorsKey);

  SaveDialogView dialog;
  Person person({[&](HWND window) { TypeAndSave(window, L"exported", dialog); }});
  EXPECT_EQ(Invoke(person), S_OK);

  EXPECT_EQ(dialog.typed, L"exported");
  EXPECT_EQ(NamesIn(folder), (std::set<std::wstring>{L"arrow.cur", L"exported.crs"}));
  EXPECT_EQ(BytesOf(folder + L"\\exported.crs"),
            SchemeBytes({{"Arrow", "arrow.cur"},
                         {"Help", "Pointers\\help.cur"},
                         {"Wait", Utf8(L"Z:\\nowhere\\čekání.ani")},
                         {"IBeam", "..\\beam.cur"},
                         {"SizeAll", "move.cur"},
                         {"UpArrow", "up.cur"},
                         {"Hand", "hand.cur"}}));
  EXPECT_EQ(ReadTree(HKEY_CURRENT_USER, kCursorsKey), pointers) << "an export changes no setting";
}

TEST_F(ExportDialogTest, WithoutThePointerSettingsKeyTheTemplateIsSaved) {
  SHDeleteKeyW(HKEY_CURRENT_USER, kCursorsKey);

  SaveDialogView dialog;
  Person person({[&](HWND window) { TypeAndSave(window, L"empty", dialog); }});
  EXPECT_EQ(Invoke(person), S_OK);

  std::string expected = "\xEF\xBB\xBF";
  for (const char* role : kRoles) expected += std::string("[") + role + "]\r\nPath=\r\n";
  expected.push_back('\0');
  ASSERT_EQ(expected.size(), 260u);
  EXPECT_EQ(BytesOf(folder + L"\\empty.crs"), expected);
  EXPECT_FALSE(ReadTree(HKEY_CURRENT_USER, kCursorsKey).exists) << "an export creates no key";
}

TEST_F(ExportDialogTest, OverwritingAfterYesReplacesTheFileWhole) {
  SetPointer(L"Arrow", folder + L"\\arrow.cur");
  const std::wstring existing = folder + L"\\old.crs";
  WriteBytes(existing, std::string(5000, 'x'));  // longer than the scheme

  SaveDialogView dialog;
  MessageView prompt;
  Person person({[&](HWND window) { TypeAndSave(window, L"old", dialog); },
                 [&](HWND window) {
                   prompt = ReadMessage(window);
                   Press(window, IDYES);
                 }});
  EXPECT_EQ(Invoke(person), S_OK);

  ASSERT_TRUE(prompt.seen) << "no question before replacing a file";
  EXPECT_EQ(prompt.owner, dialog.window) << "the dialog itself asks";
  EXPECT_EQ(BytesOf(existing), SchemeBytes({{"Arrow", "arrow.cur"}}));
  EXPECT_EQ(NamesIn(folder), (std::set<std::wstring>{L"arrow.cur", L"old.crs"}));
}

TEST_F(ExportDialogTest, AnsweringNoKeepsTheFileAndTheDialogOpen) {
  const std::wstring existing = folder + L"\\old.crs";
  WriteBytes(existing, "previous");

  SaveDialogView dialog;
  MessageView prompt;
  bool backInDialog = false;
  Person person({[&](HWND window) { TypeAndSave(window, L"old", dialog); },
                 [&](HWND window) {
                   prompt = ReadMessage(window);
                   const HWND saveDialog = prompt.owner;
                   Press(window, IDNO);
                   // Declined: the same dialog takes input again; the person cancels it.
                   backInDialog = WaitUntil([&] {
                     return !IsWindow(window) && IsWindowEnabled(saveDialog) &&
                            IsWindowVisible(saveDialog);
                   });
                   Press(saveDialog, IDCANCEL);
                 }});
  EXPECT_EQ(Invoke(person), S_OK);

  EXPECT_TRUE(prompt.seen);
  EXPECT_TRUE(backInDialog);
  EXPECT_EQ(BytesOf(existing), "previous");
  EXPECT_EQ(NamesIn(folder), (std::set<std::wstring>{L"arrow.cur", L"old.crs"}));
}

TEST_F(ExportDialogTest, ATargetThatCannotBeReplacedGivesTheFailureMessage) {
  SetPointer(L"Arrow", folder + L"\\arrow.cur");
  const std::wstring existing = folder + L"\\locked.crs";
  WriteBytes(existing, "previous contents");
  // Held open with no sharing: neither replaced nor deleted while the handle lives.
  const HANDLE held = CreateFileW(existing.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);

  SaveDialogView dialog;
  MessageView prompt;
  MessageView failure;
  Person person({[&](HWND window) { TypeAndSave(window, L"locked", dialog); },
                 [&](HWND window) {
                   prompt = ReadMessage(window);
                   Press(window, IDYES);
                 },
                 [&](HWND window) {
                   failure = ReadMessage(window);
                   Press(window, IDOK);
                 }});
  const HRESULT result = Invoke(person);
  CloseHandle(held);

  EXPECT_EQ(result, E_FAIL);
  EXPECT_TRUE(prompt.seen);
  ASSERT_TRUE(failure.seen) << "no failure message";
  EXPECT_EQ(Utf8(failure.caption), Utf8(ExpectedFailureCaption()));
  EXPECT_EQ(Utf8(failure.text), Utf8(ExpectedFailureText()));
  EXPECT_EQ(failure.owner, owner);
  EXPECT_FALSE(failure.ownerEnabled) << "the message is modal to the invoking window";
  EXPECT_EQ(failure.buttons, std::vector<int>{IDOK});
  EXPECT_EQ(failure.icon, LoadIconW(nullptr, IDI_ERROR));
  EXPECT_EQ(BytesOf(existing), "previous contents");
  EXPECT_TRUE(TemporaryFilesIn(folder).empty());
  EXPECT_EQ(NamesLeftBy(folder), (std::set<std::wstring>{L"arrow.cur", L"locked.crs"}));
}

// Another program reads the scheme and shares reading only: the save fails with the message
// before anything is made beside the file, which stays as it was.
TEST_F(ExportDialogTest, ATargetHeldForReadingStaysAsItWasWithNothingBesideIt) {
  SetPointer(L"Arrow", folder + L"\\arrow.cur");
  const std::wstring existing = folder + L"\\held.crs";
  WriteBytes(existing, "previous contents");
  const HANDLE held = CreateFileW(existing.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);

  SaveDialogView dialog;
  MessageView failure;
  Person person({[&](HWND window) { TypeAndSave(window, L"held", dialog); },
                 [&](HWND window) { Press(window, IDYES); },
                 [&](HWND window) {
                   failure = ReadMessage(window);
                   Press(window, IDOK);
                 }});
  const HRESULT result = Invoke(person);
  CloseHandle(held);

  EXPECT_EQ(result, E_FAIL);
  ASSERT_TRUE(failure.seen) << "no failure message";
  EXPECT_EQ(Utf8(failure.text), Utf8(ExpectedFailureText()));
  EXPECT_EQ(BytesOf(existing), "previous contents");
  EXPECT_EQ(NamesIn(folder), (std::set<std::wstring>{L"arrow.cur", L"held.crs"}));
}

// The folder saved in does not become the process's current one, which would keep the file
// manager holding it.
TEST_F(ExportDialogTest, SavingLeavesTheCurrentFolderWhereItWas) {
  wchar_t before[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, before);
  ASSERT_FALSE(SamePath(before, folder));

  SaveDialogView dialog;
  Person person({[&](HWND window) { TypeAndSave(window, L"here", dialog); }});
  EXPECT_EQ(Invoke(person), S_OK);

  wchar_t after[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, after);
  EXPECT_TRUE(SamePath(before, after)) << Utf8(after);
  EXPECT_TRUE(fs::exists(fs::path(folder + L"\\here.crs")));
}

// A folder of 248 units leaves no room for a temporary name of the platform's making; the save
// makes its own names beside the target.
TEST_F(ExportDialogTest, ASchemeIsSavedInAFolderOf248Units) {
  std::wstring deep = folder;
  while (248 - deep.size() > 42) deep += L"\\" + std::wstring(40, L'd');
  deep += L"\\" + std::wstring(247 - deep.size(), L'e');
  ASSERT_EQ(deep.size(), 248u);
  fs::create_directories(fs::path(L"\\\\?\\" + deep));
  SetPointer(L"Arrow", folder + L"\\arrow.cur");

  SaveDialogView dialog;
  Person person({[&](HWND window) { TypeAndSave(window, deep + L"\\deep", dialog); }});
  EXPECT_EQ(Invoke(person), S_OK);

  EXPECT_EQ(BytesOf(L"\\\\?\\" + deep + L"\\deep.crs").substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(NamesIn(L"\\\\?\\" + deep), std::set<std::wstring>{L"deep.crs"});
}

// Run where comdlg32 and msimg32 cannot be loaded (see tests/CMakeLists.txt): the menu is
// still built, and the save fails with a result instead of a dialog, a message or a crash.
TEST_F(ExportDialogTest, WithoutItsLibrariesTheMenuStandsAndTheSaveFails) {
  wchar_t overrides[64] = {};
  if (GetEnvironmentVariableW(L"PIVORA_WINE_DLL_OVERRIDES", overrides, 64) == 0) {
    GTEST_SKIP() << "runs where comdlg32 and msimg32 are kept from loading";
  }
  ASSERT_EQ(GetModuleHandleW(L"comdlg32.dll"), nullptr);

  const HMENU shellMenu = CreatePopupMenu();
  EXPECT_EQ(menu->QueryContextMenu(shellMenu, 0, 1, 0x7FFF, CMF_NORMAL),
            MAKE_HRESULT(SEVERITY_SUCCESS, 0, 18));
  EXPECT_EQ(GetMenuItemCount(shellMenu), 1);
  DestroyMenu(shellMenu);

  Person person(std::vector<Person::Action>{});
  EXPECT_EQ(Invoke(person), HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(NamesIn(folder), std::set<std::wstring>{L"arrow.cur"});
}

// The dialog, not the handler, refuses a folder that does not exist.
TEST_F(ExportDialogTest, AMissingFolderIsRefusedByTheDialog) {
  SaveDialogView dialog;
  MessageView refusal;
  Person person({[&](HWND window) { TypeAndSave(window, L"missing\\name", dialog); },
                 [&](HWND window) {
                   refusal = ReadMessage(window);
                   const HWND saveDialog = refusal.owner;
                   Press(window, IDOK);
                   WaitUntil([&] { return !IsWindow(window) && IsWindowEnabled(saveDialog); });
                   Press(saveDialog, IDCANCEL);
                 }});
  EXPECT_EQ(Invoke(person), S_OK);

  EXPECT_TRUE(refusal.seen) << "the dialog accepted a path whose folder is missing";
  EXPECT_EQ(refusal.owner, dialog.window);
  EXPECT_EQ(NamesIn(folder), std::set<std::wstring>{L"arrow.cur"});
}

}  // namespace
}  // namespace pivora

// The file manager runs menus on several threads, and a scheme may be applied at the same
// moment: handlers made, their menus built and role commands run on four threads while a fifth
// applies a scheme again and again. Nothing may crash, every value must end as one of the
// writers left it (never a mix), and the library must be free to unload at the end.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/pointer_roles.h"
#include "tests/support/test_platform.h"
#include "tests/windows/library.h"
#include "tools/pointer_files.h"
#include "tools/shell_objects.h"

namespace pivora {
namespace {

namespace fs = std::filesystem;
using testing::DropDataObject;
using testing::kHandlerClass;
using testing::Library;
using testing::Ptr;

constexpr int kMenuThreads = 4;
constexpr int kRounds = 40;

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

// One handler's life on the calling thread: made, given `file`, its menu built, the role chosen.
HRESULT ChooseRole(const Library& library, const std::wstring& file, UINT role) {
  Ptr<IClassFactory> factory;
  Ptr<IShellExtInit> init;
  Ptr<IContextMenu> menu;
  if (library.GetClassObject(kHandlerClass, IID_IClassFactory, factory.put()) != S_OK ||
      factory->CreateInstance(nullptr, IID_IShellExtInit, init.put()) != S_OK) {
    return E_FAIL;
  }
  DropDataObject data({file});
  if (init->Initialize(nullptr, &data, nullptr) != S_OK ||
      init->QueryInterface(IID_IContextMenu, menu.put()) != S_OK) {
    return E_FAIL;
  }
  const HMENU shellMenu = CreatePopupMenu();
  const HRESULT built = menu->QueryContextMenu(shellMenu, 0, 1, 100, CMF_NORMAL);
  DestroyMenu(shellMenu);
  if (FAILED(built)) return built;
  CMINVOKECOMMANDINFO command{};
  command.cbSize = sizeof(command);
  command.lpVerb = MAKEINTRESOURCEA(role);
  return menu->InvokeCommand(&command);
}

TEST(ConcurrencyTest, MenusRoleCommandsAndAnApplyAtOnceLeaveWholeValues) {
  testing::TestPlatform bed;  // first: the redirected settings outlive the library
  const fs::path folder = Wide(bed.folder());
  const auto written = pointer_files::WriteSamplePointers(folder / L"Scheme");
  ASSERT_TRUE(written.ok()) << written.error;
  std::string scheme = "\xEF\xBB\xBF";
  std::vector<std::set<std::wstring>> allowed(kPointerRoleCount);
  for (const auto& sample : pointer_files::SamplePointers()) {
    scheme += "[" + sample.value_name + "]\r\nPath=Scheme\\" + sample.file_name + "\r\n\r\n";
    for (std::size_t role = 0; role < kPointerRoleCount; ++role) {
      if (std::u16string_view(PointerRoles[role].valueName) ==
          std::u16string(sample.value_name.begin(), sample.value_name.end())) {
        allowed[role].insert(
            (folder / L"Scheme" / std::wstring(sample.file_name.begin(), sample.file_name.end()))
                .wstring());
      }
    }
  }
  std::ofstream(folder / L"Blue.crs", std::ios::binary) << scheme;
  std::vector<std::wstring> threadFiles;
  for (int t = 0; t < kMenuThreads; ++t) {
    const fs::path own = folder / (L"thread" + std::to_wstring(t) + L".cur");
    fs::copy_file(folder / L"Scheme" / L"Arrow.cur", own);
    threadFiles.push_back(own.wstring());
    for (auto& role : allowed) role.insert(own.wstring());
  }

  Library library;
  const auto apply = library.Export<void CALLBACK(HWND, HINSTANCE, wchar_t*, int)>("ApplySetW");
  ASSERT_NE(apply, nullptr);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kMenuThreads; ++t) {
    threads.emplace_back([&, t] {
      CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      for (int round = 0; round < kRounds; ++round) {
        const UINT role = static_cast<UINT>((t * 4 + round) % kPointerRoleCount);
        if (ChooseRole(library, threadFiles[t], role) != S_OK) ++failures;
      }
      CoUninitialize();
    });
  }
  threads.emplace_back([&] {
    std::wstring line = (folder / L"Blue.crs").wstring();
    for (int round = 0; round < kRounds; ++round) apply(nullptr, nullptr, line.data(), SW_SHOW);
  });
  for (std::thread& thread : threads) thread.join();

  EXPECT_EQ(failures, 0);
  for (std::size_t role = 0; role < kPointerRoleCount; ++role) {
    const auto stored = bed.Stored(PointerRoles[role].valueName);
    ASSERT_TRUE(stored) << role;
    EXPECT_EQ(stored->type, static_cast<std::uint32_t>(REG_EXPAND_SZ)) << role;
    std::wstring text = Wide(stored->text);
    if (!text.empty() && text.back() == L'\0') text.pop_back();
    EXPECT_TRUE(allowed[role].count(text)) << role << ": " << std::string(text.begin(), text.end());
  }
  EXPECT_EQ(library.CanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace pivora

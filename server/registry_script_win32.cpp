#include "server/registry_script.h"

#include <memory>
#include <string>

#include "module/module_records.h"
#include "platform/platform_win32.h"
#include "platform/unique_handle_win32.h"
#include "server/com_module.h"
#include "server/com_reg_object.h"

namespace pivora {
namespace {

// A module file loaded for its resources only.
struct DataFileTraits : Win32Traits {
  using type = HMODULE;
  static HMODULE invalid() { return nullptr; }
  static void close(HMODULE module) { FreeLibrary(module); }
};

// Loads the script resource from the module file and runs it in the thread's ANSI code page.
HRESULT RunResourceScript(CRegObject& registrar, const wchar_t* modulePath,
                          std::uint16_t resourceId, const wchar_t* resourceType, bool doRegister) {
  const UniqueHandle<DataFileTraits> file(
      LoadLibraryExW(modulePath, nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!file) return LastErrorResult();
  const HRSRC found = FindResourceW(file.get(), MAKEINTRESOURCEW(resourceId), resourceType);
  if (found == nullptr) return LastErrorResult();
  const HGLOBAL loaded = LoadResource(file.get(), found);
  if (loaded == nullptr) return LastErrorResult();
  const DWORD size = SizeofResource(file.get(), found);
  if (size == 0) return LastErrorResult();
  const auto* bytes = static_cast<const char*>(LockResource(loaded));
  std::u16string text(size + 1, u'\0');
  const int units = MultiByteToWideChar(CP_THREAD_ACP, 0, bytes, static_cast<int>(size),
                                        AsWide(text.data()), static_cast<int>(size + 1));
  if (units == 0) return LastErrorResult();
  text.resize(static_cast<std::size_t>(units));
  Win32Registry registry;
  return RunScriptText(registry, registrar, text.c_str(), doRegister);
}

// The path with every single quote doubled, as a quoted script token needs it; at most 519
// characters.
std::u16string DoubledQuotes(const wchar_t* path) {
  std::u16string doubled;
  for (const wchar_t* c = path; *c != L'\0' && doubled.size() < 519; ++c) {
    doubled.push_back(static_cast<char16_t>(*c));
    if (*c == L'\'' && doubled.size() < 519) doubled.push_back(u'\'');
  }
  return doubled;
}

}  // namespace

HRESULT RunRegistryScript(std::uint16_t resourceId, bool doRegister, const ReplacementEntry* list) {
  CRegObject registrar;
  for (const ReplacementEntry* entry = list; entry != nullptr && entry->name != nullptr; ++entry) {
    if (entry->value != nullptr) registrar.DefineReplacement(entry->name, entry->value);
  }
  if (const HRESULT result = currentModule->AddStandardReplacements(&registrar); FAILED(result)) {
    return result;
  }
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(baseModule.moduleInstance, path, MAX_PATH);
  if (length == 0) return LastErrorResult();
  if (length == MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  const std::u16string module = DoubledQuotes(path);
  if (FAILED(registrar.DefineReplacement(u"Module", module.c_str())) ||
      FAILED(registrar.DefineReplacement(u"Module_Raw", module.c_str()))) {
    return E_OUTOFMEMORY;
  }
  return RunResourceScript(registrar, path, resourceId, L"REGISTRY", doRegister);
}

}  // namespace pivora

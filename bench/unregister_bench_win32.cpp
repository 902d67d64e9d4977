// Times DllRegisterServer and DllUnregisterServer, whose scan for handler keys walks every
// top-level key of HKEY_CLASSES_ROOT, with 0, 1,000 and 10,000 extra top-level keys, and prints the
// time per key. It registers and unregisters for real: run it in a prefix of its own.
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/timing.h"

namespace {

using pivora::bench::Time;

using Entry = HRESULT STDAPICALLTYPE();

std::wstring KeyName(int index) { return L"PivoraBench" + std::to_wstring(index); }

}  // namespace

int main() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const HMODULE library =
      LoadLibraryW((std::filesystem::path(self).parent_path() / L"Pivora.dll").c_str());
  if (library == nullptr) return 1;
  auto* registerServer = reinterpret_cast<Entry*>(
      reinterpret_cast<void*>(GetProcAddress(library, "DllRegisterServer")));
  auto* unregisterServer = reinterpret_cast<Entry*>(
      reinterpret_cast<void*>(GetProcAddress(library, "DllUnregisterServer")));
  double baseline = 0;
  for (const int extra : {0, 1000, 10000}) {
    for (int i = 0; i < extra; ++i) {
      HKEY key = nullptr;
      RegCreateKeyW(HKEY_CLASSES_ROOT, KeyName(i).c_str(), &key);
      RegCloseKey(key);
    }
    HRESULT registered = S_OK;
    const double registering = Time([&] { registered = registerServer(); });
    HRESULT result = S_OK;
    const double time = Time([&] { result = unregisterServer(); });
    if (extra == 0) baseline = time;
    std::printf(
        "%6d extra keys: registration %8.2f ms (0x%08lx), unregistration %8.2f ms "
        "(0x%08lx)%s\n",
        extra, registering, static_cast<unsigned long>(registered), time,
        static_cast<unsigned long>(result),
        extra == 0
            ? ""
            : (" , " + std::to_string((time - baseline) / extra * 1000.0) + " us per extra key")
                  .c_str());
    for (int i = 0; i < extra; ++i) RegDeleteKeyW(HKEY_CLASSES_ROOT, KeyName(i).c_str());
  }
  FreeLibrary(library);
  return 0;
}

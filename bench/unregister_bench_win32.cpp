// Times DllUnregisterServer, whose scan for handler keys walks every top-level key of
// HKEY_CLASSES_ROOT, with 0, 1,000 and 10,000 extra top-level keys, and prints the time per key.
// It registers and unregisters for real: run it in a prefix of its own.
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

using Entry = HRESULT STDAPICALLTYPE();

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

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
    registerServer();
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    const HRESULT result = unregisterServer();
    QueryPerformanceCounter(&end);
    const double time = Milliseconds(start, end);
    if (extra == 0) baseline = time;
    std::printf("%6d extra keys: unregistration %8.2f ms (result 0x%08lx)%s\n", extra, time,
                static_cast<unsigned long>(result),
                extra == 0 ? ""
                           : (" , " + std::to_string((time - baseline) / extra * 1000.0) +
                              " us per extra key")
                                 .c_str());
    for (int i = 0; i < extra; ++i) RegDeleteKeyW(HKEY_CLASSES_ROOT, KeyName(i).c_str());
  }
  FreeLibrary(library);
  return 0;
}

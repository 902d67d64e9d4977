// Creates a volatile key under HKEY_LOCAL_MACHINE. The registry refuses lasting subkeys under
// a volatile key, so an installer test can make a registration step that creates one fail.
// Usage: volatile_key <path under HKEY_LOCAL_MACHINE>
#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: volatile_key <HKLM path>\n");
    return 2;
  }
  HKEY key = nullptr;
  DWORD disposition = 0;
  const LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, argv[1], 0, nullptr, REG_OPTION_VOLATILE,
                                      KEY_READ, nullptr, &key, &disposition);
  if (result != ERROR_SUCCESS) {
    std::fprintf(stderr, "volatile_key: error %ld\n", result);
    return 1;
  }
  RegCloseKey(key);
  // An existing key keeps its kind: only a new one is volatile.
  return disposition == REG_CREATED_NEW_KEY ? 0 : 1;
}

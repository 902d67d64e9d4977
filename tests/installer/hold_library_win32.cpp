// Keeps a library loaded, as the file manager keeps a shell extension loaded once it has used
// it, so that an installer test can upgrade or remove a library that is in use.
// Usage: hold_library <library> <ready file> <release file>
// Loads the library, creates the ready file, and waits until the release file exists (or two
// minutes have passed, so that a test that forgot it cannot leave the program behind).
#include <windows.h>

#include <cstdio>

namespace {

constexpr DWORD kPollMilliseconds = 50;
constexpr DWORD kLongestHoldMilliseconds = 120000;

bool Exists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: hold_library <library> <ready file> <release file>\n");
    return 2;
  }
  HMODULE library = LoadLibraryW(argv[1]);
  if (library == nullptr) {
    std::fprintf(stderr, "hold_library: LoadLibraryW failed with error %lu\n", GetLastError());
    return 1;
  }
  HANDLE ready = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (ready == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "hold_library: cannot create the ready file (error %lu)\n",
                 GetLastError());
    FreeLibrary(library);
    return 1;
  }
  CloseHandle(ready);
  for (DWORD waited = 0; waited < kLongestHoldMilliseconds && !Exists(argv[3]);
       waited += kPollMilliseconds) {
    Sleep(kPollMilliseconds);
  }
  FreeLibrary(library);
  return 0;
}

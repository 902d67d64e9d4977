// The floor of the apply benchmark: a library whose rundll32 entry does nothing, so that
// rundll32 starting, loading a library and calling it can be told apart from the work. It
// imports what Pivora.dll imports at load (KERNEL32, USER32, ADVAPI32, msvcrt), so that loading
// the two differs only in what is their own.
#include <windows.h>

extern "C" __declspec(dllexport) void CALLBACK Nothing(HWND, HINSTANCE, LPSTR, int) {}

// Never called: ties the library to USER32 and ADVAPI32 as Pivora.dll is tied.
extern "C" __declspec(dllexport) void CALLBACK Imports(HWND, HINSTANCE, LPSTR, int) {
  GetSystemMetrics(SM_CXCURSOR);
  RegCloseKey(HKEY_CURRENT_USER);
}

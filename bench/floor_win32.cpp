// The floor of the apply benchmark: a library whose rundll32 entry does nothing, so that
// rundll32 starting, loading a library and calling it can be told apart from the work.
#include <windows.h>

extern "C" __declspec(dllexport) void CALLBACK Nothing(HWND, HINSTANCE, LPSTR, int) {}

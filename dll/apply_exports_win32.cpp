// The rundll32 entry points of the apply verb. Each binds the real platform seams for one call
// and lets nothing escape: the host has no way to hear of a failure.
#include <windows.h>

#include <memory>
#include <new>

#include "core/apply.h"
#include "platform/platform_win32.h"
#include "platform/retrying_files.h"
#include "server/com_barrier.h"

namespace {

// Command lines that fit are converted on the stack; longer ones on the heap.
constexpr int kLocalCommandLineUnits = 128;

}  // namespace

extern "C" void CALLBACK ApplySetW(HWND, HINSTANCE, LPWSTR commandLine, int) noexcept {
  if (commandLine == nullptr) return;
  // Out of memory or worse ends the run: nothing more is written, and nothing can be reported.
  pivora::QuietBarrier([&] {
    pivora::Win32Platform platform;
    // Applying is a person's act: the scheme file just saved or synced may be held a moment.
    pivora::RetryingFileSystem files(platform.files);
    const std::u16string_view line(pivora::AsUtf16(commandLine));
    pivora::ApplySchemeFile(
        line, pivora::Platform{platform.registry, files, platform.paths, platform.reloader});
  });
}

extern "C" void CALLBACK ApplySet(HWND window, HINSTANCE instance, LPSTR commandLine,
                                  int show) noexcept {
  if (commandLine == nullptr) {
    ApplySetW(window, instance, nullptr, show);
    return;
  }
  wchar_t local[kLocalCommandLineUnits];
  if (MultiByteToWideChar(CP_THREAD_ACP, 0, commandLine, -1, local, kLocalCommandLineUnits) > 0) {
    ApplySetW(window, instance, local, show);
    return;
  }
  const int units = MultiByteToWideChar(CP_THREAD_ACP, 0, commandLine, -1, nullptr, 0);
  if (units <= 0) return;
  std::unique_ptr<wchar_t[]> heap(new (std::nothrow) wchar_t[units]);
  if (!heap) return;
  if (MultiByteToWideChar(CP_THREAD_ACP, 0, commandLine, -1, heap.get(), units) > 0) {
    ApplySetW(window, instance, heap.get(), show);
  }
}

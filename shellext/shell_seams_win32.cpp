#include "platform/platform_win32.h"
#include "shellext/shell_seams.h"

namespace pivora {

ShellSeams& Win32ShellSeams() {
  static Win32Registry registry;
  static Win32PointerReloader reloader;
  static Win32PathRules paths;
  static Win32WindowSystem windows;
  static Win32FileSystem files;
  static ShellSeams seams{registry, reloader, paths, windows, files};
  return seams;
}

}  // namespace pivora

// What a handler of the library shares with the others: its COM root and class-object record,
// its seams with the hook that swaps them in tests, and its registry script. The cursor files'
// menu (CContextMenuExt) writes the same three lines itself, since its bases are fixed.
#pragma once

#include <windows.h>

#include <cstdint>

#include "server/com_frame.h"
#include "server/registry_script.h"
#include "shellext/shell_seams.h"

namespace pivora {

template <class T, const CLSID* clsid, std::uint16_t classScript>
class ShellHandler : public CComObjectRootEx<CComMultiThreadModel>, public CComCoClass<T, clsid> {
 public:
  // The library's handlers use the real platform; tests hand a handler recording seams.
  void UseSeams(ShellSeams& testSeams) { seams = &testSeams; }

  // Registration runs the class's registry script through this hook.
  static HRESULT UpdateClassRegistry(BOOL doRegister) {
    return RunRegistryScript(classScript, doRegister != FALSE);
  }

 protected:
  ShellSeams* seams = &Win32ShellSeams();
};

}  // namespace pivora

// What the handler's items do: a role item makes the selected file that role's pointer; every
// other item exports the current pointers as a scheme file.
#pragma once

#include <windows.h>

#include <shlobj.h>

#include "shellext/selection.h"
#include "shellext/shell_seams.h"

namespace pivora {

HRESULT RunCommand(const CMINVOKECOMMANDINFO* info, const SelectedPath& selectedFile,
                   ShellSeams& seams);

}  // namespace pivora

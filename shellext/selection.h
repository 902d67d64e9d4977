// Reading the shell's selection: the path of the one selected file.
#pragma once

#include <windows.h>

#include <objidl.h>

#include <array>

namespace pivora {

using SelectedPath = std::array<wchar_t, MAX_PATH>;

// Empties `selectedFile`, then fills it with the path of the data object's one file. S_OK when
// exactly one file with a path of at most MAX_PATH - 1 characters was selected; E_INVALIDARG
// for any other selection, a null data object or one without file names in global memory.
HRESULT ReadSelection(IDataObject* data, SelectedPath& selectedFile);

// What IShellExtInit::Initialize of a handler of one file does, inside the method's barrier
// (kAlwaysUnexpected): ReadSelection, with nothing half-read left behind on failure or when
// something throws.
HRESULT InitializeSelection(IDataObject* data, SelectedPath& selectedFile);

}  // namespace pivora

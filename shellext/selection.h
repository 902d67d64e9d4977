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

// IShellExtInit::Initialize of a handler of one file: ReadSelection inside the exception
// barrier (any exception gives E_UNEXPECTED), with nothing half-read left behind on failure.
HRESULT InitializeSelection(IDataObject* data, SelectedPath& selectedFile) noexcept;

}  // namespace pivora

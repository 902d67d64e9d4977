// Reading the shell's selection: the path of the one selected file, or the list of them.
#pragma once

#include <windows.h>

#include <objidl.h>

#include <array>
#include <cstddef>
#include <string>
#include <vector>

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

// The longest path Windows has (in UTF-16 units, without the terminating zero).
inline constexpr std::size_t kLongestPath = 32767;

// Empties `paths`, then fills it with the paths of the data object's first `limit` files, each
// whole whatever its length, read in one pass over the list (core/drop_list.h); past `limit` no
// name is read, so that a huge selection costs no more than `limit` names. S_OK when at least
// one file was selected and every name read is a path of at most kLongestPath units that ends
// inside the data object's block; E_INVALIDARG otherwise, as for ReadSelection, and `paths` is
// left empty.
HRESULT ReadSelectionList(IDataObject* data, std::size_t limit, std::vector<std::u16string>& paths);

}  // namespace pivora

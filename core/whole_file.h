// Writing a file whole or not at all: the new content goes into a file of its own beside the
// target first, then takes the target's place in one step, so that at every moment the target's
// name holds either the old content whole or the new content whole.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/beside.h"
#include "platform/files.h"

namespace pivora {

// Writes `bytes` as the file `path`, replacing any file of that name. True once the new content
// is in place; the backup of the old content is removed, and stays beside it (named after the
// target with a ".~N" suffix) only when the platform would not delete it even after a pause. False
// when it could not be put in place: the old file is then as it was and nothing is left beside it,
// except where the platform moved the old file away and would not give it back (the old content is
// then in a file named after the target with a ".~N" suffix, and the new content in another).
bool WriteFileWhole(FileSystem& files, std::u16string_view path, std::string_view bytes);
// The same, telling in `failure` the code of the call that kept the new content from its place
// (kSharingViolation: the file was in use); kSuccess when it is in place.
bool WriteFileWhole(FileSystem& files, std::u16string_view path, std::string_view bytes,
                    Status& failure);

// Folders are staged the same way: a folder of ours beside the target gets the new files, then
// takes the target's place, or its files take the place of the old ones, in one step each.

// A folder of files (no folders) beside a target, removed with its files unless kept.
class NewFolder {
 public:
  explicit NewFolder(FileSystem& files) : files_(files) {}

 protected:
  Status Make(const std::u16string& name) { return files_.CreateFolder(name); }
  void Remove(const std::u16string& name);

 private:
  FileSystem& files_;
};
using FolderBeside = Beside<NewFolder>;

// The staged folder becomes `target`, which is not there, in one step. The code of the move
// when it failed.
Status PutFolderInPlace(FileSystem& files, FolderBeside& staged, const std::u16string& target);

// Puts the files `written` of the staged folder in place of the files `ours` of `target`,
// leaving every other file and folder there where it is: the old ones go to a folder of ours
// beside it first, and on any failure everything moves back. Every path is made before the first
// move, so that running out of memory cannot stop it halfway. The code of the move that failed,
// if one did.
Status ReplaceFilesInFolder(FileSystem& files, FolderBeside& staged, const std::u16string& target,
                            const std::vector<std::u16string>& ours,
                            const std::vector<std::u16string>& written);

}  // namespace pivora

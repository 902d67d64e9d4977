// Writing a file whole or not at all: the new content goes into a file of its own beside the
// target first, then takes the target's place in one step, so that at every moment the target's
// name holds either the old content whole or the new content whole.
#pragma once

#include <string_view>

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

}  // namespace pivora

// Whether a path a file from elsewhere names is one that a preview may touch: drawing a picture
// because a folder was shown must never open a file on another machine (on Windows that is a
// connection carrying the user's credentials), a device, or a placeholder whose data the cloud
// would have to send first. A person's own act (applying a scheme) is not held to this.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/files.h"

namespace pivora {

// Whether a path component names a DOS device wherever it stands: CON, PRN, AUX, NUL, COM0 to
// COM9 and LPT0 to LPT9 (with the superscript digits 1, 2 and 3 too), CONIN$ and CONOUT$, in
// any case, with or without an extension or a stream, after the trailing dots and spaces that
// Windows drops from a name are dropped.
bool IsDeviceName(std::u16string_view component);

// The kinds of the drives one operation meets, each drive's root asked once: under Wine 8 one
// GetDriveTypeW costs about 1 ms (a request to the mount manager), more than reading a pointer.
class DriveTypes {
 public:
  explicit DriveTypes(FileSystem& files) : files_(files) {}
  // `letter` is an ASCII letter of either case.
  DriveType Of(char16_t letter);

 private:
  FileSystem& files_;
  std::array<std::optional<DriveType>, 26> known_{};
};

enum class PathReach {
  kHere,       // a file on a drive of this machine, by name
  kElsewhere,  // another machine, a device, or a place that cannot be told without going there
};

// Decides from the text alone, asking only for the kind of the drive the path starts with: a path
// is here only when it is a full path on a drive letter ("X:\..."), with no zero unit, whose drive
// is neither remote nor unknown, and no component of which is a device name. Everything else is
// elsewhere: paths that begin with two slashes or backslashes in any mix (UNC, "\\?\", "\\.\",
// pipes), drive-relative ("X:name") and rooted ("\name") paths, which lean on a current folder that
// may itself be a share, and plain relative ones.
PathReach PreviewReach(std::u16string_view path, DriveTypes& drives);

// Whether a file with these attributes keeps its data elsewhere: offline, or a placeholder that
// is recalled when it is opened or read.
constexpr bool DataIsElsewhere(std::uint32_t attributes) {
  return (attributes & (file_attribute::kOffline | file_attribute::kRecallOnOpen |
                        file_attribute::kRecallOnDataAccess)) != 0;
}

}  // namespace pivora

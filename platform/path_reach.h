// Whether a path a file from elsewhere names is one that a preview may touch: drawing a picture
// because a folder was shown must never open a file on another machine (on Windows that is a
// connection carrying the user's credentials), a device, or a placeholder whose data the cloud
// would have to send first. A person's own act (applying a scheme) is not held to this.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
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

// Whether a reparse point with this tag leads to another name: a symbolic link, a mount point (a
// junction or a mounted volume), or any other name surrogate. A tag of 0 names no kind and so
// cannot be told from a link (Wine 8 reports a Unix symbolic link to a folder so). Other tags
// (cloud placeholders, deduplicated or compressed files) keep the data of the file itself.
constexpr bool LeadsToAnotherName(std::uint32_t tag) {
  return tag == 0 || (tag & reparse_tag::kNameSurrogate) != 0;
}

enum class EntryReach {
  kHere,       // on this machine, and its data too
  kElsewhere,  // a link, or a placeholder whose data is elsewhere: not followed, not read
  kMissing,    // not there, or not of the kind asked for (a folder where a file was asked)
};

// What one entry is, asked without opening it or what it leads to: its attributes, and the
// tag of a reparse point.
EntryReach EntryOf(FileSystem& files, std::u16string_view path, bool folder);

// The entries on the way to the files of one preview: each folder is asked once, however many
// of the files lie in it.
class PathEntries {
 public:
  explicit PathEntries(FileSystem& files) : files_(files) {}
  // For a path PreviewReach takes as here: the folders below the drive's root, from the top
  // down, then the file itself, each as EntryOf, nothing past the first that is not here. The
  // path is walked as Windows resolves it before any link is met: either slash separates,
  // empty and "." names are dropped, ".." goes back one folder, and the trailing dots and spaces
  // of the file's name are dropped. A folder's name that ends in a dot or a space is elsewhere
  // (whether Windows keeps them is not for a preview to guess).
  EntryReach Of(std::u16string_view path);

 private:
  FileSystem& files_;
  std::map<std::u16string, EntryReach> folders_;  // by path, ASCII letters in upper case
};

}  // namespace pivora

// Installing a cursor pack for the current user: its pointer files are copied into a folder of
// the user's own (%LOCALAPPDATA%\Pivora\Cursors\<scheme name>), a scheme file naming them is
// written there, and that scheme is applied as "Apply Scheme" applies one.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/pack_source.h"
#include "platform/platform.h"

namespace pivora {

struct PackInstallation {
  // The pack's folder is in place, whole, and its scheme was applied.
  bool installed = false;
  std::u16string folder;
  // Roles that keep their pointer, in role order: those the source left (core/pack_source.h),
  // and those whose pointer file is not there, is no file, or has a name no file can have (a
  // device, dots alone).
  std::vector<std::size_t> rolesKept;
  // Not one pointer file of the pack was found: nothing was made or changed.
  bool noPointerFiles = false;
  // Not installed, the code of the file call that stopped it (kSharingViolation or
  // kLockViolation: a file was in use; kAccessDenied: in use or not ours to change), tried as
  // often as the file system passed in tries; kSuccess when it was no file call (the settings,
  // a name, memory) or a file that could not be read (an earlier install's record).
  Status failure = status::kSuccess;
};

// The files go to a new folder first, which then takes the place of the pack's folder in one
// step. The same pack (the same key) installed again replaces exactly the files its last
// install wrote (the folder records them) and keeps every other file and folder there, such as
// a scheme the user saved; its files are either the old ones or the new ones. Another pack
// whose name maps to the same folder gets "Name (2)", "Name (3)", ... Stored names hold no '%'
// (it becomes '_'), so every role the pack sets names a file inside its folder.
PackInstallation InstallCursorPack(const PackSource& source, const Platform& platform);

// The folder of the installed pack that can be uninstalled: for a pack's source, the folder its
// install made (found by the source's key); for a scheme file, the folder under
// %LOCALAPPDATA%\Pivora\Cursors that holds it. Either way only a folder whose record holds the
// settings from before the pack's first install. Reads no more than the candidate folders' records.
std::optional<std::u16string> InstalledPackFor(const PackSource& source, const Platform& platform);
std::optional<std::u16string> InstalledPackForScheme(std::u16string_view schemePath,
                                                     const Platform& platform);

struct PackUninstallation {
  // The settings are back and the install's files are gone (or were already).
  bool uninstalled = false;
  // Roles changed since the install: they keep their pointer.
  std::vector<std::size_t> rolesKept;
  // Files of the person's own in the pack's folder: they stay, and the folder with them.
  bool filesKept = false;
  // The code of the first file call that failed: why it was not uninstalled, or, uninstalled,
  // why a file of the install stayed (kSharingViolation: in use), so that filesKept is not taken
  // for the person's own files alone; kSuccess when no file call failed.
  Status failure = status::kSuccess;
};

// Puts back what the pack's first install found, for every role still as the install left it,
// removes the pack from the system's scheme list and removes the files the install wrote; one
// reload. When a setting cannot be put back, no file goes, so that the pack can be uninstalled
// again.
PackUninstallation UninstallCursorPack(std::u16string_view packFolder, const Platform& platform);

}  // namespace pivora

#!/usr/bin/env bash
# Installs Pivora-setup.exe silently into a Wine prefix of its own, checks the files and the
# registry, and uninstalls it again three ways: waiting in place (_?=), as the Uninstall entry
# runs it (the uninstaller copies itself away and removes the folder), and with a library that
# can no longer be unregistered, which must leave everything in place. Then, with another
# process holding the installed library loaded as the file manager does: an upgrade, a second
# one, an upgrade whose library fails to register, and an uninstall.
# Usage: install_test.sh PREFIX SETUP_EXE PIVORA_DLL VERSION HOLD_LIBRARY_EXE MAKENSIS PIVORA_NSI
set -u
prefix=$1
setup=$2
built_dll=$3
version=$4
holder=$5
makensis=$6
nsi=$7
test_name=installer
# shellcheck source=checks.sh
source "$(dirname "$0")/checks.sh"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pivora'
[ -f "$setup" ] || fail "no setup program at $setup"

# build_setup LIBRARY VERSION WINDOWS_NAME: a setup program of another library, into C:\.
build_setup() {
  "$makensis" -V2 -DPIVORA_DLL="$1" -DPIVORA_VERSION="$2" -DOUTFILE="$prefix/drive_c/$3" "$nsi" \
    >"$scratch/makensis.out" 2>&1 || fail "could not build a setup program: $(cat "$scratch/makensis.out")"
}

# Every trace the installer leaves, checked before it runs and after each uninstall.
expect_nothing_installed() {
  local when=$1
  [ ! -e "$unix_dir/Pivora.dll" ] || fail "$when: $unix_dir/Pivora.dll exists"
  expect_unregistered "$when"
  expect_no_key "$uninstall_key"
}

install() {
  "$run" "$prefix" "$setup" /S >"$scratch/setup.out" 2>&1
  local rc=$?
  settle
  [ $rc -eq 0 ] || fail "Pivora-setup.exe /S exited with $rc: $(cat "$scratch/setup.out")"
}

expect_installed() {
  expect_file "$unix_dir/Pivora.dll"
  expect_file "$unix_dir/Uninstall.exe"
  checks=$((checks + 1))
  cmp -s "$unix_dir/Pivora.dll" "$built_dll" ||
    fail "the installed Pivora.dll differs from the built one"

  expect_registered

  expect_value "$uninstall_key" DisplayName Pivora
  expect_value "$uninstall_key" DisplayVersion "$version"
  expect_value "$uninstall_key" Publisher 'Pivora contributors'
  expect_value "$uninstall_key" InstallLocation "$win_dir"
  expect_value "$uninstall_key" UninstallString "\"$win_dir\\Uninstall.exe\""
  expect_value "$uninstall_key" QuietUninstallString "\"$win_dir\\Uninstall.exe\" /S"
  expect_value "$uninstall_key" NoModify 0x1
  expect_value "$uninstall_key" NoRepair 0x1
}

# Runs the uninstaller in place so its exit code is the uninstall's: `_?=` must reach it
# unquoted, which a command line built by Wine from separate arguments would not do.
uninstall_in_place() { run_batch "\"$win_dir\\Uninstall.exe\" /S _?=$win_dir"; }

# A run that failed before may have left an installation behind; start from a clean prefix.
if [ -e "$unix_dir" ] || reg_query "$uninstall_key" || reg_query "HKCR\\CLSID\\$clsid" ||
  [ -n "$(pending_operations)" ]; then
  echo "removing leftovers of an earlier run from $prefix"
  settle
  rm -rf "$prefix" || fail "could not remove $prefix"
  "$here/../../cmake/wine-prefix.sh" "$prefix" || fail "could not recreate the Wine prefix $prefix"
fi
expect_nothing_installed "before installing"
registry_lines "$scratch/before"

# 1. Install, then uninstall in place and check the exit code.
install
expect_installed
uninstall_in_place || fail "Uninstall.exe /S _?= exited with $exit_code: $(cat "$scratch/batch.out")"
expect_absent "$unix_dir/Pivora.dll"
expect_nothing_installed "after uninstalling in place"
expect_registry_as "$scratch/before" "after uninstalling in place"
# Running in place, the uninstaller cannot delete its own file or, therefore, the folder.
rm -f "$unix_dir/Uninstall.exe"
rmdir "$unix_dir" || fail "$unix_dir holds more than the uninstaller: $(ls -A "$unix_dir")"

# 2. Install over nothing again, uninstall as the Uninstall entry does: the program copies
# itself to the temp folder and returns; the copy removes everything, the folder included.
install
expect_installed
"$run" "$prefix" "$unix_dir/Uninstall.exe" /S >"$scratch/uninstall.out" 2>&1 ||
  fail "Uninstall.exe /S exited with $?: $(cat "$scratch/uninstall.out")"
settle
expect_absent "$unix_dir"
expect_nothing_installed "after uninstalling"
expect_registry_as "$scratch/before" "after uninstalling"

# 3. A library that cannot be unregistered any more: the uninstaller fails and deletes nothing,
# so it can be run again once the file is back.
install
cp "$unix_dir/Pivora.dll" "$scratch/Pivora.dll"
echo "not a library" >"$unix_dir/Pivora.dll"
if uninstall_in_place; then fail "the uninstaller succeeded although unregistering failed"; fi
expect_file "$unix_dir/Pivora.dll"
expect_file "$unix_dir/Uninstall.exe"
expect_key "$uninstall_key"
expect_key "HKCR\\CLSID\\$clsid"
cp "$scratch/Pivora.dll" "$unix_dir/Pivora.dll"
uninstall_in_place || fail "the second uninstall exited with $exit_code: $(cat "$scratch/batch.out")"
expect_nothing_installed "after the repeated uninstall"
expect_registry_as "$scratch/before" "after the repeated uninstall"
rm -f "$unix_dir/Uninstall.exe"
rmdir "$unix_dir" || fail "$unix_dir holds more than the uninstaller: $(ls -A "$unix_dir")"

# 4. Another process holds the installed library loaded. Two more setup programs: a newer
# library (another file, still loadable) and one that cannot register.
IFS=. read -r major minor build revision <<<"$version"
next="$major.$minor.$((build + 1)).$revision"
cp "$built_dll" "$scratch/next.dll"
printf 'next version\n' >>"$scratch/next.dll"
build_setup "$scratch/next.dll" "$next" pivora-next-setup.exe
echo "not a library" >"$scratch/broken.dll"
build_setup "$scratch/broken.dll" "$next" pivora-broken-setup.exe
aside1="$unix_dir/Pivora.dll.1.old"

install
start_holder
# The upgrade sets the loaded library aside, writes and registers the new one, and leaves the old
# one to be deleted at the next start, which its exit code says.
run_batch 'C:\pivora-next-setup.exe /S'
[ "$exit_code" = 3010 ] || fail "the upgrade over a loaded library exited with $exit_code"
checks=$((checks + 1))
cmp -s "$unix_dir/Pivora.dll" "$scratch/next.dll" || fail "the upgrade did not write the new library"
checks=$((checks + 1))
cmp -s "$aside1" "$built_dll" || fail "the loaded library was not set aside as $aside1"
expect_pending "$win_dir\\Pivora.dll.1.old"
expect_registered
expect_value "$uninstall_key" DisplayVersion "$next"

# Again while the first library is still loaded: that one stays set aside, and the library
# replaced now, loaded by nobody, goes at once.
run_batch "C:\\pivora-next-setup.exe /S" || fail "the second upgrade exited with $exit_code"
expect_file "$aside1"
expect_absent "$unix_dir/Pivora.dll.2.old"
checks=$((checks + 1))
cmp -s "$unix_dir/Pivora.dll" "$scratch/next.dll" || fail "the second upgrade left another library"
expect_registered

# The next start completes it.
stop_holder
restart_windows
expect_absent "$aside1"
expect_nothing_pending "after the restart"
expect_file "$unix_dir/Pivora.dll"

# An upgrade whose library fails to register puts the loaded one back, registered, with its
# entry; nothing is left set aside or waits for a start.
start_holder
if run_batch 'C:\pivora-broken-setup.exe /S'; then fail "the upgrade to a broken library succeeded"; fi
[ "$exit_code" = 3 ] || fail "the upgrade to a broken library exited with $exit_code"
checks=$((checks + 1))
cmp -s "$unix_dir/Pivora.dll" "$scratch/next.dll" || fail "the failed upgrade did not put the library back"
expect_absent "$aside1"
expect_registered
expect_value "$uninstall_key" DisplayVersion "$next"
expect_nothing_pending "after the failed upgrade"

# The uninstall unregisters the loaded library, removes the entry and leaves the library and the
# folder to the next start, which its exit code says.
uninstall_in_place
[ "$exit_code" = 3010 ] || fail "the uninstall of a loaded library exited with $exit_code"
expect_unregistered "after uninstalling a loaded library"
expect_no_key "$uninstall_key"
expect_registry_as "$scratch/before" "after uninstalling a loaded library"
expect_pending "$win_dir\\Pivora.dll"
stop_holder
restart_windows
expect_absent "$unix_dir/Pivora.dll"
expect_nothing_installed "after the restart"
rm -f "$unix_dir/Uninstall.exe" "$prefix"/drive_c/pivora-*-setup.exe
rmdir "$unix_dir" || fail "$unix_dir holds more than the uninstaller: $(ls -A "$unix_dir")"

WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
echo "installer: $checks checks passed (silent install, in-place and copied uninstall, failed unregistration;" \
  "upgrades, a failed upgrade and an uninstall while the library is loaded)"

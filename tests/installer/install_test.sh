#!/usr/bin/env bash
# Installs Pivora-setup.exe silently into a Wine prefix of its own, checks the files and the
# registry, and uninstalls it again three ways: waiting in place (_?=), as the Uninstall entry
# runs it (the uninstaller copies itself away and removes the folder), and with a library that
# can no longer be unregistered, which must leave everything in place.
# Usage: install_test.sh PREFIX SETUP_EXE PIVORA_DLL VERSION
set -u
prefix=$1
setup=$2
built_dll=$3
version=$4
test_name=installer
# shellcheck source=checks.sh
source "$(dirname "$0")/checks.sh"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pivora'
[ -f "$setup" ] || fail "no setup program at $setup"

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
uninstall_in_place() {
  printf '@"%s\\Uninstall.exe" /S _?=%s\r\n@exit /b %%ERRORLEVEL%%\r\n' "$win_dir" "$win_dir" \
    >"$prefix/drive_c/pivora-uninstall-test.bat"
  "$run" "$prefix" cmd /c 'C:\pivora-uninstall-test.bat' >"$scratch/uninstall.out" 2>&1
  local rc=$?
  settle
  rm -f "$prefix/drive_c/pivora-uninstall-test.bat"
  return $rc
}

# A run that failed before may have left an installation behind; start from a clean prefix.
if [ -e "$unix_dir" ] || reg_query "$uninstall_key" || reg_query "HKCR\\CLSID\\$clsid"; then
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
uninstall_in_place || fail "Uninstall.exe /S _?= exited with $?: $(cat "$scratch/uninstall.out")"
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
uninstall_in_place || fail "the second uninstall exited with $?: $(cat "$scratch/uninstall.out")"
expect_nothing_installed "after the repeated uninstall"
expect_registry_as "$scratch/before" "after the repeated uninstall"
rm -f "$unix_dir/Uninstall.exe"
rmdir "$unix_dir" || fail "$unix_dir holds more than the uninstaller: $(ls -A "$unix_dir")"

WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
echo "installer: $checks checks passed (silent install, in-place and copied uninstall, failed unregistration)"

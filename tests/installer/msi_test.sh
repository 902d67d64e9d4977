#!/usr/bin/env bash
# The Windows Installer package under Wine's msiexec, in a prefix of its own: a silent install
# registers the library through its own self-registration, a silent removal leaves files and
# registry as they were (handing .crs back to its previous owner), a newer package replaces an
# older one with one product listed, and a registration that fails fails the installation and
# rolls it back. With another process holding the library loaded: an upgrade replaces it at the
# next start and says a restart is needed; a removal unregisters it and removes the entry.
# Usage: msi_test.sh PREFIX PIVORA_MSI PIVORA_DLL VERSION VOLATILE_KEY_EXE HOLD_LIBRARY_EXE
set -u
prefix=$1
package=$2
built_dll=$3
version=$4
volatile_tool=$5
holder=$6
test_name=msi
# Every run starts from a fresh prefix: Windows Installer keeps records of its own between runs
# (Wine's keeps one for a component whose installation was rolled back).
WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
rm -rf "$prefix" "$prefix.lock"
# shellcheck source=checks.sh
source "$(dirname "$0")/checks.sh"
make_msi="$here/../../installer/make-msi.sh"
uninstall_root='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
extensions_key='Software\Microsoft\Windows\CurrentVersion\Shell Extensions'
[ -f "$package" ] || fail "no package at $package"

# msiexec ARGS...: exit status 0 when the installation succeeded; its verbose log is kept in
# $scratch/msi.log.
msiexec() {
  "$run" "$prefix" msiexec "$@" /qn /l*v 'C:\pivora-msi.log' >"$scratch/msiexec.out" 2>&1
  local rc=$?
  settle
  tr -d '\r' <"$prefix/drive_c/pivora-msi.log" >"$scratch/msi.log" 2>/dev/null
  return $rc
}

# The keys of the list of installed programs that name Pivora.
listed_products() {
  reg_query "$uninstall_root" /s || return 0
  awk '/^HKEY_/ { key = $0 } /^ *DisplayName +REG_SZ +Pivora$/ { print key }' "$scratch/reg.txt"
}

expect_listed_once() {
  local listed
  listed=$(listed_products)
  checks=$((checks + 1))
  [ "$(printf '%s\n' "$listed" | grep -c .)" -eq 1 ] ||
    fail "expected one Pivora in the installed programs, found: ${listed:-none}"
  expect_value "$listed" DisplayVersion "$1"
}

expect_not_listed() {
  checks=$((checks + 1))
  [ -z "$(listed_products)" ] || fail "$1: Pivora is still listed: $(listed_products)"
}

expect_installed() {
  local dll=$1 version=$2
  expect_file "$unix_dir/Pivora.dll"
  checks=$((checks + 1))
  cmp -s "$unix_dir/Pivora.dll" "$dll" || fail "the installed Pivora.dll is not $dll"
  expect_registered
  expect_listed_once "$version"
}

expect_removed() {
  local before=$1 when=$2
  expect_absent "$unix_dir"
  expect_unregistered "$when"
  expect_not_listed "$when"
  expect_registry_as "$before" "$when"
}

cp "$package" "$prefix/drive_c/Pivora.msi"

# Another program owns .crs; the package must hand it back.
"$run" "$prefix" reg add 'HKCR\.crs' /ve /d Other.Scheme /f >/dev/null 2>&1
registry_lines "$scratch/before"

# 1. Silent install, then silent removal.
msiexec /i 'C:\Pivora.msi' || fail "msiexec /i exited with $?: $(grep -i error "$scratch/msi.log" | head)"
expect_installed "$built_dll" "$version"
expect_key 'HKCR\.crs\OpenWithProgids\Other.Scheme'
checks=$((checks + 1))
grep -q 'SelfRegModules' "$scratch/msi.log" || fail "the log shows no SelfRegModules"
msiexec /x 'C:\Pivora.msi' || fail "msiexec /x exited with $?"
expect_removed "$scratch/before" "after removal"
expect_value 'HKCR\.crs' '' Other.Scheme

# 2. Version N, then N+1: a different library, the old product replaced.
IFS=. read -r major minor build revision <<<"$version"
next="$major.$minor.$((build + 1)).$revision"
cp "$built_dll" "$scratch/Pivora.dll"
printf 'next version\n' >>"$scratch/Pivora.dll" # still a loadable library, but another file
"$make_msi" "$scratch/Pivora.dll" "$next" "$prefix/drive_c/PivoraNext.msi" >/dev/null 2>&1 ||
  fail "could not build a package of version $next"
msiexec /i 'C:\Pivora.msi' || fail "installing $version exited with $?"
msiexec /i 'C:\PivoraNext.msi' || fail "installing $next over $version exited with $?"
expect_installed "$scratch/Pivora.dll" "$next"
msiexec /x 'C:\PivoraNext.msi' || fail "removing $next exited with $?"
expect_removed "$scratch/before" "after removing the upgraded product"

# 3. The library is loaded by another process. Windows Installer writes the new library beside
# it, schedules the replacement for the next start and returns ERROR_SUCCESS_REBOOT_REQUIRED;
# the old library's registration and the new product's entry stand meanwhile.
msiexec /i 'C:\Pivora.msi' || fail "installing $version exited with $?"
start_holder
run_batch 'msiexec /i C:\PivoraNext.msi /qn /norestart'
[ "$exit_code" = 3010 ] || fail "the upgrade over a loaded library exited with $exit_code"
expect_pending "$win_dir\\Pivora.dll"
expect_registered
expect_listed_once "$next"
stop_holder
restart_windows
expect_nothing_pending "after the restart"
expect_installed "$scratch/Pivora.dll" "$next"
msiexec /x 'C:\PivoraNext.msi' || fail "removing $next exited with $?"
expect_removed "$scratch/before" "after removing the product upgraded at the restart"

# 4. Removed while loaded: unregistered and no longer listed. (Windows also schedules the
# library's deletion and returns 3010; Wine's msiexec leaves the file where it is.)
msiexec /i 'C:\Pivora.msi' || fail "installing $version exited with $?"
start_holder
run_batch 'msiexec /x C:\Pivora.msi /qn /norestart' || fail "removing a loaded library exited with $exit_code"
expect_unregistered "after removing a loaded library"
expect_not_listed "after removing a loaded library"
expect_registry_as "$scratch/before" "after removing a loaded library"
stop_holder
rm -f "$unix_dir/Pivora.dll"
rmdir "$unix_dir" 2>/dev/null
expect_removed "$scratch/before" "after removing a loaded library"

# 5. The approval entry cannot be written: its key is missing, and the key above it is volatile,
# which refuses lasting subkeys. The library's registration fails, and so must the installation,
# leaving nothing behind. A volatile key lives as long as the prefix's server: keep it up. Last,
# as Wine's Windows Installer keeps a record of the rolled-back component, and installations in
# this prefix after it fail (exit code 1627).
WINEPREFIX=$prefix wineserver -p
keep_server=1
"$run" "$prefix" reg export "HKLM\\$extensions_key" 'C:\extensions.reg' /y >/dev/null 2>&1
"$run" "$prefix" reg delete "HKLM\\$extensions_key" /f >/dev/null 2>&1
"$run" "$prefix" "$volatile_tool" "$extensions_key" >/dev/null 2>&1 ||
  fail "could not make HKLM\\$extensions_key volatile"
registry_lines "$scratch/before-failure"
if msiexec /i 'C:\Pivora.msi'; then fail "the installation succeeded although registration failed"; fi
expect_removed "$scratch/before-failure" "after the failed installation"
checks=$((checks + 1))
grep -q 'CheckRegistration' "$scratch/msi.log" || fail "the log shows no registration check"
"$run" "$prefix" reg delete "HKLM\\$extensions_key" /f >/dev/null 2>&1
if [ -f "$prefix/drive_c/extensions.reg" ]; then
  "$run" "$prefix" reg import 'C:\extensions.reg' >/dev/null 2>&1
  rm -f "$prefix/drive_c/extensions.reg"
fi
unset keep_server

cp "$scratch/msi.log" "$prefix/../msi-last.log"
WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
echo "msi: $checks checks passed (silent install and removal, upgrade, failed registration;" \
  "upgrade and removal while the library is loaded)"

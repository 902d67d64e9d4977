#!/usr/bin/env bash
# Installs Pivora-setup.exe silently into a Wine prefix of its own, checks the files and the
# registry, and uninstalls it again three ways: waiting in place (_?=), as the Uninstall entry
# runs it (the uninstaller copies itself away and removes the folder), and with a library that
# can no longer be unregistered, which must leave everything in place.
# Usage: install_test.sh PREFIX SETUP_EXE PIVORA_DLL
set -u
prefix=$1
setup=$2
built_dll=$3
here=$(cd "$(dirname "$0")" && pwd)
run="$here/../../cmake/wine-run.sh"
clsid='{3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47}'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pivora'
win_dir='C:\Program Files\Pivora'
unix_dir="$prefix/drive_c/Program Files/Pivora"
checks=0

fail() {
  echo "installer test FAILED: $*" >&2
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
  exit 1
}

"$here/../../cmake/wine-prefix.sh" "$prefix" || fail "could not create the Wine prefix $prefix"
[ -f "$setup" ] || fail "no setup program at $setup"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Waits for every Wine process of the prefix, the uninstaller's copy in the temp folder too.
settle() { WINEPREFIX=$prefix wineserver -w; }

# reg_query KEY [reg options...]: the query's output in $scratch/reg, CRs removed; status 0 when
# the key (or value) is there.
reg_query() {
  "$run" "$prefix" reg query "$@" >"$scratch/reg" 2>/dev/null
  local rc=$?
  tr -d '\r' <"$scratch/reg" >"$scratch/reg.txt"
  return $rc
}

# value KEY NAME: the data of a value ("" for the default value).
value() {
  local key=$1 name=$2
  if [ -z "$name" ]; then
    reg_query "$key" /ve || return 1
    sed -n 's/^ *(Default) *REG_[A-Z_]* *//p' "$scratch/reg.txt"
  else
    reg_query "$key" /v "$name" || return 1
    sed -n "s/^ *$name *REG_[A-Z_]* *//p" "$scratch/reg.txt"
  fi
}

expect_value() {
  local key=$1 name=$2 expected=$3 actual
  checks=$((checks + 1))
  actual=$(value "$key" "$name") || fail "$key${name:+ value $name} is missing"
  [ "$actual" = "$expected" ] ||
    fail "$key${name:+ value $name} is '$actual', expected '$expected'"
}

expect_key() {
  checks=$((checks + 1))
  reg_query "$1" || fail "key $1 is missing"
}

expect_no_key() {
  checks=$((checks + 1))
  if reg_query "$1"; then fail "key $1 is still there: $(cat "$scratch/reg.txt")"; fi
}

expect_file() {
  checks=$((checks + 1))
  [ -f "$1" ] || fail "file $1 is missing"
}

expect_absent() {
  checks=$((checks + 1))
  [ ! -e "$1" ] || fail "$1 is still there"
}

# Every trace the installer leaves, checked before it runs and after each uninstall.
expect_nothing_installed() {
  local when=$1
  [ ! -e "$unix_dir/Pivora.dll" ] || fail "$when: $unix_dir/Pivora.dll exists"
  for key in "HKCR\\CLSID\\$clsid" 'HKCR\Pivora.crs.1' "$uninstall_key" \
             "HKCR\\curfile\\ShellEx\\ContextMenuHandlers\\$clsid" \
             "HKCR\\anifile\\ShellEx\\ContextMenuHandlers\\$clsid"; do
    checks=$((checks + 1))
    if reg_query "$key"; then fail "$when: key $key exists"; fi
  done
  checks=$((checks + 1))
  if [ "$(value 'HKCR\.crs' '')" = "Pivora.crs.1" ]; then fail "$when: .crs still names Pivora.crs.1"; fi
  checks=$((checks + 1))
  if value 'HKLM\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved' "$clsid" \
      >/dev/null; then
    fail "$when: the extension is still approved"
  fi
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

  expect_value "HKCR\\CLSID\\$clsid\\InprocServer32" '' "$win_dir\\Pivora.dll"
  expect_value "HKCR\\CLSID\\$clsid\\InprocServer32" ThreadingModel Both
  expect_value 'HKLM\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved' "$clsid" \
    'Pivora - Context Menu Extension'
  expect_value 'HKCR\.crs' '' 'Pivora.crs.1'
  expect_key 'HKCR\Pivora.crs.1\shell\apply\command'
  expect_key 'HKCR\Pivora.crs.1\shell\edit\command'
  checks=$((checks + 1))
  value 'HKCR\Pivora.crs.1\shell\apply\command' '' | grep -q ',ApplySet %1$' ||
    fail "the apply verb does not call ApplySet: $(value 'HKCR\Pivora.crs.1\shell\apply\command' '')"
  expect_key "HKCR\\curfile\\ShellEx\\ContextMenuHandlers\\$clsid"
  expect_key "HKCR\\anifile\\ShellEx\\ContextMenuHandlers\\$clsid"

  expect_value "$uninstall_key" DisplayName Pivora
  expect_value "$uninstall_key" DisplayVersion 2.0.0.1
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

# 1. Install, then uninstall in place and check the exit code.
install
expect_installed
uninstall_in_place || fail "Uninstall.exe /S _?= exited with $?: $(cat "$scratch/uninstall.out")"
expect_absent "$unix_dir/Pivora.dll"
expect_nothing_installed "after uninstalling in place"
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
rm -f "$unix_dir/Uninstall.exe"
rmdir "$unix_dir" || fail "$unix_dir holds more than the uninstaller: $(ls -A "$unix_dir")"

WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
echo "installer: $checks checks passed (silent install, in-place and copied uninstall, failed unregistration)"

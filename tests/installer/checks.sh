# Checks shared by the installer tests; sourced. The caller sets `prefix` (its own Wine prefix)
# and `test_name`, and counts in `checks`.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
run="$here/../../cmake/wine-run.sh"
clsid='{3A7C52E1-9D04-4B8E-A6F3-1C2D8E905B47}'
pack_clsid='{8D2F4A61-3B7E-4C95-9E1A-52C7F0B3D648}'
pack_handler="HKCR\\SystemFileAssociations\\.inf\\ShellEx\\ContextMenuHandlers\\$pack_clsid"
scheme_pack_handler="HKCR\\Pivora.crs.1\\ShellEx\\ContextMenuHandlers\\$pack_clsid"
thumbnail_clsid='{5C1E7B39-8A42-4F6D-B3C8-0E9D2A7F4B15}'
thumbnail_handler='HKCR\Pivora.crs.1\ShellEx\{e357fccd-a995-4576-b01f-234630154e96}'
approved_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved'
# The handlers' keys under the machine's SystemFileAssociations, which reach every file of the
# extension whatever its file type.
extension_keys='HKLM\Software\Classes\SystemFileAssociations'
extension_handlers=("$extension_keys\\.cur\\ShellEx\\ContextMenuHandlers\\$clsid"
  "$extension_keys\\.ani\\ShellEx\\ContextMenuHandlers\\$clsid"
  "$extension_keys\\.crs\\ShellEx\\ContextMenuHandlers\\$pack_clsid"
  "$extension_keys\\.crs\\ShellEx\\{e357fccd-a995-4576-b01f-234630154e96}"
  "$extension_keys\\.cur\\ShellEx\\ContextMenuHandlers\\$pack_clsid"
  "$extension_keys\\.ani\\ShellEx\\ContextMenuHandlers\\$pack_clsid")
# The pack handler under the pointer file types, beside the role menu: a selection of pointer
# files installs as a pack.
pointer_pack_handlers=("HKCR\\curfile\\ShellEx\\ContextMenuHandlers\\$pack_clsid"
  "HKCR\\anifile\\ShellEx\\ContextMenuHandlers\\$pack_clsid")
win_dir='C:\Program Files\Pivora'
unix_dir="$prefix/drive_c/Program Files/Pivora"
checks=0

fail() {
  echo "$test_name test FAILED: $*" >&2
  WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
  exit 1
}

"$here/../../cmake/wine-prefix.sh" "$prefix" || fail "could not create the Wine prefix $prefix"
scratch=$(mktemp -d)
# No process holding the library outlives the test, however it ends.
trap 'stop_holder; rm -rf "$scratch"' EXIT
trap 'exit 1' INT TERM
session_manager='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager'

# Waits for every Wine process of the prefix, an uninstaller's copy in the temp folder too;
# not while a test keeps the prefix's server up on purpose (keep_server set) or keeps a
# process of its own running there (holder_pid set).
settle() { [ -n "${keep_server:-}${holder_pid:-}" ] || WINEPREFIX=$prefix wineserver -w; }

# reg_query KEY [reg options...]: the query's output in $scratch/reg.txt, CRs removed; status 0
# when the key (or value) is there.
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

# Every entry registration writes, for the library installed under $win_dir.
expect_registered() {
  expect_value "HKCR\\CLSID\\$clsid\\InprocServer32" '' "$win_dir\\Pivora.dll"
  expect_value "HKCR\\CLSID\\$clsid\\InprocServer32" ThreadingModel Both
  expect_key "HKCR\\AppID\\Pivora.DLL"
  expect_value "$approved_key" "$clsid" 'Pivora - Context Menu Extension'
  expect_value 'HKCR\.crs' '' 'Pivora.crs.1'
  expect_key 'HKCR\Pivora.crs.1\shell\apply\command'
  expect_key 'HKCR\Pivora.crs.1\shell\edit\command'
  checks=$((checks + 1))
  value 'HKCR\Pivora.crs.1\shell\apply\command' '' | grep -q ',ApplySet %1$' ||
    fail "the apply verb does not call ApplySet: $(value 'HKCR\Pivora.crs.1\shell\apply\command' '')"
  expect_key "HKCR\\curfile\\ShellEx\\ContextMenuHandlers\\$clsid"
  expect_key "HKCR\\anifile\\ShellEx\\ContextMenuHandlers\\$clsid"
  expect_value "HKCR\\CLSID\\$pack_clsid\\InprocServer32" '' "$win_dir\\Pivora.dll"
  expect_value "$approved_key" "$pack_clsid" 'Pivora - Cursor Pack Extension'
  expect_key "$pack_handler"
  expect_key "$scheme_pack_handler"
  for key in "${pointer_pack_handlers[@]}"; do expect_key "$key"; done
  expect_value "HKCR\\CLSID\\$thumbnail_clsid\\InprocServer32" ThreadingModel Apartment
  expect_value "$approved_key" "$thumbnail_clsid" 'Pivora - Scheme Thumbnails'
  expect_value "$thumbnail_handler" '' "$thumbnail_clsid"
  for key in "${extension_handlers[@]}"; do expect_key "$key"; done
  expect_value "${extension_handlers[3]}" '' "$thumbnail_clsid"
  # The type's and the verbs' names as indirect texts of the library the apply verb runs.
  local library
  library=$(value 'HKCR\Pivora.crs.1\shell\apply\command' '')
  library=${library#rundll32.exe }
  library=${library%,ApplySet %1}
  expect_value 'HKCR\Pivora.crs.1' FriendlyTypeName "@$library,-101"
  expect_value 'HKCR\Pivora.crs.1\shell\apply' MUIVerb "@$library,-102"
  expect_value 'HKCR\Pivora.crs.1\shell\edit' MUIVerb "@$library,-103"
}

# None of registration's own entries is left.
expect_unregistered() {
  local when=$1
  for key in "HKCR\\CLSID\\$clsid" "HKCR\\AppID\\Pivora.DLL" 'HKCR\Pivora.crs.1' \
    "HKCR\\curfile\\ShellEx\\ContextMenuHandlers\\$clsid" \
    "HKCR\\anifile\\ShellEx\\ContextMenuHandlers\\$clsid" "HKCR\\CLSID\\$pack_clsid" \
    "$pack_handler" "$scheme_pack_handler" "HKCR\\CLSID\\$thumbnail_clsid" \
    "${extension_handlers[@]}" "${pointer_pack_handlers[@]}"; do
    checks=$((checks + 1))
    if reg_query "$key"; then fail "$when: key $key exists"; fi
  done
  checks=$((checks + 1))
  if [ "$(value 'HKCR\.crs' '')" = "Pivora.crs.1" ]; then fail "$when: .crs still names Pivora.crs.1"; fi
  checks=$((checks + 1))
  if value "$approved_key" "$clsid" >/dev/null; then fail "$when: the extension is still approved"; fi
}

# registry_lines FILE: HKLM\Software (HKEY_CLASSES_ROOT and every per-machine record of an
# installer) as sorted key and value lines.
registry_lines() {
  "$run" "$prefix" reg export 'HKLM\Software' 'C:\registry.reg' /y >/dev/null 2>&1 ||
    fail "could not export the registry"
  iconv -f UTF-16 -t UTF-8 "$prefix/drive_c/registry.reg" | tr -d '\r' |
    awk '/^\[/ { key = $0; print key; next } NF { print key " " $0 }' | LC_ALL=C sort >"$1"
  rm -f "$prefix/drive_c/registry.reg"
}

# expect_registry_as FILE WHEN: HKLM\Software is as FILE recorded it, apart from what
# unregistration leaves on purpose (the handler folders of the cursor file types, the key of
# .inf under SystemFileAssociations, the .crs key with no owner or an empty OpenWithProgids key,
# the folders of the approval list) and the empty folders Windows Installer keeps for its own
# records once it has been used.
expect_registry_as() {
  local before=$1 when=$2
  local kept='\[HKEY_LOCAL_MACHINE\\Software\\Classes\\(\.crs|\.crs\\OpenWithProgids|(cur|ani)file|(cur|ani)file\\ShellEx|(cur|ani)file\\ShellEx\\ContextMenuHandlers|SystemFileAssociations|SystemFileAssociations\\\.inf)\]( @="")?'
  kept+='|\[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions(\\Approved)?\]'
  kept+='|\[HKEY_LOCAL_MACHINE\\Software\\(Microsoft\\Windows\\CurrentVersion\\Installer|Classes\\Installer)(\\[^]]*)?\]'
  registry_lines "$scratch/registry-now"
  checks=$((checks + 1))
  LC_ALL=C comm -3 "$before" "$scratch/registry-now" | sed 's/^\t/added: /; t; s/^/removed: /' |
    grep -Ev "^added: ($kept)\$" >"$scratch/registry-diff" &&
    fail "$when: the registry differs from before: $(head -20 "$scratch/registry-diff")"
  return 0
}

# run_batch COMMAND_LINE: runs a Windows command line through a batch file, within a minute,
# output in $scratch/batch.out; the program's exit code in $exit_code, in full (Wine passes only
# its low 8 bits on to Linux, and 3010 must be told from 194). Status 0 when that code is 0.
run_batch() {
  printf '@%s\r\n@echo exit code %%ERRORLEVEL%%\r\n' "$1" >"$prefix/drive_c/pivora-test.bat"
  timeout 60 "$run" "$prefix" cmd /c 'C:\pivora-test.bat' >"$scratch/batch.out" 2>&1
  local rc=$?
  [ $rc -ne 124 ] || fail "'$1' did not end within a minute"
  settle
  rm -f "$prefix/drive_c/pivora-test.bat"
  exit_code=$(tr -d '\r' <"$scratch/batch.out" | sed -n 's/^exit code //p')
  [ -n "$exit_code" ] || fail "'$1' gave no exit code: $(cat "$scratch/batch.out")"
  [ "$exit_code" = 0 ]
}

# start_holder: a process of the prefix loads the installed library and keeps it loaded until
# stop_holder, as the file manager does once it has shown a menu or a thumbnail of ours.
start_holder() {
  rm -f "$prefix/drive_c/pivora-held" "$prefix/drive_c/pivora-release"
  "$run" "$prefix" "$holder" "$win_dir\\Pivora.dll" 'C:\pivora-held' 'C:\pivora-release' \
    >"$scratch/holder.out" 2>&1 &
  holder_pid=$!
  for _ in $(seq 300); do
    [ -e "$prefix/drive_c/pivora-held" ] && return 0
    kill -0 "$holder_pid" 2>/dev/null || break
    sleep 0.1
  done
  fail "no process could load and hold the library: $(cat "$scratch/holder.out")"
}

# stop_holder: lets the holding process end, or ends the prefix's processes after ten seconds.
stop_holder() {
  [ -n "${holder_pid:-}" ] || return 0
  touch "$prefix/drive_c/pivora-release"
  for _ in $(seq 100); do
    kill -0 "$holder_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$holder_pid" 2>/dev/null && WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
  wait "$holder_pid" 2>/dev/null
  holder_pid=
  rm -f "$prefix/drive_c/pivora-held" "$prefix/drive_c/pivora-release"
}

# The delayed file operations Windows carries out when it next starts, one per line.
pending_operations() {
  reg_query "$session_manager" /v PendingFileRenameOperations || return 0
  sed -n 's/^ *PendingFileRenameOperations *REG_MULTI_SZ *//p' "$scratch/reg.txt" |
    sed 's/\\0/\n/g'
}

# expect_pending PATH: the next start deletes, or replaces, the file at PATH (a Windows path).
expect_pending() {
  checks=$((checks + 1))
  pending_operations | grep -qxF "\\??\\$1" ||
    fail "nothing waits for the next start to delete $1: $(pending_operations)"
}

expect_nothing_pending() {
  checks=$((checks + 1))
  [ -z "$(pending_operations)" ] || fail "$1: operations wait for the next start: $(pending_operations)"
}

# Windows' next start, as far as the files go: Wine's restart carries out the delayed operations.
restart_windows() {
  "$run" "$prefix" wineboot -r >/dev/null 2>&1 || fail "wineboot -r exited with $?"
  settle
}

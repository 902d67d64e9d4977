#!/usr/bin/env bash
# The whole life of the extension in a fresh, private Wine prefix (build/demo/wineprefix): the
# setup program installs it silently; a stand-in for the file manager (tools/shell_host) opens
# the context menu of a cursor file through the registered handler, chooses a role, saves the
# pointers as a scheme through the real save dialog and photographs the menu; schemes are
# applied through the registered "apply" verb; a cursor pack is installed from its INF's menu and
# uninstalled from its scheme's, and a folder of pointer files without an INF is selected whole
# and installed the same way; the pointer settings are shown as a table; the uninstaller removes
# everything, and the registry is compared with how it was found.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
demo=$root/build/demo
prefix=$demo/wineprefix
# winemenubuilder: see cmake/wine-run.sh.
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# English output, whatever the machine's locale; the Czech menu asks for its own.
export LC_ALL=C.UTF-8

steps=14
step=0
progress() {
  step=$((step + 1))
  printf '\n[%d/%d] %s\n' "$step" "$steps" "$*"
}

# ---- Part one: build, on the machine itself ----
if [ "${1:-}" != --on-display ]; then
  progress "Installing what the build needs and building Pivora.dll, its setup program, the shell host and sample pointers"
  bash scripts/install-deps.sh
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target Pivora installer shell_host >/dev/null
  cmake --preset native >/dev/null
  cmake --build --preset native --target make_pointer_files make_cursor_pack make_images >/dev/null
  ls -l build/windows/Pivora.dll build/windows/Pivora-setup.exe | awk '{print "    " $5 " bytes  " $NF}'
  # Pictures of the library's menu glyph and scheme icon, enlarged, for a person to look at.
  build/native/make_images --png "$demo/images" >/dev/null

  progress "Making a fresh Wine prefix: $prefix"
  if [ -d "$prefix" ]; then wineserver -k 2>/dev/null || true; fi
  rm -rf "$prefix" "$prefix.lock"
  cmake/wine-prefix.sh "$prefix"
  wineserver -w
  # Windows (the save dialog, the menu on screen) need a display: the rest runs on a private X
  # server, and Wine's processes must be gone before it stops.
  exec xvfb-run -a bash "$0" --on-display
fi
step=2

# ---- Part two: in Wine, on a private X server ----
quietly() { "$@" 2>/dev/null </dev/null | tr -d '\r'; }
host=$(quietly winepath -w "$root/build/windows/shell_host.exe")
schemes='C:\Pointer Schemes'
unix_schemes="$prefix/drive_c/Pointer Schemes"
roles=(Arrow Help AppStarting Wait Crosshair IBeam NWPen No SizeNS SizeWE SizeNWSE SizeNESW SizeAll
  UpArrow Hand)

# Lines of cells split by "|" as a table: each column as wide as its widest cell, whatever the
# lengths of the paths in it.
table() {
  awk -F'|' '{ rows[NR] = $0; for (i = 1; i <= NF; i++) if (length($i) > width[i]) width[i] = length($i) }
    END { for (r = 1; r <= NR; r++) { n = split(rows[r], cell, "|"); line = ""
            for (i = 1; i <= n; i++) line = line sprintf("%-" width[i] "s", cell[i]) (i < n ? "  " : "")
            sub(/ +$/, "", line); print line } }'
}

# The pointer settings, one line per role: the stored path, or "(system)" when there is none.
pointers() {
  quietly wine reg query 'HKCU\Control Panel\Cursors' >"$demo/reg.txt" || true
  for role in "${roles[@]}"; do
    value=$(sed -n "s/^ *$role  *REG_[A-Z_]*  *//p" "$demo/reg.txt")
    echo "${value:-(system)}"
  done
}

# HKLM\Software, which holds HKEY_CLASSES_ROOT and everything an installer writes for the
# machine, as key and value lines that sort and compare. (The rest of HKLM holds Wine's own
# records of each display session.)
registry_lines() {
  quietly wine reg export 'HKLM\Software' "$(quietly winepath -w "$demo/hklm.reg")" /y >/dev/null
  iconv -f UTF-16 -t UTF-8 "$demo/hklm.reg" | tr -d '\r' |
    awk '/^\[/ { key = $0; print key; next } NF { print key " " $0 }' | LC_ALL=C sort
}

mkdir -p "$unix_schemes"
build/native/make_pointer_files "$unix_schemes/Blue" >/dev/null
# A scheme as a person might keep it: pointers beside it, named relatively; Help left to the
# system.
{
  printf '\xEF\xBB\xBF'
  for role in "${roles[@]}"; do
    case $role in AppStarting | Wait) ext=ani ;; *) ext=cur ;; esac
    if [ "$role" = Help ]; then entry=""; else entry="Blue\\$role.$ext"; fi
    printf '[%s]\r\nPath=%s\r\n\r\n' "$role" "$entry"
  done
  printf '\0'
} >"$unix_schemes/Blue.crs"
echo "    Sample pointers in $schemes\\Blue (15 files, two animated) and the scheme $schemes\\Blue.crs"
packs='C:\Pointer Packs'
build/native/make_cursor_pack "$prefix/drive_c/Pointer Packs/Green Sample" "Green Sample" >/dev/null
echo "    A cursor pack as packs are passed around: $packs\\Green Sample\\install.inf and its 15 files"
# Pointer files as they often come, with no INF: named in one convention (the settings' value
# names, in lower case), in a folder whose name becomes the pack's.
loose="$prefix/drive_c/Pointer Packs/Red Loose"
build/native/make_pointer_files "$loose" >/dev/null
for file in "$loose"/*; do mv "$file" "$loose/$(basename "$file" | tr 'A-Z' 'a-z')"; done
echo "    Pointer files without an INF: $packs\\Red Loose ($(ls "$loose" | head -3 | tr '\n' ' ')...)"
registry_lines >"$demo/registry-before.txt"
pointers >"$demo/pointers-0.txt"

progress "Installing silently: Pivora-setup.exe /S"
quietly wine "$(quietly winepath -w "$root/build/windows/Pivora-setup.exe")" /S
wineserver -w
ls "$prefix/drive_c/Program Files/Pivora" | sed 's/^/    C:\\Program Files\\Pivora\\/'
quietly wine reg query 'HKCR\curfile\ShellEx\ContextMenuHandlers' /s | grep -v '^$' | sed 's/^/    /'

progress "The context menu of $schemes\\Blue\\Crosshair.cur, as the file manager builds it ([*]: with a picture)"
quietly wine "$host" "$schemes\\Blue\\Crosshair.cur" | sed 's/^/    /'
echo
echo "    In Czech:"
# The menu's lines alone: the handlers were listed above.
quietly env LC_ALL=cs_CZ.UTF-8 wine "$host" "$schemes\\Blue\\Crosshair.cur" |
  grep -v '^\(Context menu of\|  handler\)' | sed 's/^/    /'

progress "Choosing \"Precision Select\" in that menu, by its text"
quietly wine "$host" "$schemes\\Blue\\Crosshair.cur" --choose-text "Precision Select" |
  tail -n 1 | sed 's/^/    /'
pointers >"$demo/pointers-1.txt"

progress "Choosing \"Save Scheme...\" and saving as $schemes\\Mine in the save dialog"
quietly wine "$host" "$schemes\\Blue\\Crosshair.cur" --choose-text "Save Scheme..." \
  --save-as "$schemes\\Mine" |
  tail -n 2 | sed 's/^/    /'
echo "    Mine.crs names the pointer beside it relatively:"
sed '1s/^\xEF\xBB\xBF//' "$unix_schemes/Mine.crs" | tr -d '\r\0' | grep -A1 '^\[Crosshair\]' |
  sed 's/^/      /'

progress "Applying $schemes\\Blue.crs through its registered \"apply\" verb (ShellExecuteEx)"
quietly wine reg query 'HKCR\Pivora.crs.1\shell\apply\command' /ve | sed -n 's/^ *(Default) *REG_SZ */    command: /p'
quietly wine "$host" "$schemes\\Blue.crs" --verb apply | sed 's/^/    /'
pointers >"$demo/pointers-2.txt"

progress "Taking a picture of the menu on screen: $demo/menu.png"
quietly wine "$host" "$schemes\\Blue\\Crosshair.cur" --picture "$(quietly winepath -w "$demo/menu.png")" |
  tail -n 1 | sed 's/^/    /'
echo "    (Wine draws its own stock pointers for roles it has one for; Handwriting shows Blue's pen.)"

progress "A thumbnail of $schemes\\Blue.crs, as the file manager asks for it: $demo/thumbnail.png"
quietly wine "$host" "$schemes\\Blue.crs" --thumbnail 256 \
  --picture "$(quietly winepath -w "$demo/thumbnail.png")" | sed 's/^/    /'

progress "Applying the saved $schemes\\Mine.crs back through the same verb"
quietly wine "$host" "$schemes\\Mine.crs" --verb apply | sed 's/^/    /'
pointers >"$demo/pointers-3.txt"
if cmp -s "$demo/pointers-1.txt" "$demo/pointers-3.txt"; then
  echo "    The saved scheme gave back exactly the settings it was saved from."
else
  echo "    The saved scheme did NOT give back the settings it was saved from." >&2
  exit 1
fi

progress "Installing the cursor pack $packs\\Green Sample through its INF's menu, without administrator rights"
quietly wine "$host" "$packs\\Green Sample\\install.inf" | sed 's/^/    /'
quietly wine "$host" "$packs\\Green Sample\\install.inf" --choose-text "Install Cursor Pack" |
  tail -n 1 | sed 's/^/    /'
pointers >"$demo/pointers-4.txt"
local_packs=$(quietly wine cmd /c echo %LOCALAPPDATA%)\\Pivora\\Cursors
echo "    Installed into $local_packs\\Green Sample:"
ls "$(quietly winepath -u "$local_packs\\Green Sample")" | tr '\n' ' ' | fold -s -w 90 | sed 's/^/      /'
echo
echo "    In the system's scheme list, and selected there (the mouse settings show it):"
quietly wine reg query 'HKCU\Control Panel\Cursors\Schemes' /v 'Green Sample' |
  sed -n 's/^ *Green Sample  *\(REG_[A-Z_]*\)  *\(.\{0,60\}\).*/      Schemes\\Green Sample = \2... (\1)/p'
quietly wine reg query 'HKCU\Control Panel\Cursors' /ve | sed -n 's/^ *(Default)  *REG_SZ  */      (default) = /p'
quietly wine reg query 'HKCU\Control Panel\Cursors' /v 'Scheme Source' |
  sed -n 's/^ *Scheme Source  *REG_DWORD  */      Scheme Source = /p'

progress "Uninstalling the pack through its scheme's menu: the pointers from before the install come back"
pack_scheme="$local_packs\\Green Sample\\Green Sample.crs"
quietly wine "$host" "$pack_scheme" | sed 's/^/    /'
quietly wine "$host" "$pack_scheme" --choose-text "Uninstall Cursor Pack" | tail -n 1 | sed 's/^/    /'
pointers >"$demo/pointers-5.txt"
if cmp -s "$demo/pointers-3.txt" "$demo/pointers-5.txt"; then
  echo "    Every pointer is as it was before the pack was installed."
else
  echo "    The pointers are NOT as they were before the pack was installed." >&2
  exit 1
fi
if quietly wine reg query 'HKCU\Control Panel\Cursors\Schemes' /v 'Green Sample' >/dev/null; then
  echo "    The pack is still in the system's scheme list." >&2
  exit 1
fi
[ -e "$(quietly winepath -u "$local_packs\\Green Sample")" ] &&
  { echo "    The pack's folder is still there." >&2; exit 1; }
echo "    The pack is gone from the scheme list, and its folder with the files the install wrote."

progress "Selecting all of $packs\\Red Loose (no INF) and choosing \"Install Cursor Pack\""
selection=()
for file in "$loose"/*; do selection+=("$packs\\Red Loose\\$(basename "$file")"); done
quietly wine "$host" "${selection[@]}" | sed 's/^/    /'
# After the menu: what the person is told (the roles left as they were), and the outcome.
quietly wine "$host" "${selection[@]}" --choose-text "Install Cursor Pack" |
  sed -n '/^\(Message: \|Chose item\)/,$p' | sed 's/^/    /'
pointers >"$demo/pointers-6.txt"
echo "    Each role and the file it takes now (under $local_packs):"
paste -d '|' <(printf '%s\n' "${roles[@]}") <(sed "s/^.*\\\\Pivora\\\\Cursors\\\\//" "$demo/pointers-6.txt") |
  table | sed 's/^/    /'
grep -q 'Red Loose' "$demo/pointers-6.txt" ||
  { echo "    No role takes a file of the selection." >&2; exit 1; }
quietly wine "$host" "$local_packs\\Red Loose\\Red Loose.crs" --choose-text "Uninstall Cursor Pack" |
  tail -n 1 | sed 's/^/    /'
pointers >"$demo/pointers-7.txt"
if cmp -s "$demo/pointers-5.txt" "$demo/pointers-7.txt"; then
  echo "    Uninstalled from its scheme's menu: every pointer is as it was before."
else
  echo "    The pointers are NOT as they were before the selection was installed." >&2
  exit 1
fi

progress "Uninstalling silently: Uninstall.exe /S, then comparing the registry with how it was found"
quietly wine 'C:\Program Files\Pivora\Uninstall.exe' /S
wineserver -w
if [ -e "$prefix/drive_c/Program Files/Pivora" ]; then
  echo "    C:\\Program Files\\Pivora is still there" >&2
  exit 1
fi
echo "    C:\\Program Files\\Pivora is gone"
registry_lines >"$demo/registry-after.txt"
# What unregistration leaves on purpose: the scheme extension's key, with no owner now, the
# handler folders of the cursor file types, and the key of .inf under SystemFileAssociations.
kept='\[HKEY_LOCAL_MACHINE\\Software\\Classes\\(\.crs|curfile\\ShellEx|curfile\\ShellEx\\ContextMenuHandlers|anifile\\ShellEx|anifile\\ShellEx\\ContextMenuHandlers|curfile|anifile|SystemFileAssociations|SystemFileAssociations\\\.inf)\]'
LC_ALL=C comm -3 "$demo/registry-before.txt" "$demo/registry-after.txt" >"$demo/registry-diff.txt"
if grep -Ev "^[[:space:]]*$kept" "$demo/registry-diff.txt" >"$demo/registry-unexpected.txt"; then
  echo "    The registry differs in more than what unregistration leaves on purpose:" >&2
  sed 's/^/      /' "$demo/registry-unexpected.txt" >&2
  exit 1
fi
echo "    HKLM\\Software (with HKEY_CLASSES_ROOT) is as before installing, apart from what unregistration"
echo "    leaves on purpose:"
sed -e 's/^\t/      added:   /' -e t -e 's/^/      removed: /' "$demo/registry-diff.txt"
quietly wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pivora' >/dev/null &&
  { echo "    the entry in the list of installed programs is still there" >&2; exit 1; }
echo "    The entry in the list of installed programs is gone."
wineserver -w

echo
echo "Done. Pointer settings along the way (paths under $schemes):"
short() { sed -e "s/^C:\\\\Pointer Schemes\\\\//" -e "s/^.*\\\\Pivora\\\\Cursors\\\\/(pack) /"; }
{
  echo "Role|Before|Role chosen|Blue.crs applied|Mine.crs applied|Pack installed|Pack uninstalled|Selection installed|Selection uninstalled"
  paste -d '|' <(printf '%s\n' "${roles[@]}") <(short <"$demo/pointers-0.txt") \
    <(short <"$demo/pointers-1.txt") <(short <"$demo/pointers-2.txt") <(short <"$demo/pointers-3.txt") \
    <(short <"$demo/pointers-4.txt") <(short <"$demo/pointers-5.txt") \
    <(short <"$demo/pointers-6.txt") <(short <"$demo/pointers-7.txt")
} | table | sed 's/^/  /'
echo
echo "The menu as it appeared on screen: $demo/menu.png"
echo "The thumbnail of Blue.crs: $demo/thumbnail.png"
echo "Renderings of the menu glyph and the scheme icon: $demo/images"

#!/usr/bin/env bash
# Builds Pivora.dll and shows it at work in a private Wine prefix: sample pointer files and a
# scheme naming them are written, the apply verb's command line is run, and the pointer
# settings are printed before and after; then the context menu of a cursor file is shown as the
# file manager would build it, and one of its items chosen. Also renders the library's images
# as PNG files.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

cmake --preset windows >/dev/null
cmake --build --preset windows --target Pivora show_menu
cmake --preset native >/dev/null
cmake --build --preset native --target make_pointer_files make_images

demo=$PWD/build/demo
prefix=$demo/wineprefix
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cmake/wine-prefix.sh "$prefix"

# Pictures of the library's menu glyph and scheme icon, enlarged, for a person to look at.
build/native/make_images --png "$demo/images" >/dev/null
echo "Renderings of the menu glyph and the scheme icon: $demo/images"

files=$demo/Pointer\ Schemes
rm -rf "$files"
build/native/make_pointer_files "$files/Blue" >/dev/null
# A scheme as a person might keep it: pointers beside it, one role left to the system.
{
  printf '\xEF\xBB\xBF'
  for name in Arrow Help AppStarting Wait Crosshair IBeam NWPen No SizeNS SizeWE SizeNWSE \
    SizeNESW SizeAll UpArrow Hand; do
    case $name in AppStarting | Wait) ext=ani ;; *) ext=cur ;; esac
    if [ "$name" = Help ]; then entry=""; else entry="Blue\\$name.$ext"; fi
    printf '[%s]\r\nPath=%s\r\n\r\n' "$name" "$entry"
  done
  printf '\0'
} >"$files/Blue.crs"

quietly() { "$@" 2>/dev/null </dev/null; }
show() {
  echo "$1"
  quietly wine reg query 'HKCU\Control Panel\Cursors' | tr -d '\r' | grep -v '^$' || echo "    (no pointer settings)"
}

# Start from the stock pointers, with one custom setting the scheme leaves alone.
quietly wine reg delete 'HKCU\Control Panel\Cursors' /f >/dev/null || true
quietly wine reg add 'HKCU\Control Panel\Cursors' /v Help /t REG_EXPAND_SZ /d 'C:\old\help.cur' /f >/dev/null
dll=$(quietly winepath -w "$PWD/build/windows/Pivora.dll")
scheme=$(quietly winepath -w "$files/Blue.crs")

show "Before:"
echo
# Installed as an installer would; the apply verb's registered command is then run as the shell
# runs it, with the scheme's path for %1.
quietly wine regsvr32 /s "$dll"
command=$(quietly wine reg query 'HKCR\Pivora.crs.1\shell\apply\command' /ve | tr -d '\r' |
  sed -n 's/.*REG_SZ *//p')
echo "Registered apply verb: $command"
echo "Running it for $scheme"
quietly wine ${command%\%1} "$scheme"
wineserver -w
echo
show "After (every role from the scheme; Help, left empty there, is back to the system's own):"

# The context menu of a cursor file, as the file manager shows it, in English and in Czech; the
# second run chooses "Busy" for the file.
busy=$(quietly winepath -w "$files/Blue/Wait.ani")
echo
# Shown on a private X server, so that a picture of the submenu can be taken. Wine makes its
# desktop with the first process of a prefix: every earlier one must have ended first.
picture=$(quietly winepath -w "$demo/menu.png")
wineserver -w
xvfb-run -a sh -c 'wine "$0" "$1" 3 "$2" 2>/dev/null </dev/null; wineserver -w' \
  build/windows/show_menu.exe "$busy" "$picture" |
  tr -d '\r' | sed -n '1,/^$/p'
env LC_ALL=cs_CZ.UTF-8 wine build/windows/show_menu.exe "$busy" 3 2>/dev/null </dev/null | tr -d '\r'
echo
quietly wine reg query 'HKCU\Control Panel\Cursors' /v Wait | tr -d '\r' | grep Wait
quietly wine regsvr32 /s /u "$dll"
wineserver -k 2>/dev/null || true

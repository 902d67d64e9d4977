#!/usr/bin/env bash
# Makes the delay-load import libraries of the library from what it calls:
#   delay-imports.sh PROBE_DLL OUT_DIR NAME...
# PROBE_DLL is the library linked with ordinary imports. For each NAME (a system DLL without
# ".dll"), the functions it imports from that DLL become OUT_DIR/NAME.def, and dlltool makes
# OUT_DIR/libNAME_delay.a from it, so the lists follow the code and nobody keeps them by hand.
set -euo pipefail
probe=$1
out=$2
shift 2
mkdir -p "$out"
tables=$(x86_64-w64-mingw32-objdump -p "$probe")
for name in "$@"; do
  functions=$(awk -v want="$name.dll" '
    /DLL Name:/ { on = tolower($3) == tolower(want); next }
    on && /^\t[0-9a-f]+[ \t]+[0-9]+[ \t]+[A-Za-z_]/ { print $3 }
    on && /^ [0-9a-f]{8}/ { on = 0 }' <<<"$tables")
  if [ -z "$functions" ]; then
    echo "delay-imports.sh: the library no longer calls into $name.dll; take it off the list" >&2
    exit 1
  fi
  { echo "LIBRARY $name.dll"; echo "EXPORTS"; echo "$functions"; } >"$out/$name.def"
  x86_64-w64-mingw32-dlltool --input-def "$out/$name.def" --dllname "$name.dll" \
    --output-delaylib "$out/lib${name}_delay.a"
done

#!/usr/bin/env bash
# Checks what Pivora.dll shows the system: it imports system DLLs only (its C++ runtime is
# linked in) and exports exactly its entry points at their ordinals.
set -eu
dll=$1
tables=$(x86_64-w64-mingw32-objdump -p "$dll")

imports=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$tables" | sort | tr '\n' ' ')
allowed=" advapi32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll shell32.dll shlwapi.dll user32.dll comdlg32.dll msimg32.dll "
for name in $imports; do
  case "$allowed" in
    *" $name "*) ;;
    *) echo "imports a DLL that is not part of the system: $name"; exit 1 ;;
  esac
done

# Rows of the export table: "[   0] +base[   1] ..." then the name table "[   0] ApplySet".
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ {in_names=1; next} in_names && /^[ \t]*\[/ {print $NF} in_names && /^$/ {exit}' <<<"$tables" | tr '\n' ' ')
ordinal_list=$(sed -n 's/.*+base\[ *\([0-9]*\)\].*/\1/p' <<<"$tables" | tr '\n' ' ')
expected="ApplySet ApplySetW DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer "
if [ "$exports" != "$expected" ]; then
  echo "exports '$exports', expected '$expected'"
  exit 1
fi
if [ "$ordinal_list" != "1 2 3 4 5 6 " ]; then
  echo "export ordinals '$ordinal_list', expected '1 2 3 4 5 6 '"
  exit 1
fi
echo "imports: $imports"
echo "exports: $exports(ordinals $ordinal_list)"

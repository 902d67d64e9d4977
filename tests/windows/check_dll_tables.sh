#!/usr/bin/env bash
# Checks what Pivora.dll shows the system: it loads with the four system DLLs that applying a
# scheme needs (its C++ runtime is linked in), takes every other system DLL it calls only when
# first needed, and exports exactly its entry points at their ordinals.
#   check_dll_tables.sh DLL MAP
set -eu
dll=$1
map=$2
here=$(cd "$(dirname "$0")" && pwd)
tables=$(x86_64-w64-mingw32-objdump -p "$dll")

imports=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$tables" | sort | tr '\n' ' ')
if [ "$imports" != "advapi32.dll kernel32.dll msvcrt.dll user32.dll " ]; then
  echo "imports '$imports', expected 'advapi32.dll kernel32.dll msvcrt.dll user32.dll '"
  exit 1
fi

delay=$(python3 "$here/delay_imports.py" "$dll" "$map")
delayed=$(awk '{print $1}' <<<"$delay" | tr '\n' ' ')
expected_delayed="comdlg32.dll gdi32.dll msimg32.dll ole32.dll oleaut32.dll shell32.dll shlwapi.dll "
if [ "$delayed" != "$expected_delayed" ]; then
  echo "delay-loads '$delayed', expected '$expected_delayed'"
  exit 1
fi
if awk 'NF < 2 {exit 1}' <<<"$delay"; then :; else
  echo "a delay-load descriptor names no function:"
  echo "$delay"
  exit 1
fi

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
echo "delay-loads:"
sed 's/^/  /' <<<"$delay"
echo "exports: $exports(ordinals $ordinal_list)"

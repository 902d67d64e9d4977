#!/usr/bin/env bash
# Runs one Windows program under Wine in a private prefix: wine-run.sh PREFIX PROGRAM [ARGS...]
# Wine's helper processes can outlive the program and keep its output pipes open, so the
# program writes to files and this script passes them on once it has ended.
set -u
prefix=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
"$here/wine-prefix.sh" "$prefix" || exit 1
# PIVORA_WINE_DLL_OVERRIDES adds overrides of a test's own, e.g. "comdlg32=d" to keep a DLL
# from loading.
# PIVORA_WINEDEBUG turns on a trace channel for a test that reads it.
export WINEPREFIX=$prefix WINEDEBUG=${PIVORA_WINEDEBUG:--all}
# Wine 8 answers SHChangeNotify(SHCNE_ASSOCCHANGED), which registration sends, by starting
# winemenubuilder in the background to export the prefix's file types to the Linux desktop: it
# is kept from running, so that no test writes into the home folder or races with it.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${PIVORA_WINE_DLL_OVERRIDES:+;$PIVORA_WINE_DLL_OVERRIDES}"
# Wine takes the ANSI code page and the user-interface language from the Unix locale: pin it,
# so results do not depend on the machine. A test that wants another language sets
# PIVORA_WINE_LOCALE.
locale=${PIVORA_WINE_LOCALE:-C.UTF-8}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
env LC_ALL="$locale" wine "$@" >"$scratch/out" 2>"$scratch/err" </dev/null
rc=$?
cat "$scratch/out"
# Noise of a 64-bit-only Wine install.
grep -v -E 'wine32 is missing|multiarch needs|dpkg --add-architecture|apt-get install wine32|syswow64' \
  "$scratch/err" >&2
exit $rc

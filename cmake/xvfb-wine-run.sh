#!/usr/bin/env bash
# Runs one Windows program under Wine on a private X server:
#   xvfb-wine-run.sh PREFIX PROGRAM [ARGS...]
# A prefix's processes share one desktop, made by the first of them: a wineserver still up from
# a run without a display would give this program a desktop on which no window can be created.
# And Wine's helpers stay connected to the display after the program ends ("X connection
# broken" if the X server goes first). So the prefix's wineserver is waited for before the X
# server starts and again before it stops.
set -u
here=$(cd "$(dirname "$0")" && pwd)
if ! WINEPREFIX=$1 timeout 60 wineserver -w; then
  echo "xvfb-wine-run.sh: the wineserver of $1 keeps running (persistent?); stop it with" \
    "WINEPREFIX=$1 wineserver -k" >&2
  exit 1
fi
exec xvfb-run -a sh -c '
  "$0/wine-run.sh" "$@"
  rc=$?
  WINEPREFIX="$1" wineserver -w
  exit $rc' "$here" "$@"

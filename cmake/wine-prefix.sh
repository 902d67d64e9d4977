#!/usr/bin/env bash
# Creates the Wine prefix PREFIX once (about 6 s); later calls return at once.
set -u
prefix=$1
mkdir -p "$prefix"
# winemenubuilder: see wine-run.sh.
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
(
  flock 9
  if [ ! -f "$prefix/.ready" ]; then
    wineboot -i >/dev/null 2>&1 </dev/null
    wineserver -w
    # A fresh prefix has no cursor file types; give them the ones Windows has. A prefix without
    # them is not ready: it stays unmarked, and the next call tries again.
    added=yes
    wine reg add 'HKCR\.cur' /ve /d curfile /f >/dev/null 2>&1 </dev/null || added=no
    wine reg add 'HKCR\.ani' /ve /d anifile /f >/dev/null 2>&1 </dev/null || added=no
    wineserver -w
    if [ "$added" != yes ]; then
      echo "wine-prefix.sh: could not give $prefix the cursor file types (reg add failed)" >&2
      exit 1
    fi
    [ -f "$prefix/system.reg" ] && touch "$prefix/.ready"
  fi
) 9>"$prefix.lock"
[ -f "$prefix/.ready" ]

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
    # The first programs in a new prefix have been seen to fail now and then while Wine still
    # settles it: each is tried a few times.
    added=no
    for attempt in 1 2 3; do
      [ "$attempt" -eq 1 ] || { wineserver -w; sleep 2; }
      wine reg add 'HKCR\.cur' /ve /d curfile /f >"$prefix.err" 2>&1 </dev/null &&
        wine reg add 'HKCR\.ani' /ve /d anifile /f >>"$prefix.err" 2>&1 </dev/null &&
        { added=yes; break; }
    done
    wineserver -w
    if [ "$added" != yes ]; then
      echo "wine-prefix.sh: could not give $prefix the cursor file types (reg add failed):" >&2
      tail -5 "$prefix.err" >&2
      exit 1
    fi
    rm -f "$prefix.err"
    [ -f "$prefix/system.reg" ] && touch "$prefix/.ready"
  fi
) 9>"$prefix.lock"
[ -f "$prefix/.ready" ]

#!/usr/bin/env bash
# Runs the thumbnail of a scheme that names pointers on a share (directly and through a linked
# folder) and on devices, with Wine's file trace on: the trace must show file calls (so it
# works) and none that names the share or passes through the link.
#   file_trace_test.sh PREFIX WINDOWS_TESTS_EXE
set -u
here=$(cd "$(dirname "$0")/../../cmake" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The share, with a pointer on it, made before the trace starts.
"$here/wine-prefix.sh" "$1" || exit 1
mkdir -p "$1/dosdevices/unc/host/share"
printf '\0\0\2\0\1\0' >"$1/dosdevices/unc/host/share/x.cur"
PIVORA_SHARE_MADE=1 PIVORA_WINEDEBUG=+file "$here/wine-run.sh" "$1" "$2" --gtest_brief=1 \
  --gtest_filter=SchemeThumbnailTest.PointersElsewhereAreMarkedAndNeverTouched \
  >"$scratch/out" 2>"$scratch/trace"
rc=$?
cat "$scratch/out"
if [ "$rc" -ne 0 ] || ! grep -q 'PASSED.*1 test' "$scratch/out"; then
  echo "file_trace_test.sh: the thumbnail test did not pass" >&2
  exit 1
fi
if ! grep -q 'trace:file' "$scratch/trace"; then
  echo "file_trace_test.sh: Wine's file trace is empty; nothing is shown" >&2
  exit 1
fi
touched=$(grep 'trace:file' "$scratch/trace" |
  grep -i -E '[\\/]host[\\/@]|DavWWWRoot|CONIN|\\CON"|\\NUL"|linked-share[\\/]')
if [ -n "$touched" ]; then
  echo "file_trace_test.sh: the thumbnail touched a path it must refuse:" >&2
  echo "$touched" | head -20 >&2
  exit 1
fi
echo "file trace: $(grep -c 'trace:file' "$scratch/trace") file calls, none on the share or a device"

#!/usr/bin/env bash
# Builds every preset and runs every test: native (plain, ASan+UBSan, TSan), the scheme
# reader's fuzz target for a bounded time, and last the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

fuzz_seconds=${PIVORA_FUZZ_SECONDS:-60}

step() { printf '\n== %s\n' "$*"; }

for preset in native native-asan native-tsan; do
  step "$preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

step "benchmarks build"
cmake --preset bench >/dev/null
cmake --build --preset bench

step "fuzz: scheme reader for ${fuzz_seconds} s"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target parse_scheme_fuzz
corpus=$(mktemp -d)
trap 'rm -rf "$corpus" "$corpus.log"' EXIT
cp fuzz/corpus/* "$corpus"/
fuzz_status=0
build/fuzz/fuzz/parse_scheme_fuzz -max_total_time="$fuzz_seconds" -max_len=65536 \
  -print_final_stats=1 "$corpus" >"$corpus.log" 2>&1 || fuzz_status=$?
grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done)' "$corpus.log" || true
if [ "$fuzz_status" -ne 0 ]; then
  tail -60 "$corpus.log"
  exit "$fuzz_status"
fi

step "windows (tests under Wine)"
cmake --preset windows >/dev/null
cmake --build --preset windows
status=0
ctest --preset windows || status=$?
WINEPREFIX="$PWD/build/windows/wineprefix" wineserver -k 2>/dev/null || true
[ "$status" -eq 0 ] || exit "$status"

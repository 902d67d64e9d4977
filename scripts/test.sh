#!/usr/bin/env bash
# Builds every preset and runs every test: native (plain, ASan+UBSan, TSan), the fuzz targets
# (scheme reader, registry script interpreter, path rules, cursor-pack INF reader, pointer
# images) for a bounded time each, and last the Windows build under Wine.
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

# Runs one fuzz target for a bounded time over a scratch copy of its seed files (the arguments
# after the target). Everything the run writes (the grown corpus, its log, the input of a crash,
# leak or time-out) stays in its scratch folder, which is removed at the end unless the run
# failed. PIVORA_FUZZ_FLAGS, when set, adds libFuzzer options for that run.
fuzz_scratch=()
trap 'rm -rf "${fuzz_scratch[@]}"' EXIT
run_fuzz() {
  local target=$1 scratch corpus fuzz_status=0
  shift
  cmake --build --preset fuzz --target "$target"
  scratch=$(mktemp -d)
  fuzz_scratch+=("$scratch")
  corpus=$scratch/corpus
  mkdir "$corpus"
  cp -- "$@" "$corpus"/
  "build/fuzz/fuzz/$target" -max_total_time="$fuzz_seconds" -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$scratch/" ${PIVORA_FUZZ_FLAGS:-} "$corpus" \
    >"$scratch/log" 2>&1 ||
    fuzz_status=$?
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done)' "$scratch/log" || true
  if [ "$fuzz_status" -ne 0 ]; then
    tail -60 "$scratch/log"
    unset 'fuzz_scratch[-1]'
    echo "The run's files, the failing input among them, are kept in $scratch"
    exit "$fuzz_status"
  fi
}

cmake --preset fuzz >/dev/null
step "fuzz: scheme reader for ${fuzz_seconds} s"
run_fuzz parse_scheme_fuzz fuzz/corpus/*
step "fuzz: registry script interpreter for ${fuzz_seconds} s"
# The library's own registry scripts seed it too, as they are now.
run_fuzz reg_script_fuzz fuzz/reg_corpus/* resources/scripts/*.rgs
step "fuzz: path rules for ${fuzz_seconds} s"
run_fuzz path_rules_fuzz fuzz/path_corpus/*
step "fuzz: cursor-pack INF reader for ${fuzz_seconds} s"
PIVORA_FUZZ_FLAGS="-rss_limit_mb=512 -timeout=5" run_fuzz inf_reader_fuzz fuzz/inf_corpus/*
step "fuzz: pointer images for ${fuzz_seconds} s"
PIVORA_FUZZ_FLAGS="-rss_limit_mb=512 -timeout=5" run_fuzz pointer_image_fuzz fuzz/image_corpus/*

step "windows (tests under Wine)"
cmake --preset windows >/dev/null
cmake --build --preset windows
status=0
ctest --preset windows || status=$?
WINEPREFIX="$PWD/build/windows/wineprefix" wineserver -k 2>/dev/null || true
[ "$status" -eq 0 ] || exit "$status"

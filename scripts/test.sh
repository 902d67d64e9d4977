#!/usr/bin/env bash
# Builds every preset and runs every test: native (plain, ASan+UBSan, TSan), the fuzz targets
# (scheme reader, registry script interpreter, path rules, cursor-pack INF reader, pointer
# images, ...) for a bounded time each, and the Windows build under Wine. Prints how long each
# step took. Compilations are cached (ccache, see CMakeLists.txt), so a second run on the same
# machine, from any clone, spends its time running tests rather than compiling. The fuzz targets
# run on one core beside every other step, which leaves the other core to the builds and tests.
set -euo pipefail
cd "$(dirname "$0")/.."

fuzz_seconds=${PIVORA_FUZZ_SECONDS:-60}
# Fuzz targets run this many at a time beside the other steps, and one a core once those are
# done; each gets its whole time.
fuzz_jobs=${PIVORA_FUZZ_JOBS:-1}

# Each step's time, printed as a table when the script ends, whether it passed or not.
timings=()
step_name=
step_start=$SECONDS
end_step() {
  [ -n "$step_name" ] || return 0
  local took=$((SECONDS - step_start))
  timings+=("$(printf '%3d:%02d  %s' $((took / 60)) $((took % 60)) "$step_name")")
  step_name=
}
step() {
  end_step
  step_name=$*
  step_start=$SECONDS
  printf '\n== %s\n' "$*"
}
print_timings() {
  end_step
  printf '\n== Time per step (min:s)\n'
  printf '%s\n' "${timings[@]}"
  printf '%3d:%02d  in all\n' $((SECONDS / 60)) $((SECONDS % 60))
}

# A process and everything it started.
kill_tree() {
  local child
  for child in $(pgrep -P "$1"); do kill_tree "$child"; done
  kill "$1" 2>/dev/null || true
}

# At the end, however it comes: fuzz runs still going are stopped and their folders removed
# (only a finished run that failed keeps its folder, for the failing input).
fuzz_scratch=()
fuzz_pid=
declare -A fuzz_out
end_fuzz() {
  [ -n "$fuzz_pid" ] || return 0
  kill_tree "$fuzz_pid"
  wait "$fuzz_pid" 2>/dev/null || true
  local target
  for target in "${!fuzz_out[@]}"; do
    [ -f "${fuzz_out[$target]}.status" ] || rm -rf "$(head -1 "${fuzz_out[$target]}")"
  done
}
trap 'end_fuzz; rm -rf "${fuzz_scratch[@]}"; print_timings' EXIT

step "dependencies"
bash scripts/install-deps.sh

# Runs one fuzz target for a bounded time over a scratch copy of its seed files (the arguments
# after the target). Everything the run writes (the grown corpus, its log, the input of a crash,
# leak or time-out) stays in its scratch folder, which is removed at the end unless the run
# failed. PIVORA_FUZZ_FLAGS, when set, adds libFuzzer options for that run. The scratch folder
# is printed on the first line, for the report below.
run_fuzz() {
  local target=$1 scratch corpus
  shift
  scratch=$(mktemp -d)
  echo "$scratch"
  corpus=$scratch/corpus
  mkdir "$corpus"
  cp -- "$@" "$corpus"/
  "build/fuzz/fuzz/$target" -max_total_time="$fuzz_seconds" -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$scratch/" ${PIVORA_FUZZ_FLAGS:-} "$corpus" \
    >"$scratch/log" 2>&1
}

# Each target: its name, what it reads, its extra libFuzzer options, and its seeds.
fuzz_names=(parse_scheme_fuzz reg_script_fuzz path_rules_fuzz inf_reader_fuzz pointer_image_fuzz
  pointer_names_fuzz pack_record_fuzz drop_list_fuzz)
declare -A fuzz_what fuzz_flags fuzz_seeds
fuzz_what=([parse_scheme_fuzz]="scheme reader" [reg_script_fuzz]="registry script interpreter"
  [path_rules_fuzz]="path rules" [inf_reader_fuzz]="cursor-pack INF reader"
  [pointer_image_fuzz]="pointer images" [pointer_names_fuzz]="pointer file names"
  [pack_record_fuzz]="pack install record" [drop_list_fuzz]="shell's file list reader")
fuzz_flags=([inf_reader_fuzz]="-rss_limit_mb=512 -timeout=5"
  [pointer_image_fuzz]="-rss_limit_mb=512 -timeout=5")
# The library's own registry scripts seed the interpreter too, as they are now.
fuzz_seeds=([parse_scheme_fuzz]="fuzz/corpus/*" [reg_script_fuzz]="fuzz/reg_corpus/* resources/scripts/*.rgs"
  [path_rules_fuzz]="fuzz/path_corpus/*" [inf_reader_fuzz]="fuzz/inf_corpus/*"
  [pointer_image_fuzz]="fuzz/image_corpus/*" [pointer_names_fuzz]="fuzz/names_corpus/*"
  [pack_record_fuzz]="fuzz/record_corpus/*" [drop_list_fuzz]="fuzz/drop_corpus/*")

step "fuzz targets build"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${fuzz_names[@]}"

# The fuzz runs, in the background: each target's output and status go to files of its own,
# read once the other steps are done. The scratch files are named now, so that the script's end
# removes them whichever way it ends.
for target in "${fuzz_names[@]}"; do
  fuzz_out[$target]=$(mktemp)
  fuzz_scratch+=("${fuzz_out[$target]}" "${fuzz_out[$target]}.status")
done
# How many run at a time, read before each start, so that the script can raise it later; and the
# time the last run ended.
fuzz_state=$(mktemp -d)
fuzz_scratch+=("$fuzz_state")
echo "$fuzz_jobs" >"$fuzz_state/jobs"
fuzz_began=$SECONDS
(
  for target in "${fuzz_names[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$(cat "$fuzz_state/jobs")" ]; do sleep 1; done
    (
      fuzz_status=0
      # shellcheck disable=SC2086 # the seeds are globs
      PIVORA_FUZZ_FLAGS=${fuzz_flags[$target]:-} run_fuzz "$target" ${fuzz_seeds[$target]} ||
        fuzz_status=$?
      echo "$fuzz_status" >"${fuzz_out[$target]}.status"
    ) >"${fuzz_out[$target]}" &
  done
  wait
  echo "$SECONDS" >"$fuzz_state/ended"
) &
fuzz_pid=$!
printf '== fuzz: %d targets for %d s each, %d at a time beside the steps below, then one a core\n' \
  "${#fuzz_names[@]}" "$fuzz_seconds" "$fuzz_jobs"

for preset in native native-asan native-tsan; do
  step "$preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

# Nothing here runs the benchmarks (scripts/bench.sh does, and takes minutes): they are built so
# that a change which breaks them shows here.
step "benchmarks build"
cmake --preset bench >/dev/null
cmake --build --preset bench

step "windows build"
cmake --preset windows >/dev/null
cmake --build --preset windows

step "windows tests (under Wine)"
status=0
ctest --preset windows || status=$?
for prefix in build/windows/wineprefix*/; do
  WINEPREFIX="$PWD/$prefix" wineserver -k 2>/dev/null || true
done
[ "$status" -eq 0 ] || exit "$status"

# Nothing else is left to run: the fuzz runs not yet started take the free cores.
cores=$(nproc)
echo $((cores > fuzz_jobs ? cores : fuzz_jobs)) >"$fuzz_state/jobs"
step "fuzz: the rest of its time"
wait "$fuzz_pid" || true
fuzz_pid=
took=$(($(cat "$fuzz_state/ended" 2>/dev/null || echo "$SECONDS") - fuzz_began))
timings+=("$(printf '%3d:%02d  %s' $((took / 60)) $((took % 60)) "fuzz, in all (beside the steps above)")")
fuzz_failed=
for target in "${fuzz_names[@]}"; do
  scratch=$(head -1 "${fuzz_out[$target]}")
  fuzz_status=$(cat "${fuzz_out[$target]}.status" 2>/dev/null || echo 1)
  echo "-- ${fuzz_what[$target]} ($target)"
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb|Done)' "$scratch/log" || true
  if [ "$fuzz_status" -ne 0 ]; then
    tail -60 "$scratch/log"
    echo "The run's files, the failing input among them, are kept in $scratch"
    fuzz_failed=$fuzz_status
  else
    fuzz_scratch+=("$scratch")
  fi
done
[ -z "$fuzz_failed" ] || exit "$fuzz_failed"

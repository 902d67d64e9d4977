#!/usr/bin/env bash
# Runs every benchmark on this machine and prints the figures (bench/RESULTS.md keeps the last
# ones): the scheme reader and writer natively (Google Benchmark), then under Wine in a prefix
# of its own (build/bench-wine/wineprefix): applying a scheme against the ways people apply
# pointer settings without us, one full context menu, registration and unregistration beside
# 10,000 other file types, installing a cursor pack against the system's INF road; and the
# library's size and imports. Natively also the cursor-pack INF reader.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

step() { printf '\n== %s\n' "$*"; }

step "Machine"
echo "$(nproc) cores, $(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo)," \
  "$(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1)"
echo "$(wine --version 2>/dev/null), $(x86_64-w64-mingw32-g++-posix --version | head -1)"

step "Building"
cmake --preset bench >/dev/null
cmake --build --preset bench >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows --target Pivora bench_floor apply_bench menu_bench \
  unregister_bench pack_bench >/dev/null

step "Scheme reader and writer (native, Google Benchmark)"
build/bench/bench/scheme_bench --benchmark_min_time=0.2 2>/dev/null |
  grep -E '^(ParseScheme|ComposeScheme|BM_|[A-Za-z]+/|[A-Za-z_]+_BigO|[A-Za-z_]+_RMS)' || true

prefix=$PWD/build/bench-wine/wineprefix
# Every Wine call that reaches the wineserver wakes another process. On a virtual machine a
# wake-up across cores can cost more than the work measured (seen here: one menu 15.7 ms
# spread over two cores, 2.2 ms on one), so Wine and its server are held to one core, and the
# menu is also timed spread, for contrast.
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
run() { taskset -c 0 cmake/wine-run.sh "$prefix" "$@"; }

step "Applying a scheme, side by side (Wine)"
run "$PWD/build/windows/apply_bench.exe"

step "Cursor-pack INFs read (native, Google Benchmark)"
build/bench/bench/pack_bench --benchmark_min_time=0.2 --benchmark_out_format=json \
  --benchmark_out=build/bench/pack_bench.json 2>/dev/null |
  grep -E '^(BM_|[A-Za-z_]+_BigO|[A-Za-z_]+_RMS)' || true
# The INFs that multiply their size through references, against the 1 MiB driver INF.
python3 - build/bench/pack_bench.json <<'PY'
import json, sys
times = {b["name"]: b["real_time"] for b in json.load(open(sys.argv[1]))["benchmarks"]
         if b.get("run_type") == "iteration"}
driver = times["BM_DecideDriverInf/1048576"]
for name, what in (("BM_DecideAmplifiedInf/0", "one field naming a 250,000-unit string 4,000 times"),
                   ("BM_DecideAmplifiedInf/1", "1 MiB of lines naming a 4,000-unit string"),
                   ("BM_ReadPackInf/1048576", "for comparison, a 1 MiB pack INF without references")):
    print(f"{what}: {times[name] / driver:.2f} x the 1 MiB driver INF")
# An install section naming one section again and again, against the same INF naming it once.
once = times["BM_DecideRepeatedSectionInf/0"]
print("one AddReg section named 20,000 times, 100,000 lines long: "
      f"{times['BM_DecideRepeatedSectionInf/1'] / once:.2f} x the same-sized INF naming it once")
PY

step "Installing a cursor pack, side by side (Wine)"
run "$PWD/build/windows/pack_bench.exe"

step "One full context menu (Wine, no display)"
run "$PWD/build/windows/menu_bench.exe"

step "Registration and unregistration beside many file types (Wine)"
run "$PWD/build/windows/unregister_bench.exe"

step "One full context menu again, Wine spread over every core"
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
sleep 1
cmake/wine-run.sh "$prefix" "$PWD/build/windows/menu_bench.exe"

step "The library"
ls -l build/windows/Pivora.dll | awk '{print "Pivora.dll: " $5 " bytes"}'
echo "Imports at load:"
x86_64-w64-mingw32-objdump -p build/windows/Pivora.dll | sed -n 's/^\s*DLL Name: /  /p'
echo "Delay-loaded (with the functions called):"
python3 tests/windows/delay_imports.py build/windows/Pivora.dll build/windows/Pivora.map |
  sed 's/^/  /'
echo "The floor's library (bench_floor.dll) imports:"
x86_64-w64-mingw32-objdump -p build/windows/bench_floor.dll | sed -n 's/^\s*DLL Name: /  /p'
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true

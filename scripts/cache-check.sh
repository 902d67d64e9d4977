#!/usr/bin/env bash
# Shows that the compiler cache changes nothing but the time: the committed tree is cloned into
# two folders of different paths and Pivora.dll is built three times, in the first clone with an
# empty cache (filling it), in the second with that cache, and in the second again with the
# cache turned off. The second build must take nearly every compilation from the cache (what is
# cached does not depend on the clone's path), and the three libraries must be the same bytes.
# Uses a cache of its own, not the user's. Takes a few minutes.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
command -v ccache >/dev/null || { echo "ccache is not installed" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export CCACHE_DIR=$scratch/cache
git clone -q "$PWD" "$scratch/first"
git clone -q "$PWD" "$scratch/second-clone"

build() {
  local clone=$1 dir=$2
  shift 2
  env "$@" cmake -S "$clone" -B "$clone/$dir" -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_TOOLCHAIN_FILE="$clone/cmake/mingw-w64.cmake" >/dev/null
  env "$@" cmake --build "$clone/$dir" --target Pivora -j "$(nproc)" >/dev/null
}

build "$scratch/first" build
ccache -z >/dev/null
build "$scratch/second-clone" build
stats=$(ccache --print-stats)
hits=$(awk '$1 == "direct_cache_hit" || $1 == "preprocessed_cache_hit" { n += $2 } END { print n + 0 }' <<<"$stats")
misses=$(awk '$1 == "cache_miss" { print $2 }' <<<"$stats")
build "$scratch/second-clone" build-uncached CCACHE_DISABLE=1

status=0
echo "second clone: $hits compilations from the cache, $misses compiled"
[ "$hits" -gt 0 ] && [ "$misses" -le $((hits / 20)) ] || {
  echo "FAIL: the second clone did not take its compilations from the cache"
  status=1
}
for other in "$scratch/second-clone/build/Pivora.dll" "$scratch/second-clone/build-uncached/Pivora.dll"; do
  if cmp "$scratch/first/build/Pivora.dll" "$other"; then
    echo "same bytes: ${other#"$scratch"/}"
  else
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "PASS: the cache changes nothing in Pivora.dll"
exit "$status"

#!/bin/sh
# Builds every fuzz target with clang under the sanitizers and runs each for a
# bounded time: fuzz/run.sh [SECONDS_PER_TARGET] (default 60).
set -eu
cd "$(dirname "$0")/.."
seconds="${1:-60}"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMIVEX_FUZZ=ON -DLUMIVEX_SANITIZE=ON \
  -DLUMIVEX_TESTS=OFF -DLUMIVEX_BENCH=OFF >/dev/null
cmake --build build-fuzz
for target in $(find build-fuzz/fuzz -maxdepth 2 -type f -name 'fuzz_*' -perm -u+x | sort); do
  name=$(basename "$target")
  corpus="build-fuzz/corpus/$name"
  mkdir -p "$corpus"
  seeds="fuzz/seeds/$name"
  echo "== $name ($seeds, ${seconds}s)"
  if [ -d "$seeds" ]; then
    "$target" -max_total_time="$seconds" -rss_limit_mb=2048 "$corpus" "$seeds"
  else
    "$target" -max_total_time="$seconds" -rss_limit_mb=2048 "$corpus"
  fi
done

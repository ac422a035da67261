#!/bin/sh
# Builds every fuzz target with clang under the address and undefined-
# behaviour sanitizers and runs each for a bounded time on its corpus:
#   fuzz/run.sh [SECONDS_PER_TARGET] [TARGET...]   (default 60 s, every target)
#   FUZZ_SEED=N picks the mutation seed (default 1; 0 lets libFuzzer choose).
# The corpus grows in build-fuzz/corpus/<target> (seeded from
# fuzz/seeds/<target>); findings of this run are written as
# build-fuzz/findings/<target>/crash-* (leak-*, timeout-*, oom-*) and the
# script exits non-zero. Leaks inside the GL driver are not reported
# (fuzz/lsan.supp). One line per target at the end: executions and findings.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
seconds="${1:-60}"
# A fixed mutation seed makes a run repeatable (FUZZ_SEED=0 lets libFuzzer
# pick one).
seed="${FUZZ_SEED:-1}"
[ $# -gt 0 ] && shift
cmake -S . -B build-fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMIVEX_FUZZ=ON -DLUMIVEX_SANITIZE=ON \
  -DLUMIVEX_TESTS=OFF -DLUMIVEX_BENCH=OFF >/dev/null
cmake --build build-fuzz -t lumivex_fuzz
targets="$*"
[ -n "$targets" ] || targets=$(find build-fuzz/fuzz -maxdepth 2 -type f -name 'fuzz_*' -perm -u+x -exec basename {} \; | sort)
summary=""
failed=0
for name in $targets; do
  target=$(find "$root/build-fuzz/fuzz" -maxdepth 2 -type f -name "$name" -perm -u+x)
  corpus="$root/build-fuzz/corpus/$name"
  findings="$root/build-fuzz/findings/$name"
  log="$root/build-fuzz/findings/$name.log"
  rm -rf "$findings"
  mkdir -p "$corpus" "$findings"
  seeds="$root/fuzz/seeds/$name"
  [ -d "$seeds" ] || seeds=""
  echo "== $name (${seconds}s)"
  # Paths are absolute: the script target works in a folder of its own.
  status=0
  LSAN_OPTIONS="suppressions=$root/fuzz/lsan.supp" \
    "$target" -max_total_time="$seconds" -seed="$seed" -rss_limit_mb=4096 -timeout=300 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$corpus" $seeds >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  found=$(find "$findings" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
  if [ "$status" -ne 0 ]; then
    failed=1
    tail -n 40 "$log"
  fi
  summary="$summary$name: executions=${runs:-?} findings=$found exit=$status\n"
done
printf "%b" "$summary"
exit "$failed"

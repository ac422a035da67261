#!/bin/sh
# Runs the decoder, quantizer, package and script suites under valgrind's
# memcheck, which sees reads of memory never written (what the address and
# undefined-behaviour sanitizers cannot), and replays the decoder's and the
# quantizer's fuzz seeds (fuzz/seeds) the same way: scripts/memcheck.sh.
# Needs a build in build/ (scripts/build.sh). The decoder, quantizer and
# package tests run one per process, as ctest runs them; the script suite
# runs in one process (its GL context made once). Reports from inside the
# GL driver and the dynamic loader are left out (scripts/memcheck.supp).
# Prints every report and a last line with the number of runs that had one;
# exits 1 when any had.
set -eu
cd "$(dirname "$0")/.."
b=build
for f in "$b/tests/ImageLib/test_imagelib" "$b/tests/package/test_package" "$b/tests/script/test_script" \
         "$b/fuzz/ImageLib/fuzz_decode" "$b/fuzz/ImageLib/fuzz_quantize"; do
  [ -x "$f" ] || { echo "memcheck: $f is missing; build first (scripts/build.sh)" >&2; exit 2; }
done
log=$(mktemp -d)
trap 'rm -rf "$log"' EXIT
memcheck() {  # memcheck NAME COMMAND...: one run; its report kept when it has one
  name=$1; shift
  if ! valgrind --error-exitcode=99 --track-origins=yes --suppressions=scripts/memcheck.supp -q "$@" \
      >"$log/$name.out" 2>&1; then
    echo "== $name"
    grep -E '^==[0-9]+==|Failure|FAILED' "$log/$name.out" | head -n 60
    echo "$name" >>"$log/failed"
  fi
}
# The golden quantizer matrix is left out: under valgrind it takes over ten
# minutes, and the quantizer's seeds and kernel tests reach the same code.
for suite in ImageLib/test_imagelib:'Decode*:Quantize*:Octree*:Kernels/QuantizeKernels*-QuantizeGolden.*' \
             package/test_package:'*'; do
  binary="$b/tests/${suite%%:*}"
  filter="${suite#*:}"
  for t in $("$binary" --gtest_filter="$filter" --gtest_list_tests | awk '/^[^ ]/ { s = $1 } /^  / { print s $1 }'); do
    memcheck "$(basename "$binary")-$(echo "$t" | tr '/' '_')" "$binary" --gtest_filter="$t"
  done
done
memcheck fuzz_decode-seeds "$b/fuzz/ImageLib/fuzz_decode" fuzz/seeds/fuzz_decode
memcheck fuzz_quantize-seeds "$b/fuzz/ImageLib/fuzz_quantize" fuzz/seeds/fuzz_quantize
# Filling the script heap to its limit takes minutes under valgrind and meets
# the time limit first, and a shader that runs for minutes on purpose runs
# for hours there; the plain test run covers both.
memcheck test_script "$b/tests/script/test_script" \
  --gtest_filter='-EngineTest.ScriptHeapIsCappedAndTheNextLoadWorks:EngineTest.AShaderThatRunsForMinutesEndsAtTheTimeLimitInAll'
failed=$( [ -f "$log/failed" ] && wc -l <"$log/failed" || echo 0)
echo "memcheck: $failed run(s) with reports"
[ "$failed" = 0 ]

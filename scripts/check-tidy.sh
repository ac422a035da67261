#!/bin/sh
# Runs clang-tidy (.clang-tidy holds the checks) over every C++ file of ours
# that build/ compiles; fails on any finding. Needs a configured build/
# (scripts/build.sh) for compile_commands.json. Takes about a quarter of an
# hour on two cores, so the test command leaves it to the developer:
#   check-tidy.sh [FILE_REGEX]     only the files whose path matches
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
# The compile commands without the options only GCC knows.
mkdir -p build/tidy
sed -e 's/ -fvect-cost-model=[a-z]*//g' build/compile_commands.json >build/tidy/compile_commands.json
run-clang-tidy -p build/tidy -quiet -j "$(nproc)" "^$root/(?!build)${1:-}" >build/clang-tidy.log 2>&1 || {
  grep -E "(warning|error):" build/clang-tidy.log | sed 's/\x1b\[[0-9;]*m//g' | sort -u >&2
  echo "check-tidy: findings above (all output in build/clang-tidy.log)" >&2
  exit 1
}
echo "check-tidy: no findings"

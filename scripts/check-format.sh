#!/bin/sh
# Fails when a C or C++ file of ours differs from what clang-format makes of
# it (.clang-format holds the style); with --fix, formats them in place.
set -eu
cd "$(dirname "$0")/.."
files=$(git ls-files '*.c' '*.cpp' '*.h' | grep -v -e '^effects/' -e '^tests/effects/')
if [ "${1:-}" = "--fix" ]; then
  # shellcheck disable=SC2086  # one word per file
  clang-format -i $files
else
  # shellcheck disable=SC2086
  clang-format --dry-run --Werror $files
fi

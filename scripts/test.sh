#!/usr/bin/env bash
# The whole test suite: the same set-up as scripts/setup.sh, then
#  1. the tests of the release build (core, command line, dialog on the offscreen platform);
#  2. the core and the command line built without the dialog, tested again
#     under AddressSanitizer and UndefinedBehaviorSanitizer;
#  3. the fuzz target: the committed corpora replayed, then 45 s of fuzzing
#     (scripts/fuzz.sh; KORVANE_FUZZ_SECONDS changes the time).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

scripts/setup.sh

echo "== tests (release build)"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j"$jobs"

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer, without the dialog"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DKORVANE_SANITIZE=ON -DKORVANE_BUILD_GUI=OFF -DKORVANE_WERROR=ON >/dev/null
cmake --build build-sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j"$jobs"

echo "== fuzzing"
scripts/fuzz.sh

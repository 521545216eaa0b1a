#!/usr/bin/env bash
# The whole test suite: the same set-up as scripts/setup.sh, then
#  1. the tests of the release build (core, command line, dialog on the offscreen platform);
#  2. the sizes of the sources (scripts/check-sizes.sh);
#  3. the Debian package: cpack -G DEB in build/, then scripts/package-check.sh
#     (lintian, AppStream, the desktop entry; as root, install, run, remove);
#  4. the core and the command line built without the dialog, tested again
#     under AddressSanitizer and UndefinedBehaviorSanitizer;
#  5. the concurrent tests (lookups, the walk, putting back, the run of many
#     projects, the dialog's relay) under ThreadSanitizer;
#  6. the fuzz targets: each one's committed corpora replayed, then 45 s of
#     fuzzing shared among them (scripts/fuzz.sh; KORVANE_FUZZ_SECONDS
#     changes the time).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

scripts/setup.sh

echo "== tests (release build)"
ctest --preset default -j"$jobs"

echo "== sizes"
scripts/check-sizes.sh

echo "== package"
(cd build && rm -f korvane_*.deb && cpack -G DEB >/dev/null)
scripts/package-check.sh

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer, without the dialog"
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j"$jobs"
ctest --preset sanitize -j"$jobs"

echo "== the concurrent tests under ThreadSanitizer"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j"$jobs"
ctest --preset tsan -j"$jobs"

echo "== fuzzing"
scripts/fuzz.sh

#!/usr/bin/env bash
# The scanner's fuzz run (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer), in build-fuzz:
#  1. builds korvane-fuzz;
#  2. replays every committed input (fuzz/corpus/seeds, fuzz/corpus/regressions);
#  3. fuzzes for a bounded time (45 s, or KORVANE_FUZZ_SECONDS) from a scratch
#     copy of the seeds; every input must finish within a second and the
#     process stay under 512 MB.
# Exits non-zero on any crash, broken promise, sanitizer report, timeout or
# memory overrun; the input that caused it is left in build-fuzz/fuzz-artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${KORVANE_JOBS:-$(nproc)}
seconds=${KORVANE_FUZZ_SECONDS:-45}
build=build-fuzz
fuzzer=$build/bin/korvane-fuzz
artifacts=$build/fuzz-artifacts

echo "== building the fuzz target"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$jobs"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

echo "== replaying the committed corpora"
inputs=()
while IFS= read -r -d '' f; do
  inputs+=("$f")
done < <(find fuzz/corpus/seeds fuzz/corpus/regressions -type f ! -name .keep -print0 | sort -z)
if ((${#inputs[@]} == 0)); then
  echo "fuzz.sh: no committed inputs found" >&2
  exit 1
fi
"$fuzzer" -timeout=1 -rss_limit_mb=512 "${inputs[@]}" 2>"$build/replay.log" || {
  cat "$build/replay.log" >&2
  echo "fuzz.sh: a committed input fails" >&2
  exit 1
}
echo "${#inputs[@]} inputs replayed"

echo "== fuzzing for ${seconds} s"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/korvane-fuzz-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cp fuzz/corpus/seeds/* "$scratch"/
mkdir -p "$artifacts"
# New inputs go to the scratch copy (the first directory); the regressions
# are only read.
if ! "$fuzzer" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=512 -print_final_stats=1 \
  -dict=fuzz/korvane.dict -artifact_prefix="$artifacts/" "$scratch" fuzz/corpus/regressions \
  2>"$build/fuzz.log"; then
  tail -n 60 "$build/fuzz.log" >&2
  echo "fuzz.sh: the fuzzer found a fault; the input is in $artifacts/" >&2
  exit 1
fi
grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb)' "$build/fuzz.log" || true
echo "fuzz.sh: no fault found"

#!/usr/bin/env bash
# The fuzz targets (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer), all in build-fuzz:
#   scan     korvane-fuzz          the scanner from memory
#   refill   korvane-fuzz-refill   the project reader through refills of 1 to 16 bytes
#   config   korvane-fuzz-config   the configuration file: parse, save, load, edit
#   resolve  korvane-fuzz-resolve  stored names through the resolver in a tree in memory
#   journal  korvane-fuzz-journal  the journal of putting back: strict, written back byte for byte
#   catalogue korvane-fuzz-catalogue a catalogue file opened read-only and queried
# For each target:
#  1. builds it (once, all together);
#  2. replays every committed input of its corpora (fuzz/corpus/TARGET/seeds,
#     fuzz/corpus/TARGET/regressions; refill reads the scanner's seeds);
#  3. fuzzes for a bounded time from a scratch copy of the seeds; every input
#     must finish within a second and the process stay under 512 MB.
# The time: KORVANE_FUZZ_SECONDS (45 by default) shared among the targets
# (scan 30 %, resolve 20 %, journal 20 %, refill 15 %, config 10 %,
# catalogue 5 %), or per target KORVANE_FUZZ_SECONDS_SCAN, _REFILL, _CONFIG,
# _RESOLVE, _JOURNAL, _CATALOGUE.
# KORVANE_FUZZ_TARGETS
# ("scan config") runs only some.
# Exits non-zero on any crash, broken promise, sanitizer report, timeout or
# memory overrun; the input that caused it is left in
# build-fuzz/fuzz-artifacts/TARGET/.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${KORVANE_JOBS:-$(nproc)}
total=${KORVANE_FUZZ_SECONDS:-45}
build=build-fuzz
targets=(${KORVANE_FUZZ_TARGETS:-scan refill config resolve journal catalogue})

binary() {
  case $1 in
  scan) echo korvane-fuzz ;;
  *) echo "korvane-fuzz-$1" ;;
  esac
}
seeds() {
  case $1 in
  refill) echo fuzz/corpus/scan/seeds ;;
  *) echo "fuzz/corpus/$1/seeds" ;;
  esac
}
dict() {
  case $1 in
  scan | refill) echo fuzz/korvane.dict ;;
  *) echo "fuzz/$1.dict" ;;
  esac
}
seconds() {
  local name share
  name=KORVANE_FUZZ_SECONDS_$(tr '[:lower:]' '[:upper:]' <<<"$1")
  case $1 in
  scan) share=30 ;;
  resolve | journal) share=20 ;;
  refill) share=15 ;;
  catalogue) share=5 ;;
  *) share=10 ;;
  esac
  local s=${!name:-$((total * share / 100))}
  echo $((s > 0 ? s : 1))
}

echo "== building the fuzz targets"
binaries=()
for t in "${targets[@]}"; do
  binaries+=("$(binary "$t")")
done
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$jobs" --target "${binaries[@]}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

scratch=$(mktemp -d "${TMPDIR:-/tmp}/korvane-fuzz-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

for t in "${targets[@]}"; do
  fuzzer=$build/bin/$(binary "$t")
  regressions=fuzz/corpus/$t/regressions
  artifacts=$build/fuzz-artifacts/$t
  log=$build/$t

  echo "== $t: replaying the committed corpora"
  inputs=()
  while IFS= read -r -d '' f; do
    inputs+=("$f")
  done < <(find "$(seeds "$t")" "$regressions" -type f ! -name .keep -print0 | sort -z)
  if ((${#inputs[@]} == 0)); then
    echo "fuzz.sh: no committed inputs found for $t" >&2
    exit 1
  fi
  "$fuzzer" -timeout=1 -rss_limit_mb=512 "${inputs[@]}" 2>"$log-replay.log" || {
    cat "$log-replay.log" >&2
    echo "fuzz.sh: a committed input of $t fails" >&2
    exit 1
  }
  echo "${#inputs[@]} inputs replayed"

  s=$(seconds "$t")
  echo "== $t: fuzzing for $s s"
  mkdir -p "$scratch/$t" "$artifacts"
  cp "$(seeds "$t")"/* "$scratch/$t"/
  # New inputs go to the scratch copy (the first directory); the regressions
  # are only read.
  if ! "$fuzzer" -max_total_time="$s" -timeout=1 -rss_limit_mb=512 -print_final_stats=1 \
    -dict="$(dict "$t")" -artifact_prefix="$artifacts/" "$scratch/$t" "$regressions" \
    2>"$log-fuzz.log"; then
    tail -n 60 "$log-fuzz.log" >&2
    echo "fuzz.sh: the fuzzer found a fault in $t; the input is in $artifacts/" >&2
    exit 1
  fi
  grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb)' "$log-fuzz.log" || true
done
echo "fuzz.sh: no fault found"

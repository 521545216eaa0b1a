#!/usr/bin/env bash
# Builds the benchmarks (Release) and runs them all, printing the figures and
# the ratios against their baselines:
#  1. the scan's throughput with the existence test replaced (Google Benchmark);
#  2. korvane-scan as a whole process against cat + one stat per distinct path;
#  3. the path resolver: 100,000 mapped names against 100,000 stat calls;
#  4. the search: indexing 200,000 files in 10,000 folders against find, and
#     matching 10,000 missing paths;
#  5. when Qt 6 is installed, Process in the dialog (offscreen) against
#     korvane-scan on a project with tens of thousands of missing paths;
#  6. StringTable against std::unordered_map on the scan's look-ups;
#  7. korvane-scan --search and --search --json where every missing name is in
#     100 folders: wall time, largest resident set, size of the output;
#  8. korvane-scan on 1 GiB sparse projects of nothing but empty entries, with
#     stderr on a pseudo-terminal and not.
# Ratios compare figures taken in the same rounds, so they hold on a busy
# machine better than the absolute times do; each is printed as the median
# and the range over the rounds.
#
# Environment: BUILD_DIR (default build-bench), JOBS (build jobs, default 2),
# ROUNDS (rounds of the round-based benchmarks, default 5), REPETITIONS
# (Google Benchmark repetitions, default 3), SCALE (project size, default 1:
# about 37 MB and 102,000 clip and bin entries), BENCH_TMPDIR (where the
# generated projects and trees go; default /dev/shm where it can be written:
# on a disk file system, creating and removing 300,000 files can take a
# minute and more, and leaves the next run slower),
# KORVANE_BUILD_GUI (ON or OFF; default ON when Qt 6 is found).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-bench}
jobs=${JOBS:-2}
rounds=${ROUNDS:-5}
scale=${SCALE:-1}

configure() {
  cmake --preset bench -B "$build" -DKORVANE_BUILD_GUI="$1" >"$build/configure.log" 2>&1
}
mkdir -p "$build"
gui=${KORVANE_BUILD_GUI:-}
if [[ -z $gui ]]; then
  if configure ON; then gui=ON; else gui=OFF; configure OFF || { cat "$build/configure.log"; exit 1; }; fi
else
  configure "$gui" || { cat "$build/configure.log"; exit 1; }
fi
targets=(korvane-scan korvane_scan_bench korvane-bench-process korvane_path_resolver_bench korvane-bench-search
  korvane_string_table_bench korvane-bench-search-scan korvane-bench-degenerate)
[[ $gui == ON ]] && targets+=(korvane-bench-dialog)
cmake --build "$build" -j"$jobs" --target "${targets[@]}" >/dev/null
bin=$(cd "$build" && pwd)/bin

if [[ -z ${BENCH_TMPDIR:-} && -d /dev/shm && -w /dev/shm ]]; then
  BENCH_TMPDIR=/dev/shm
fi
export TMPDIR=${BENCH_TMPDIR:-${TMPDIR:-/tmp}}
# Neither the user's mappings nor a Wine prefix take part: every run sees the
# same, empty, configuration.
config=$(mktemp -d "$TMPDIR/korvane-bench-config-XXXXXX")
trap 'rm -rf "$config"' EXIT
export XDG_CONFIG_HOME=$config WINEPREFIX=$config/wine XDG_RUNTIME_DIR=$config

echo "== machine"
echo "$(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load average $(cut -d' ' -f1-3 /proc/loadavg); files in $TMPDIR ($(stat -f -c %T "$TMPDIR"))"

echo
echo "== 1. the scan with the existence test replaced (goal: at least 500 MB/s of project data on one core)"
# bytes_per_second is in binary units (1G = 2^30) and decimal_B/s in decimal
# ones (the goal's 500 MB/s is 500M/s), both over CPU time.
"$bin/korvane_scan_bench" --project_scale="$scale" --benchmark_repetitions="${REPETITIONS:-3}" \
  --benchmark_report_aggregates_only=true 2>&1 | grep -v '^\*\*\*WARNING\*\*\* Library was built as DEBUG'

echo
echo "== 2. korvane-scan as a whole process against cat + one stat per distinct path"
"$bin/korvane-bench-process" --scan "$bin/korvane-scan" --rounds "$rounds" --scale "$scale"

echo
echo "== 3. the path resolver: 100,000 mapped names over 1,000 folders against 100,000 stat calls"
"$bin/korvane_path_resolver_bench" --benchmark_repetitions="${REPETITIONS:-3}" \
  --benchmark_enable_random_interleaving=true \
  --benchmark_min_time=0.3 2>&1 | grep -v '^\*\*\*WARNING\*\*\* Library was built as DEBUG'

echo
echo "== 4. the search: indexing a tree against find, matching missing paths against the index"
"$bin/korvane-bench-search" --rounds "$rounds"

if [[ $gui == ON ]]; then
  echo
  echo "== 5. Process in the dialog (offscreen) against korvane-scan on the same project"
  QT_QPA_PLATFORM=offscreen "$bin/korvane-bench-dialog" --scan "$bin/korvane-scan" --rounds "$rounds" --scale "$scale"
else
  echo
  echo "== 5. the dialog's benchmark is left out: the dialog is not built (Qt 6 not found)"
fi

echo
echo "== 6. StringTable against std::unordered_map<std::string, std::uint32_t> with transparent look-up"
"$bin/korvane_string_table_bench" --benchmark_repetitions="${REPETITIONS:-3}" \
  --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true 2>&1 |
  grep -v '^\*\*\*WARNING\*\*\* Library was built as DEBUG'

echo
echo "== 7. korvane-scan --search, and --search --json: 20,000 missing files, each name in 100 folders of 200,000 files"
"$bin/korvane-bench-search-scan" --scan "$bin/korvane-scan" --rounds "${SEARCH_ROUNDS:-3}"

echo
echo "== 8. korvane-scan on projects of nothing but empty entries: 1 GiB sparse files (goal: under 5 s each)"
"$bin/korvane-bench-degenerate" --scan "$bin/korvane-scan" --rounds "${DEGENERATE_ROUNDS:-3}"

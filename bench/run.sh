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
#     stderr on a pseudo-terminal and not;
#  9. korvane-scan where every lookup, getattr, open and readdir costs a
#     round trip (korvane-latency-fs, a FUSE file system, mounted for the
#     part and unmounted after it whatever happens): one project, forty
#     projects in one run and --search over 10,000 folders, against the same
#     lookups one after another and against find. Needs fuse3 and
#     libfuse3-dev (installed with apt-get when missing and run as root) and
#     a usable /dev/fuse; the part says why it is left out otherwise;
# 10. korvane-scan --restore --apply --copy putting back every file of a
#     project (up to 10,000 of 1 MiB) against cp -r + sync -f and cp -r
#     alone, each into a new empty folder; --restore without --apply in the
#     same rounds gives the share of applying the plan;
# 11. korvane-scan --search over 5,000 small projects and a tree of 3,000
#     folders in one run, against one project's search and the scans alone,
#     and --json against the text.
# 12. the catalogue: cataloguing 1,000,000 small files without fingerprints
#     (new, and again with nothing changed) against find -printf; then
#     fingerprints of files on a disk, their pages dropped from the cache,
#     against reading the same pieces;
# 13. the catalogue at scale: 10,000,000 files on 40 disks (its size a file,
#     and 20,000 missing files looked up in it), and remembering every file
#     of the large project once nothing changed, against korvane-scan of it.
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
# KORVANE_BUILD_GUI (ON or OFF; default ON when Qt 6 is found), PARTS (the
# parts to run, default "1 2 3 4 5 6 7 8 9 10 11 12 13"; PARTS=9 runs the slow
# file system's alone). Part 12: CATALOGUE_FILES (default 1000000), CATALOGUE_DISK
# (where the fingerprints' files go, default /var/tmp: a disk, so that
# dropping them from the cache means reading them from it again). Part 13:
# LOOKUP_FILES (default 10000000), LOOKUP_CATALOGUE (a catalogue file to keep
# and take again: filling ten million files takes minutes). Part 9: LATENCY_DELAY_MS (the round trip, default 2),
# LATENCY_ROUNDS (rounds of its first two benchmarks, default 3),
# LATENCY_SEARCH_ROUNDS (of the search, default 1, no warm-up: find alone takes
# minutes), LATENCY_FOLDERS (leaf folders of the search's tree, default 10000),
# LATENCY_PARTS (which of its benchmarks 1, 2 and 3 to run, default 123).
# Part 10: RESTORE_FILES (default 10,000, or fewer so that the source and one
# copy take at most half of the free space, and on tmpfs of the free memory),
# RESTORE_FILE_MB (MiB per file, default 1), RESTORE_DIR (where the files go,
# default BENCH_TMPDIR: on tmpfs fsync costs next to nothing, so give a
# folder on a disk to measure the syncs), RESTORE_ROUNDS (default 3).
# Part 11: MANY_PROJECTS (default 5000), MANY_FOLDERS (default 3000),
# MANY_ROUNDS (default 3).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-bench}
jobs=${JOBS:-2}
rounds=${ROUNDS:-5}
scale=${SCALE:-1}

parts=" ${PARTS:-1 2 3 4 5 6 7 8 9 10 11 12 13} "
part() { [[ $parts == *" $1 "* ]]; }

# Part 9 builds a FUSE file system: its library must be there when CMake
# looks for it.
fuse_missing() { ! pkg-config --exists 'fuse3 >= 3.12' 2>/dev/null || ! command -v fusermount3 >/dev/null; }
if part 9 && fuse_missing && [[ $(id -u) == 0 ]] && command -v apt-get >/dev/null; then
  echo "installing fuse3 and libfuse3-dev for part 9"
  { apt-get install -y fuse3 libfuse3-dev pkg-config ||
    { apt-get update && apt-get install -y fuse3 libfuse3-dev pkg-config; }; } >/dev/null 2>&1 || true
fi

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
targets=(korvane-scan)
part 1 && targets+=(korvane_scan_bench)
part 2 && targets+=(korvane-bench-process)
part 3 && targets+=(korvane_path_resolver_bench)
part 4 && targets+=(korvane-bench-search)
part 5 && [[ $gui == ON ]] && targets+=(korvane-bench-dialog)
part 6 && targets+=(korvane_string_table_bench)
part 7 && targets+=(korvane-bench-search-scan)
part 8 && targets+=(korvane-bench-degenerate)
part 10 && targets+=(korvane-bench-restore)
part 11 && targets+=(korvane-bench-many-projects)
part 12 && targets+=(korvane-bench-catalogue)
part 13 && targets+=(korvane-bench-catalogue-lookup)
fuse_built=no
if part 9 && grep -q '^FUSE3_FOUND:INTERNAL=1$' "$build/CMakeCache.txt"; then
  fuse_built=yes
  targets+=(korvane-bench-latency korvane-latency-fs)
fi
cmake --build "$build" -j"$jobs" --target "${targets[@]}" >/dev/null
bin=$(cd "$build" && pwd)/bin

if [[ -z ${BENCH_TMPDIR:-} && -d /dev/shm && -w /dev/shm ]]; then
  BENCH_TMPDIR=/dev/shm
fi
export TMPDIR=${BENCH_TMPDIR:-${TMPDIR:-/tmp}}
# Neither the user's mappings nor a Wine prefix take part: every run sees the
# same, empty, configuration.
config=$(mktemp -d "$TMPDIR/korvane-bench-config-XXXXXX")
# Part 9's file system, when mounted: unmounted on the way out, however the
# script ends.
latency_src='' latency_mnt='' latency_pid=''
cleanup() {
  if [[ -n $latency_mnt ]]; then
    if mountpoint -q "$latency_mnt" 2>/dev/null; then
      fusermount3 -u "$latency_mnt" 2>/dev/null || fusermount3 -uz "$latency_mnt" 2>/dev/null || true
    fi
    rmdir "$latency_mnt" 2>/dev/null || true
  fi
  if [[ -n $latency_pid ]]; then
    kill "$latency_pid" 2>/dev/null || true
    wait "$latency_pid" 2>/dev/null || true
  fi
  [[ -n $latency_src ]] && rm -rf "$latency_src" "$latency_src.log"
  rm -rf "$config"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$config WINEPREFIX=$config/wine XDG_RUNTIME_DIR=$config

echo "== machine"
echo "$(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load average $(cut -d' ' -f1-3 /proc/loadavg); files in $TMPDIR ($(stat -f -c %T "$TMPDIR"))"

if part 1; then
  echo
  echo "== 1. the scan with the existence test replaced (goal: at least 500 MB/s of project data on one core)"
  # bytes_per_second is in binary units (1G = 2^30) and decimal_B/s in decimal
  # ones (the goal's 500 MB/s is 500M/s), both over CPU time.
  "$bin/korvane_scan_bench" --project_scale="$scale" --benchmark_repetitions="${REPETITIONS:-3}" \
    --benchmark_report_aggregates_only=true 2>&1 | grep -v '^\*\*\*WARNING\*\*\* Library was built as DEBUG'
fi

if part 2; then
  echo
  echo "== 2. korvane-scan as a whole process against cat + one stat per distinct path"
  "$bin/korvane-bench-process" --scan "$bin/korvane-scan" --rounds "$rounds" --scale "$scale"
fi

if part 3; then
  echo
  echo "== 3. the path resolver: 100,000 mapped names over 1,000 folders against 100,000 stat calls"
  "$bin/korvane_path_resolver_bench" --benchmark_repetitions="${REPETITIONS:-3}" \
    --benchmark_enable_random_interleaving=true \
    --benchmark_min_time=0.3 2>&1 | grep -v '^\*\*\*WARNING\*\*\* Library was built as DEBUG'
fi

if part 4; then
  echo
  echo "== 4. the search: indexing a tree against find, matching missing paths against the index"
  "$bin/korvane-bench-search" --rounds "$rounds"
fi

if part 5 && [[ $gui == ON ]]; then
  echo
  echo "== 5. Process in the dialog (offscreen) against korvane-scan on the same project"
  QT_QPA_PLATFORM=offscreen "$bin/korvane-bench-dialog" --scan "$bin/korvane-scan" --rounds "$rounds" --scale "$scale"
elif part 5; then
  echo
  echo "== 5. the dialog's benchmark is left out: the dialog is not built (Qt 6 not found)"
fi

if part 6; then
  echo
  echo "== 6. StringTable against std::unordered_map<std::string, std::uint32_t> with transparent look-up"
  "$bin/korvane_string_table_bench" --benchmark_repetitions="${REPETITIONS:-3}" \
    --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true 2>&1 |
    grep -v '^\*\*\*WARNING\*\*\* Library was built as DEBUG'
fi

if part 7; then
  echo
  echo "== 7. korvane-scan --search, and --search --json: 20,000 missing files, each name in 100 folders of 200,000 files"
  "$bin/korvane-bench-search-scan" --scan "$bin/korvane-scan" --rounds "${SEARCH_ROUNDS:-3}"
fi

if part 8; then
  echo
  echo "== 8. korvane-scan on projects of nothing but empty entries: 1 GiB sparse files (goal: under 5 s each)"
  "$bin/korvane-bench-degenerate" --scan "$bin/korvane-scan" --rounds "${DEGENERATE_ROUNDS:-3}"
fi

# Why part 9 cannot run here, or nothing when it can.
latency_obstacle() {
  if [[ $fuse_built != yes ]]; then
    echo "libfuse3 (3.12 or later) was not found, so korvane-latency-fs is not built: install fuse3 and libfuse3-dev"
  elif ! command -v fusermount3 >/dev/null; then
    echo "fusermount3 is missing: install fuse3"
  elif [[ ! -c /dev/fuse ]] || ! (exec 9<>/dev/fuse) 2>/dev/null; then
    echo "/dev/fuse cannot be opened for reading and writing here (a container without it, or not allowed to)"
  fi
}

# Mounts korvane-latency-fs over a new, empty source folder; says why and
# returns 1 when it does not come up within ten seconds.
mount_latency_fs() {
  latency_src=$(mktemp -d "$TMPDIR/korvane-latency-src-XXXXXX")
  latency_mnt=$(mktemp -d "$TMPDIR/korvane-latency-mnt-XXXXXX")
  # The file system answers on time even while the machine is busy when its
  # threads may run first (root only; without that it runs as it is).
  local realtime=()
  chrt -f 10 true 2>/dev/null && realtime=(chrt -f 10)
  "${realtime[@]}" "$bin/korvane-latency-fs" --delay-ms "$delay" "$latency_src" "$latency_mnt" \
    2>"$latency_src.log" &
  latency_pid=$!
  for _ in $(seq 100); do
    mountpoint -q "$latency_mnt" && return 0
    kill -0 "$latency_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "korvane-latency-fs did not mount: $(cat "$latency_src.log")"
  kill "$latency_pid" 2>/dev/null || true
  return 1
}

if part 9; then
  delay=${LATENCY_DELAY_MS:-2}
  echo
  echo "== 9. korvane-scan where every lookup, getattr, open and readdir costs $delay ms (goals: 20x, at least 8x)"
  obstacle=$(latency_obstacle)
  if [[ -n $obstacle ]]; then
    echo "left out: $obstacle"
  elif mount_latency_fs; then
    stat "$latency_mnt" >/dev/null # returns once the file system has started and said how
    sed 's/^korvane-latency-fs: /file system: /' "$latency_src.log"
    "$bin/korvane-bench-latency" --scan "$bin/korvane-scan" --source "$latency_src" --mount "$latency_mnt" \
      --delay-ms "$delay" --rounds "${LATENCY_ROUNDS:-3}" --search-rounds "${LATENCY_SEARCH_ROUNDS:-1}" \
      --folders "${LATENCY_FOLDERS:-10000}" --parts "${LATENCY_PARTS:-123}"
  else
    echo "left out: the file system could not be mounted"
  fi
fi

if part 10; then
  echo
  echo "== 10. korvane-scan --restore --apply --copy against cp -r (+ sync -f) of the same files (goal: within 1.2x)"
  restore_args=(--rounds "${RESTORE_ROUNDS:-3}" --file-mb "${RESTORE_FILE_MB:-1}")
  [[ -n ${RESTORE_FILES:-} ]] && restore_args+=(--files "$RESTORE_FILES")
  [[ -n ${RESTORE_DIR:-} ]] && restore_args+=(--folder "$RESTORE_DIR")
  "$bin/korvane-bench-restore" --scan "$bin/korvane-scan" "${restore_args[@]}"
fi

if part 11; then
  echo
  echo "== 11. korvane-scan --search over many small projects in one run (goals: (many - scans) / one at most 3, --json / text at most 1.2)"
  "$bin/korvane-bench-many-projects" --scan "$bin/korvane-scan" --projects "${MANY_PROJECTS:-5000}" \
    --folders "${MANY_FOLDERS:-3000}" --rounds "${MANY_ROUNDS:-3}"
fi

if part 12; then
  echo
  echo "== 12. cataloguing against find (goal: within 1.5x), fingerprints against reading the same pieces"
  "$bin/korvane-bench-catalogue" --rounds "${CATALOGUE_ROUNDS:-3}" --files "${CATALOGUE_FILES:-1000000}" \
    --disk "${CATALOGUE_DISK:-/var/tmp}"
fi

if part 13; then
  echo
  echo "== 13. the catalogue at scale (goals: 150 bytes a file, 20,000 look-ups under 0.2 s, remembering within 1.5x)"
  lookup_args=(--scan "$bin/korvane-scan" --rounds "${LOOKUP_ROUNDS:-5}" --files "${LOOKUP_FILES:-10000000}")
  [[ -n ${LOOKUP_CATALOGUE:-} ]] && lookup_args+=(--catalogue "$LOOKUP_CATALOGUE")
  "$bin/korvane-bench-catalogue-lookup" "${lookup_args[@]}"
fi

#!/usr/bin/env bash
# The size limits of the hand-written sources: no file over 500 lines and no
# function over 80 (tests and generated files aside). Files are counted
# here; functions are measured by clang-tidy's readability-function-size
# over the compile commands of a build (default build/, or BUILD_DIR).
#
# The folders held to the limits; the dialog's tests (ui/tests/) aside.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
folders=(text fs catalogue report scanner paths search restore run cli ui bench fuzz)

status=0
while read -r lines file; do
  if [[ $file != total && $lines -gt 500 ]]; then
    echo "$file: $lines lines (at most 500)"
    status=1
  fi
done < <(find "${folders[@]}" -path '*/tests/*' -prune -o \( -name '*.h' -o -name '*.cpp' \) -print | sort | xargs wc -l)

if [[ ! -f $build/compile_commands.json ]]; then
  echo "no $build/compile_commands.json: configure with a preset (they export it) first" >&2
  exit 1
fi
pattern=$(printf '%s/|' "${folders[@]}")
mapfile -t sources < <(python3 - "$build/compile_commands.json" "$PWD/(${pattern%|})" <<'PYTHON'
import json, re, sys
commands = json.load(open(sys.argv[1]))
print("\n".join(sorted({c["file"] for c in commands if re.match(sys.argv[2], c["file"]) and "/tests/" not in c["file"]})))
PYTHON
)
config='{CheckOptions: [{key: readability-function-size.LineThreshold, value: 80}]}'
report=$(printf '%s\n' "${sources[@]}" | xargs -P "$(nproc)" -n 8 clang-tidy -p "$build" --quiet \
  -checks='-*,readability-function-size' -config="$config" 2>/dev/null | grep -A1 'readability-function-size' || true)
if [[ -n $report ]]; then
  echo "$report"
  status=1
fi
[[ $status == 0 ]] && echo "sizes: every file at most 500 lines, every function at most 80 (${#sources[@]} sources)"
exit $status

#!/usr/bin/env bash
# Drives korvane-scan's bash completion as bash does on Tab:
#   completion_test.sh COMPLETION_FILE KORVANE_SCAN
# Each line is split into COMP_WORDS the way bash splits it (blanks, and runs
# of the COMP_WORDBREAKS characters ':' and '=' as words of their own), and
# COMPREPLY, sorted, is compared with what is expected. Exit 77: no
# bash-completion to test with.
set -uo pipefail
completion=$1 scan=$2
framework=/usr/share/bash-completion/bash_completion
if [[ ! -r $framework ]]; then
  echo "skipped: $framework not installed (package bash-completion)"
  exit 77
fi
# bash_completion reads its own settings from an interactive shell's state.
set +u
# shellcheck source=/dev/null
source "$framework"
# shellcheck source=/dev/null
source "$completion"
set -u
# Outside a real Tab, compopt has no completion to set options of.
compopt() { :; }

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/sub" "$dir/second" "$dir/other.dvc.d"
touch "$dir/a.dvc" "$dir/B.DVC" "$dir/c.Dvc" "$dir/notes.txt" "$dir/sub/inner.dvc" "$dir/solo"

failures=0
# complete LINE: sets COMPREPLY for LINE, completed at its end.
complete_line()
{
  local line=$1 word
  COMP_WORDS=()
  for word in $line; do
    while [[ $word =~ ^([^:=]*)([:=]+)(.*)$ ]]; do
      [[ ${BASH_REMATCH[1]} ]] && COMP_WORDS+=("${BASH_REMATCH[1]}")
      COMP_WORDS+=("${BASH_REMATCH[2]}")
      word=${BASH_REMATCH[3]}
    done
    [[ $word ]] && COMP_WORDS+=("$word")
  done
  # A line ending in a blank completes a new, empty word.
  [[ $line == *' ' ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE=$line
  COMP_POINT=${#line}
  COMPREPLY=()
  _korvane_scan korvane-scan "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
}

# expect LINE WANTED...: the completion of LINE is exactly WANTED (any order).
expect()
{
  local line=$1
  shift
  complete_line "$line"
  local got wanted
  got=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort)
  wanted=$( (($#)) && printf '%s\n' "$@" | LC_ALL=C sort)
  if [[ $got != "$wanted" ]]; then
    printf 'FAIL: "%s"\n  expected: %s\n  got:      %s\n' "$line" "${wanted//$'\n'/ }" "${got//$'\n'/ }"
    failures=$((failures + 1))
  fi
}

# Every option of --help, and nothing else.
mapfile -t options < <("$scan" --help | grep -oE -- '--[a-z][a-z0-9-]*' | LC_ALL=C sort -u)
if ((${#options[@]} < 10)); then
  echo "FAIL: could not read the options from $scan --help"
  exit 1
fi
expect "korvane-scan --" "${options[@]}"
expect "korvane-scan a.dvc --se" --search

# FILE: projects in any case of .dvc, and folders; nothing else.
expect "korvane-scan $dir/" "$dir/a.dvc" "$dir/B.DVC" "$dir/c.Dvc" "$dir/sub" "$dir/second" "$dir/other.dvc.d"
expect "korvane-scan --json $dir/s" "$dir/sub" "$dir/second"
# --search and --undo's neighbours: folders only after --search.
expect "korvane-scan --search $dir/" "$dir/sub" "$dir/second" "$dir/other.dvc.d"
expect "korvane-scan --search=$dir/su" "$dir/sub"
# After --catalogue every name is a folder; --forget takes a folder on a disk.
expect "korvane-scan --catalogue $dir/sub $dir/" "$dir/sub" "$dir/second" "$dir/other.dvc.d"
expect "korvane-scan --forget $dir/s" "$dir/sub" "$dir/second"

# --map: drive roots in the case typed, then folders after '='; what
# readline keeps before the last ':' or '=' is not repeated.
mapfile -t drives < <(printf '%s:=\n' {A..Z})
expect "korvane-scan --map " "${drives[@]}"
expect "korvane-scan --map d" "d:="
expect "korvane-scan --map D:=$dir/s" "$dir/sub/" "$dir/second/"
expect "korvane-scan --map=D:=$dir/su" "$dir/sub/"
expect "korvane-scan --map d:\\Video=$dir/se" "$dir/second/"

# --codepage: the names in any case; the numbers take no completion.
expect "korvane-scan --codepage a" auto
expect "korvane-scan --codepage sj" SJIS
expect "korvane-scan --codepage cp9" CP932 CP936 CP949 CP950
expect "korvane-scan --codepage windows-1252" WINDOWS-1252
expect "korvane-scan --jobs "
expect "korvane-scan --candidates "

((failures == 0)) || exit 1
echo "all completions as expected"

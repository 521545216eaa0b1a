#!/usr/bin/env bash
# The man pages render without a warning, and each documents every option
# its program's --help lists:
#   man_test.sh PAGE.1 PROGRAM [PAGE.1 PROGRAM]...
# Exit 77: groff is not installed.
set -uo pipefail
if ! command -v groff >/dev/null; then
  echo "skipped: groff not installed"
  exit 77
fi
failures=0
while (($# >= 2)); do
  page=$1 program=$2
  shift 2
  warnings=$(groff -ww -man -z "$page" 2>&1)
  if command -v man >/dev/null; then
    warnings+=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 "$page" 2>&1 >/dev/null)
  fi
  if [[ $warnings ]]; then
    printf 'FAIL: %s renders with warnings:\n%s\n' "$page" "$warnings"
    failures=$((failures + 1))
  fi
  # In roff an option's dashes are written \-\- .
  source_text=$(<"$page")
  while read -r option; do
    if [[ $source_text != *"${option//-/\\-}"* ]]; then
      echo "FAIL: $page does not document $option"
      failures=$((failures + 1))
    fi
  done < <("$program" --help | grep -oE -- '--[a-z][a-z0-9-]*' | sort -u)
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS '"EXIT STATUS"' ENVIRONMENT FILES EXAMPLES '"SEE ALSO"'; do
    if ! grep -qx ".SH $section" "$page"; then
      echo "FAIL: $page has no section $section"
      failures=$((failures + 1))
    fi
  done
done
((failures == 0)) || exit 1
echo "man pages render cleanly and document every option"

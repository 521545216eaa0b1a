#!/usr/bin/env bash
# Checks the Debian package that `cpack -G DEB` made in build/:
#  1. lintian: fails on an error, prints every other tag;
#  2. the AppStream metadata and the desktop entry, as packaged, validate;
#  3. as root: installs it with apt-get (and what it depends on that is
#     missing), runs the installed korvane-scan (--version, the sample
#     project, its man page and completion), removes it, and checks that
#     nothing of it is left. The machine is left as it was, also when a check
#     fails: what was installed is removed again.
# Usage: scripts/package-check.sh [PACKAGE.deb]
set -euo pipefail
cd "$(dirname "$0")/.."

deb=${1:-}
if [[ -z $deb ]]; then
  debs=(build/korvane_*.deb)
  if [[ ! -e ${debs[0]} ]]; then
    echo "package-check: no build/korvane_*.deb: run 'cpack -G DEB' in build/ first" >&2
    exit 2
  fi
  deb=${debs[-1]}
fi
deb=$(realpath "$deb")
package=$(dpkg-deb -f "$deb" Package)
version=$(dpkg-deb -f "$deb" Version)
echo "== $package $version: $deb"

fail()
{
  echo "package-check: FAILED: $*" >&2
  exit 1
}

work=$(mktemp -d)
# The packages installed now, one "name:arch" a line.
installed_packages()
{
  dpkg-query -W -f='${db:Status-Abbrev} ${Package}:${Architecture}\n' | awk '$1 == "ii" {print $2}' | sort
}
# On the way out, whatever the outcome, every package that was not installed
# before the check (the package and what it pulled in) is removed again.
cleanup()
{
  local status=$? added=()
  if [[ -f $work/before ]]; then
    mapfile -t added < <(installed_packages | comm -13 "$work/before" -)
    if ((${#added[@]})); then
      echo "-- removing what the check installed: ${added[*]}"
      DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "${added[@]}" >/dev/null ||
        echo "package-check: could not remove ${added[*]}" >&2
    fi
  fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT

echo "-- lintian"
# Errors fail the check; warnings and the rest are printed for the README's list.
lintian_status=0
lintian --fail-on error --display-info "$deb" 2>&1 | grep -v '^running with root privileges' | tee "$work/lintian.txt" ||
  lintian_status=${PIPESTATUS[0]}
((lintian_status == 0)) || fail "lintian reports errors"
[[ -s $work/lintian.txt ]] || echo "(no tags)"

echo "-- AppStream metadata and desktop entry"
dpkg-deb -x "$deb" "$work/root"
metainfo=("$work"/root/usr/share/metainfo/*.metainfo.xml)
desktop=("$work"/root/usr/share/applications/*.desktop)
[[ -f ${metainfo[0]} ]] || fail "no AppStream metadata in usr/share/metainfo"
[[ -f ${desktop[0]} ]] || fail "no desktop entry in usr/share/applications"
appstreamcli validate --no-net "${metainfo[@]}"
desktop-file-validate "${desktop[@]}"
id=$(sed -n 's|.*<id>\(.*\)</id>.*|\1|p' "${metainfo[0]}")
[[ $(basename "${desktop[0]}") == "$id.desktop" ]] || fail "the desktop entry is not named $id.desktop"

echo "-- contents"
# Only the programs, their data and documentation: no test, benchmark or build tool.
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$' >"$work/contents"
unexpected=$(grep -vE '^/usr/(bin/(korvane|korvane-scan)|share/(applications|bash-completion/completions|doc/korvane|icons/hicolor|locale|man/man1|metainfo|mime/packages|korvane)/.)' "$work/contents" || true)
[[ -z $unexpected ]] || fail "unexpected files in the package: $unexpected"
bad_mode=$(dpkg-deb -c "$deb" | awk '$1 !~ /^(drwxr-xr-x|-rw-r--r--|-rwxr-xr-x)$/ || $2 != "root/root"')
[[ -z $bad_mode ]] || fail "files not 0755/0644 root: $bad_mode"

if ((EUID != 0)); then
  echo "-- install, run and remove: skipped (needs root)"
  exit 0
fi
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
  echo "-- install, run and remove: skipped ($package is already installed here; it is left as it is)"
  exit 0
fi

echo "-- install"
installed_packages >"$work/before"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >/dev/null
echo "installed: $(installed_packages | comm -13 "$work/before" - | tr '\n' ' ')"

echo "-- the installed programs"
[[ $(command -v korvane-scan) == /usr/bin/korvane-scan ]] || fail "korvane-scan is not /usr/bin/korvane-scan"
/usr/bin/korvane-scan --version | tee "$work/version"
head -1 "$work/version" | grep -qx "korvane-scan $version" || fail "--version does not say $version"
[[ $(man -w korvane-scan) == /usr/share/man/man1/korvane-scan.1.gz ]] || fail "man -w korvane-scan"
[[ $(man -w korvane) == /usr/share/man/man1/korvane.1.gz ]] || fail "man -w korvane"
# Its own settings: nothing of this machine's user decides what is found.
scan_status=0
HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_STATE_HOME=$work/home/.state WINEPREFIX=$work/no-wine \
  /usr/bin/korvane-scan samples/wedding.dvc >"$work/report" 2>"$work/warnings" || scan_status=$?
((scan_status == 1)) || fail "korvane-scan samples/wedding.dvc exited $scan_status, not 1 (something missing)"
grep -q $'^\\[MainAV\\]\r$' "$work/report" || fail "the report of samples/wedding.dvc has no [MainAV] heading"
echo "samples/wedding.dvc: exit 1, $(grep -vc '^\[' "$work/report") missing paths"
# shellcheck disable=SC2016
bash -c 'source /usr/share/bash-completion/bash_completion && __load_completion korvane-scan &&
  complete -p korvane-scan' >/dev/null || fail "bash does not load the completion of korvane-scan"
/usr/bin/korvane --version >/dev/null || fail "korvane --version"
if locale -a 2>/dev/null | grep -qix 'ja_JP.utf-\?8'; then
  env -u LC_ALL -u LANGUAGE LANG=ja_JP.UTF-8 /usr/bin/korvane-scan --help | head -1 | grep -q '^使い方: korvane-scan' ||
    fail "the installed korvane-scan does not speak Japanese under ja_JP.UTF-8"
fi

echo "-- remove"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq "$package" >/dev/null
left=()
while read -r path; do
  [[ -n $path && ! -d $path && ( -e $path || -L $path ) ]] && left+=("$path")
done <"$work/contents"
((${#left[@]} == 0)) || fail "left after removal: ${left[*]}"
status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null || true)
[[ -z $status || $status == un* ]] || fail "dpkg still knows $package: $status"
echo "removed: no file of $package is left"
echo "== package check passed"

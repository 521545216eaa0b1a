#!/usr/bin/env bash
# Installs the Debian 12 packages that are missing (as root), then configures
# and builds everything into build/ (binaries in build/bin/) with the
# `default` preset of CMakePresets.json.
# Extra CMake arguments: KORVANE_CMAKE_ARGS="-DKORVANE_BUILD_GUI=OFF" scripts/setup.sh
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  build-essential cmake pkg-config         # compiler and build
  googletest libgtest-dev libgmock-dev     # tests
  libbenchmark-dev                         # benchmarks
  libutf8proc-dev                          # Unicode normalization and case folding
  nlohmann-json3-dev                       # the tests read the --json document with it
  libssl-dev                               # SHA-256 of put-back copies (libcrypto)
  libsqlite3-dev libsqlitecpp-dev          # the catalogue of disks and media (SQLite, its C++ wrapper)
  clang libclang-rt-14-dev                 # fuzzing and sanitizers
  clang-tidy                               # the size of every function (scripts/check-sizes.sh)
  qt6-base-dev libgl-dev                   # the dialog
  fonts-ipafont-gothic                     # its Japanese proportional Gothic font
  qt6-l10n-tools gettext                   # the catalogues: lrelease, lupdate, msgfmt, xgettext
  qt6-translations-l10n                    # Qt's own Japanese (standard buttons)
  locales                                  # ja_JP.UTF-8 for the tests of the Japanese texts
  xvfb xauth                               # a display for looking at the dialog
  dpkg-dev file                            # the Debian package (cpack -G DEB, shlibdeps)
  lintian appstream desktop-file-utils     # its checks (scripts/package-check.sh)
  man-db bash-completion                   # the man pages' and the completion's tests
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The Japanese locale the tests run under, generated once.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8'; then
  sed -i 's/^# *\(ja_JP\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -qx 'ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi

# shellcheck disable=SC2086
cmake --preset default ${KORVANE_CMAKE_ARGS:-} >/dev/null
cmake --build --preset default -j"$(nproc)"

#!/usr/bin/env bash
# Takes the README's screenshots of the dialog into docs/screenshots/ (or the
# folder given): builds the screenshot program with the `default` preset and
# runs it on a virtual X display (xvfb-run), where the dialogs get their
# Japanese proportional Gothic font, IPAPGothic (fonts-ipafont-gothic).
# Packages: xvfb xauth fonts-ipafont-gothic (see scripts/setup.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshots}

if ! fc-list : family | grep -qx 'IPAPGothic\(,.*\)\?'; then
  echo "screenshots.sh: the IPAPGothic font is missing (apt-get install fonts-ipafont-gothic)" >&2
  exit 1
fi
cmake --preset default >/dev/null
cmake --build --preset default -j2 --target korvane-ui-screenshots
mkdir -p "$out"
# From the repository's root, where the sample project finds its media.
# In English, then in Japanese (ja-*.png; the ja_JP.UTF-8 locale, see scripts/setup.sh).
LC_ALL=C.UTF-8 QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/korvane-ui-screenshots "$out"
env -u LC_ALL -u LANGUAGE LANG=ja_JP.UTF-8 QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/korvane-ui-screenshots "$out"
ls -l "$out"/*.png

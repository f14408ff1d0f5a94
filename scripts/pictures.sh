#!/usr/bin/env bash
# Draws Ambrel's windows offscreen into PNG files in pictures/ (or the folder
# given), on a 1024 x 768 screen at 96 dpi or at the resolution given second
# (144 draws them as a desktop set to 144 dpi shows them: scaled by 1.5).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-pictures}
dpi=${2:-96}
case $dpi in
  ''|*[!0-9]*) echo "usage: $0 [FOLDER [DPI]]" >&2; exit 2 ;;
esac
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target ambrel_pictures
screen=$(mktemp --suffix=.json)
trap 'rm -f "$screen"' EXIT
printf '{"screens": [{"name": "screen", "x": 0, "y": 0, "width": 1024, "height": 768, "logicalDpi": %d, "logicalBaseDpi": 96, "dpr": 1}]}\n' "$dpi" >"$screen"
QT_QPA_PLATFORM="offscreen:configfile=$screen" build/bin/ambrel_pictures "$out"

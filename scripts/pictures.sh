#!/usr/bin/env bash
# Draws Ambrel's windows offscreen into PNG files in pictures/ (or the folder given).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-pictures}
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target ambrel_pictures
QT_QPA_PLATFORM=offscreen build/bin/ambrel_pictures "$out"

#!/usr/bin/env bash
# Redraws docs/window-collapsed.png and docs/window-expanded.png: the window
# under Xvfb, collapsed at start-up and expanded after a run on a copy of
# samples/router.bin. Builds its own tool (scripts/WindowShots.cpp) in the
# build folder (default build, configured with the tests); needs xvfb-run.
set -euo pipefail
build=${1:-build}
cmake --build "$build" --target kestrune_window_shots
mkdir -p docs
QT_QPA_PLATFORM=xcb KESTRUNE_SOURCE_DIR="$PWD" \
    xvfb-run -a -s "-screen 0 800x600x24" "$build/scripts/kestrune_window_shots" docs
ls -l docs/window-collapsed.png docs/window-expanded.png

#!/usr/bin/env bash
# Redraws docs/window-collapsed.png and docs/window-expanded.png: the window
# under Xvfb, collapsed at start-up and expanded after a run on a copy of
# samples/router.bin. Needs a build with the tests (make build) and xvfb-run.
set -euo pipefail
build=${1:-build}
mkdir -p docs
QT_QPA_PLATFORM=xcb KESTRUNE_SOURCE_DIR="$PWD" \
    xvfb-run -a -s "-screen 0 800x600x24" "$build/tests/app/window/kestrune_window_shots" docs
ls -l docs/window-collapsed.png docs/window-expanded.png

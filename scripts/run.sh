#!/usr/bin/env bash
# The main job of `make run`: the window, started from the build folder with
# the sample fixes beside it. Without a display it says so and shows the
# command line's fix run on a copy of the sample container instead.
set -euo pipefail
build=${1:-build}
window="$build/src/app/window/kestrune"
cli="$build/src/cli/kestrune-cli"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp samples/router.bin "$work/router.bin"

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
    if [[ -x "$window" ]]; then
        echo "== kestrune (the window)"
        echo "A copy of the sample configuration to fix: $work/router.bin"
        "$window"
        echo
        echo "== the folder afterwards"
        ls -l "$work"
        exit 0
    fi
    echo "The window is not built (configured with -DKESTRUNE_BUILD_GUI=OFF); running the command-line demo instead."
else
    echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set), so the window cannot open;"
    echo "running the command-line demo instead."
fi
echo

echo "== kestrune-cli list"
"$cli" list
echo
echo "== kestrune-cli fix router.bin (a copy of samples/router.bin)"
"$cli" fix "$work/router.bin"
echo
echo "== the folder afterwards"
ls -l "$work"
echo
echo "== kestrune-cli info router.bin"
"$cli" info "$work/router.bin"

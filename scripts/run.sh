#!/usr/bin/env bash
# The main job of `make run`: a fix run of kestrune-cli on a copy of the
# sample container, with the sample fixes that lie beside the program.
set -euo pipefail
build=${1:-build}
cli="$build/src/cli/kestrune-cli"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp samples/router.bin "$work/router.bin"
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

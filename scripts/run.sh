#!/usr/bin/env bash
# The main job of `make run`: until the fix run exists, show what the bundled
# sample container holds.
set -euo pipefail
build=${1:-build}
cli="$build/src/cli/kestrune-cli"
sample="$(dirname "$0")/../samples/router.bin"

echo "== kestrune-cli info samples/router.bin"
"$cli" info "$sample"
echo
echo "== kestrune-cli unpack samples/router.bin (first 20 lines)"
# Taken whole first, so that head stopping early cannot fail the command.
xml=$("$cli" unpack "$sample")
head -n 20 <<<"$xml"

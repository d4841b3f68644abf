#!/usr/bin/env bash
# The main job of `make run`.
set -euo pipefail
build=${1:-build}
cli="$build/src/cli/kestrune-cli"
"$cli" --help

#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Kestrune need.
# Quick when everything is present: it asks dpkg first and calls apt-get only
# for what is missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build make pkgconf
  zlib1g-dev liblz4-dev libpugixml-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-qpa-plugins fonts-dejavu-core
  clang libclang-rt-14-dev
  # the Debian package and its tests: cpack's dependency finder
  # (dpkg-shlibdeps, file), man for the pages, the completion's framework
  dpkg-dev file man-db bash-completion
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi
echo "setup: installing ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# Checks a built package with the Debian tools that are installed: lintian
# (any error fails), desktop-file-validate and appstreamcli. None of them is
# needed to build or test, so a missing one is named and skipped.
set -euo pipefail
deb=$1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work"

if command -v lintian > /dev/null; then
  echo "lintian:"
  lintian --display-info --fail-on error "$deb"
else
  echo "lintian is not installed: skipped (apt-get install lintian)"
fi
if command -v desktop-file-validate > /dev/null; then
  desktop-file-validate "$work"/usr/share/applications/*.desktop
  echo "desktop-file-validate: passed"
else
  echo "desktop-file-validate is not installed: skipped (apt-get install desktop-file-utils)"
fi
if command -v appstreamcli > /dev/null; then
  appstreamcli validate --no-net "$work"/usr/share/metainfo/*.metainfo.xml
else
  echo "appstreamcli is not installed: skipped (apt-get install appstream)"
fi

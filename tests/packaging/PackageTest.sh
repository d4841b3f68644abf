#!/usr/bin/env bash
# Builds the Debian package from a build tree, as make deb does, and checks
# its files and Depends. Usage: PackageTest.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cpack --config "$build/CPackConfig.cmake" -B "$work" > "$work/cpack.log" || { cat "$work/cpack.log"; exit 1; }
deb="$work/kestrune_${version}_$(dpkg --print-architecture).deb"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Every file and link, in the folders a Debian desktop tool uses.
expected='./usr/bin/kestrune -> ../lib/kestrune/kestrune
./usr/bin/kestrune-cli -> ../lib/kestrune/kestrune-cli
./usr/lib/kestrune/firewall_hardening.fix
./usr/lib/kestrune/fix.wep
./usr/lib/kestrune/fix_ntp.txt
./usr/lib/kestrune/fix_services_off.txt
./usr/lib/kestrune/kestrune
./usr/lib/kestrune/kestrune-cli
./usr/lib/kestrune/public_dns.fix
./usr/lib/kestrune/remote_admin_off.fix
./usr/share/applications/kestrune.desktop
./usr/share/bash-completion/completions/kestrune-cli
./usr/share/doc/kestrune/changelog.gz
./usr/share/doc/kestrune/copyright
./usr/share/icons/hicolor/64x64/apps/kestrune.png
./usr/share/man/man1/kestrune-cli.1.gz
./usr/share/man/man1/kestrune.1.gz
./usr/share/metainfo/org.kestrune.kestrune.metainfo.xml'
files=$(dpkg-deb -c "$deb" | grep -v '^d' | sed 's/^.*[0-9][0-9]:[0-9][0-9] //' | sort)
[[ $files == "$expected" ]] || fail "file list differs:"$'\n'"$(diff <(echo "$expected") <(echo "$files"))"

# Depends comes from dpkg-shlibdeps: the libraries the window loads.
depends=$(dpkg-deb -f "$deb" Depends)
for package in libc6 libqt6core6 libqt6widgets6 libstdc++6; do
  [[ ", $depends," == *", $package ("* ]] || fail "Depends lacks $package: $depends"
done

echo "$failures failed"
((failures == 0))

#!/usr/bin/env bash
# Makes the .deb from a build, unpacks it into a temporary folder (dpkg -x)
# and runs the programs it installs.
set -euo pipefail
build=$1
work=$(mktemp -d /tmp/liaison-package-XXXXXX)
trap 'rm -rf "$work"' EXIT
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/*.deb)
dpkg -x "$deb" "$work/root"
"$work/root/usr/bin/liaison" --help | grep -q "LIAISON_PORT="
"$work/root/usr/bin/liaison-texte" --help | grep -q "lire FICHIER"
test -s "$work/root/usr/share/doc/liaison/LISEZMOI.md"
test -s "$work/root/usr/share/doc/liaison/README.md"
dpkg-deb --field "$deb" Package Version Depends
echo "$(basename "$deb"): liaison --help and liaison-texte --help run from the unpacked package"

#!/usr/bin/env bash
# Makes the .deb from a build, checks it with lintian, unpacks it into a
# temporary folder (dpkg -x) and runs the programs and reads the manual pages
# it installs.
set -euo pipefail
build=$1
work=$(mktemp -d /tmp/liaison-package-XXXXXX)
trap 'rm -rf "$work"' EXIT
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/*.deb)

# No error and no warning from lintian (its informational tags are French
# words it takes for English misspellings).
lintian --allow-root "$deb" >"$work/lintian.log" 2>&1 || true
if grep -E '^[EW]: ' "$work/lintian.log"; then
  echo "lintian finds errors or warnings in $(basename "$deb")"
  exit 1
fi

dpkg -x "$deb" "$work/root"
version=$(dpkg-deb --field "$deb" Version)
# Each output is taken whole before it is searched: "grep -q" quits at the
# first match, and under pipefail the writer's SIGPIPE would fail the test.
has() { grep -q -- "$2" <<<"$1"; }
has "$("$work/root/usr/bin/liaison" --help)" "LIAISON_PORT="
has "$("$work/root/usr/bin/liaison-texte" --help)" "lire FICHIER"
test "$("$work/root/usr/bin/liaison" --version | head -n 1)" = "liaison $version"
test "$("$work/root/usr/bin/liaison-texte" --version | head -n 1)" = "liaison-texte $version"
for f in LISEZMOI.md README.md LICENSE NOTICE copyright changelog.gz; do
  test -s "$work/root/usr/share/doc/liaison/$f"
done
for product in 6101 6102 6103; do
  grep -q "ATTRS{idVendor}==\"07cf\", ATTRS{idProduct}==\"$product\".*uaccess" \
    "$work/root/usr/lib/udev/rules.d/60-liaison-casio.rules"
done
# Every command, option and status in the manual pages.
page() { MANWIDTH=200 man -l "$work/root/usr/share/man/man1/$1.1.gz" 2>/dev/null; }
liaison_page=$(page liaison)
texte_page=$(page liaison-texte)
for word in recevoir envoyer ecran --attente --remplacer --garder --nom --echelle --nombre \
  --ascii --ports --version LIAISON_PORT LIAISON_TRACE "Statut de sortie" 255 \
  AAAAMMJJ-HHMMSS.cas NOM.cat ecran-001.png info liste recuperer sauvegarder supprimer optimiser \
  --stockage --memoire --protocole --vitesse --prudent 128+N AAAAMMJJ-HHMMSS.g1m \
  --fenetre --sans-ejecter LIAISON_DISQUE @MainMem; do
  has "$liaison_page" "$word" || { echo "liaison.1 lacks $word"; exit 1; }
done
for word in lire ecrire convertir --ascii --version "Statut de sortie" .g1m; do
  has "$texte_page" "$word" || { echo "liaison-texte.1 lacks $word"; exit 1; }
done
dpkg-deb --field "$deb" Package Version Depends
echo "$(basename "$deb"): lintian clean; programs, versions and manual pages as built"

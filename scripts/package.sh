#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian source and binary packages (dpkg-buildpackage -S, then -b) from a copy of
# the working tree in a temporary folder, so the tree itself stays clean, and fails on any
# compiler or CMake warning, on any lintian error or warning, and when the packaged program
# does not start. The package is checked unpacked (dpkg-deb -x), never installed. The .deb
# files, the build log and the lintian report are kept in $BUILD_DIR/package.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${BUILD_DIR:-build}/package
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -rf "$out"
mkdir -p "$out" "$work/pelmora" "$work/root"
start=$SECONDS

# Tracked and new files as they stand in the working tree; files deleted there are left out.
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
  tar --null --no-recursion -T - -cf - | tar -xf - -C "$work/pelmora"

# The source package first (from the clean copy), then the binary one; lintian checks both.
if ! (cd "$work/pelmora" && dpkg-buildpackage -us -uc -S &&
  DEB_BUILD_OPTIONS="parallel=$(nproc)" dpkg-buildpackage -us -uc -b) \
  >"$out/build.log" 2>&1; then
  tail -n 40 "$out/build.log"
  echo "package: dpkg-buildpackage failed (log: $out/build.log)" >&2
  exit 1
fi
if grep -nE 'warning:|CMake Warning' "$out/build.log"; then
  echo "package: the package build printed the warnings above" >&2
  exit 1
fi
cp "$work"/*.deb "$work"/*.changes "$work"/*.dsc "$out"/

# Informational tags are printed (and explained) but do not fail the check.
lintian_status=0
lintian --info --display-info --fail-on error,warning "$work"/pelmora_*.changes \
  >"$out/lintian.txt" 2>&1 || lintian_status=$?
grep -E '^[EWIP]: ' "$out/lintian.txt" || true
if [ "$lintian_status" -ne 0 ]; then
  echo "package: lintian reports errors or warnings (report: $out/lintian.txt)" >&2
  exit 1
fi

# The unpacked files start and carry the changelog's version, and the files the desktop and
# software centres read are there and valid.
root=$work/root
dpkg-deb -x "$(ls "$work"/pelmora_*.deb)" "$root"
version=$(dpkg-parsechangelog -l "$work/pelmora/debian/changelog" -S Version)
reported=$("$root/usr/bin/pelmora" --version)
if [ "$reported" != "pelmora $version" ]; then
  echo "package: pelmora --version printed '$reported', the package is $version" >&2
  exit 1
fi
for size in 48 64 128 256; do
  png=$root/usr/share/icons/hicolor/${size}x${size}/apps/pelmora.png
  file "$png" | grep -q "PNG image data, $size x $size," ||
    { echo "package: no ${size}x${size} PNG icon in the package" >&2; exit 1; }
done
for f in usr/share/icons/hicolor/scalable/apps/pelmora.svg usr/share/pelmora/pelmora.qhc \
  usr/share/pelmora/pelmora.qch usr/share/man/man1/pelmora.1.gz usr/share/man/ja/man1/pelmora.1.gz; do
  [ -s "$root/$f" ] || { echo "package: $f is missing from the package" >&2; exit 1; }
done
hints=$(desktop-file-validate "$root/usr/share/applications/pelmora.desktop" 2>&1)
if [ -n "$hints" ]; then
  printf '%s\n' "$hints" >&2
  exit 1
fi
appstreamcli validate --no-net "$root/usr/share/metainfo/org.pelmora.Pelmora.metainfo.xml"
echo "package: $(basename "$(ls "$out"/pelmora_*.deb)") built and checked in $((SECONDS - start)) s"

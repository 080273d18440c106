#!/usr/bin/env bash
# Installs the Debian 12 packages Pelmora needs to build, run and test.
# Usage: scripts/install-deps.sh [--test]   (root, or a user allowed to sudo)
set -euo pipefail
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

packages=(
  # build
  cmake g++ make pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools libgl-dev
  libpoppler-qt6-dev libcups2-dev
  # run: window system plugins, Japanese fonts, the preview converter, the printer
  qt6-qpa-plugins fonts-ipafont-gothic fonts-noto-cjk
  libreoffice-calc-nogui libreoffice-writer-nogui
  cups-client
)
if [ "${1:-}" = "--test" ]; then
  packages+=(
    # independent LZH readers and the reference writer, the scan references
    lhasa libarchive-tools p7zip-full jlha-utils bfs findutils
    # a real print server with a PDF printer, and a PDF reader for its output
    cups cups-filters printer-driver-cups-pdf poppler-utils
    # lint
    clang-format clang-tidy
  )
fi

export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${packages[@]}"

#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages Pelmora needs to build, run and test.
# Usage: scripts/install-deps.sh [--test]   (root, or a user allowed to sudo)
set -euo pipefail
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "root 権限も sudo もありません。root で実行してください。" >&2
    echo "Neither root nor sudo is available: run this script as root." >&2
    exit 1
  fi
  sudo_cmd=(sudo)
fi

# LibreOffice: the desktop build when it or a desktop is already there, the headless one
# otherwise; an installed variant is kept, as the two cannot be installed side by side.
installed() {
  local status
  status=$(dpkg-query -W -f='${Status}\n' "$@" 2>/dev/null || true)
  grep -q '^install ok installed' <<<"$status"
}
office=(libreoffice-calc-nogui libreoffice-writer-nogui)
if ! installed libreoffice-core-nogui &&
  { installed libreoffice-core || installed xserver-xorg-core xwayland ||
    [ -n "${XDG_CURRENT_DESKTOP:-}" ]; }; then
  office=(libreoffice-calc libreoffice-writer)
fi

packages=(
  # build
  cmake g++ make pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools libgl-dev
  libpoppler-qt6-dev libcups2-dev librsvg2-bin
  # run: window system plugins, Qt's own Japanese texts, Japanese fonts, the preview
  # converter, the printer
  qt6-qpa-plugins libqt6svg6 qt6-translations-l10n fonts-ipafont-gothic fonts-noto-cjk
  "${office[@]}"
  cups-client xdg-utils bubblewrap
)
if [ "${1:-}" = "--test" ]; then
  packages+=(
    # independent LZH readers and the reference writer, the scan references
    lhasa libarchive-tools p7zip-full unar jlha-utils bfs findutils fd-find
    # the slow-share benchmark: a delaying FUSE passthrough
    libfuse3-dev fuse3
    # a real print server with a PDF printer, and a PDF reader for its output
    cups cups-filters printer-driver-cups-pdf poppler-utils
    # the desktop's own trash tools on a private session bus, and a second file system
    libglib2.0-bin gvfs dbus e2fsprogs mount util-linux
    # lint
    clang-format clang-tidy
    # the Debian package: its build, lintian, and the checks of its desktop entry and metainfo
    debhelper dpkg-dev lintian file desktop-file-utils appstream
    # the end-to-end tests: a virtual X server, private buses, the accessibility bus and
    # the system Python's bindings that drive the window through it
    xvfb dbus dbus-bin at-spi2-core python3 python3-gi python3-pyatspi gir1.2-atspi-2.0
  )
fi

export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${packages[@]}"

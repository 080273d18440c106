#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the trash tests against the desktop's own trash tools: gio and its trash daemon on a
# private session bus, with a second file system mounted in a private mount namespace.
# Exit 77 (skipped) where that cannot be set up: not root, or gio's trash daemon missing.
test_binary=$1
[ "$(id -u)" -eq 0 ] || { echo "needs root for a private mount"; exit 77; }
command -v gio >/dev/null && command -v dbus-run-session >/dev/null &&
  [ -x /usr/libexec/gvfsd-trash ] && command -v mkfs.ext4 >/dev/null &&
  command -v unshare >/dev/null || { echo "gio, gvfs, e2fsprogs or unshare missing"; exit 77; }

work=$(mktemp -d /tmp/pelmora-gio-XXXXXX) || exit 1
trap 'rm -rf "$work"' EXIT
truncate -s 32M "$work/disk.img" && mkfs.ext4 -q -F "$work/disk.img" || exit 1
mkdir -p "$work/mnt" "$work/data"

# The daemon reads the home trash location from its own environment, fixed at start.
PELMORA_SECOND_MOUNT="$work/mnt" PELMORA_GIO_DATA_HOME="$work/data" XDG_DATA_HOME="$work/data" \
HOME="$work" unshare -m sh -c '
  mount --make-rprivate / &&
  mount -o loop "$0/disk.img" "$0/mnt" || exit 1
  dbus-run-session -- "$1"
  rc=$?
  umount "$0/mnt"
  exit $rc' "$work" "$test_binary"

#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what Pelmora needs, builds the program alone (no tests or benchmarks) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh -DBUILD_TESTING=OFF
exec "${BUILD_DIR:-build}/bin/pelmora"

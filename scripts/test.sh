#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what the tests need, builds everything, runs the whole test suite, builds and
# checks the Debian package, then lint.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --test
scripts/build.sh -DBUILD_TESTING=ON -DPELMORA_WERROR=ON
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "${BUILD_DIR:-build}" --output-on-failure --timeout 900
scripts/package.sh
scripts/lint.sh

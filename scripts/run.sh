#!/usr/bin/env bash
# Installs what Pelmora needs, builds it and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
exec "${BUILD_DIR:-build}/bin/pelmora"

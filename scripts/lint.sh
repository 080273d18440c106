#!/usr/bin/env bash
# Checks formatting and runs clang-tidy on the project's own sources (needs a build dir).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
files=$(git ls-files '*.cpp' '*.h')
clang-format --dry-run --Werror $files
report=$(run-clang-tidy -quiet -p "$build" "$(pwd)/(src|tests|bench|tools)/.*\.cpp$" 2>/dev/null || true)
if grep -E 'warning:|error:' <<<"$report"; then
  exit 1
fi
echo "lint clean"

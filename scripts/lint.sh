#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks formatting and runs clang-tidy on the project's own sources. Fails when either tool
# reports anything, and equally when either cannot run (tool missing, no compile database).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}

for tool in clang-format clang-tidy run-clang-tidy; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "lint: $tool is not installed (scripts/install-deps.sh --test installs it)" >&2
    exit 2
  fi
done
if [ ! -s "$build/compile_commands.json" ]; then
  echo "lint: $build/compile_commands.json is missing; configure the build first" >&2
  exit 2
fi

mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${#files[@]}" -eq 0 ]; then
  echo "lint: no sources found" >&2
  exit 2
fi
clang-format --dry-run --Werror "${files[@]}"

# Every source, build and script file names its licence in its first lines.
missing=()
while IFS= read -r f; do
  head -n 3 "$f" | grep -q 'SPDX-License-Identifier: GPL-3.0-or-later' || missing+=("$f")
done < <(git ls-files '*.cpp' '*.h' '*.sh' '*.py' '*.cmake' 'CMakeLists.txt' '*/CMakeLists.txt' '.ci/run')
if [ "${#missing[@]}" -ne 0 ]; then
  printf '%s\n' "${missing[@]}" >&2
  echo "lint: the files above have no SPDX-License-Identifier line" >&2
  exit 1
fi

# Paths of user files reach the disk only through the ports.
bash scripts/check_file_classes.sh

# Generated sources (moc) are in the database too; only our own files are checked.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
run-clang-tidy -quiet -p "$build" "$(pwd)/(src|tests|bench|tools)/.*\.cpp$" >"$log" 2>&1 || status=$?
if grep -E 'warning:|error:' "$log"; then
  echo "lint: clang-tidy reported the findings above" >&2
  exit 1
fi
if [ "$status" -ne 0 ]; then
  cat "$log" >&2
  echo "lint: clang-tidy did not run to the end (status $status)" >&2
  exit 1
fi
checked=$(grep -c 'clang-tidy' "$log" || true)
if [ "$checked" -eq 0 ]; then
  cat "$log" >&2
  echo "lint: clang-tidy checked no file" >&2
  exit 1
fi
echo "lint clean: ${#files[@]} files formatted, $checked translation units tidy"

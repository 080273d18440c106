#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Qt's file classes re-encode a name that is not UTF-8 (a Shift_JIS name from an old Windows
# machine) and so reach another file, or none. Paths of user files go to the disk only through
# the ports, whose backends call the system with the exact bytes. This check fails when one of
# those classes is named in our own code outside the places allowed below. Comment lines and
# trailing comments do not count.
set -euo pipefail
cd "$(dirname "$0")/.."

classes='QFile|QFileInfo|QFileDevice|QDir|QDirIterator|QStorageInfo|QSaveFile|QTemporaryFile|QTemporaryDir|QLockFile'

# Where the classes may stand:
#  src/backends/  the system side; each use there is by exact bytes or on files of its own
#  src/lzh/       the archiver library, which is handed exact-byte names by the unlha backend
#  tests/         fixtures build and read their own scratch trees
#  bench/         benchmarks build their own scratch corpora, like the tests
allowed_dirs='^(src/backends|src/lzh|tests|bench)/'

# Single files, each with its reason (none today).
allowed_files=()

# The lines of file $1 that name a class, with their numbers; comments are blanked first.
class_lines() {
  sed -E -e 's@^[[:space:]]*(//|\*|/\*).*$@@' -e 's@[[:space:]]//.*$@@' "$1" |
    grep -nE "\\b($classes)\\b" || true
}

is_allowed_file() {
  local f
  for f in "${allowed_files[@]}"; do
    [ "$f" = "$1" ] && return 0
  done
  return 1
}

mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.hpp' '*.cc' '*.cxx')
if [ "${#files[@]}" -eq 0 ]; then
  echo "check_file_classes: no sources found" >&2
  exit 2
fi

checked=0
found=0
for f in "${files[@]}"; do
  [[ "$f" =~ $allowed_dirs ]] && continue
  if is_allowed_file "$f"; then
    if [ -z "$(class_lines "$f")" ]; then
      echo "check_file_classes: $f no longer needs its exception (remove it from the list)"
    fi
    continue
  fi
  checked=$((checked + 1))
  hits=$(class_lines "$f")
  if [ -n "$hits" ]; then
    while IFS= read -r line; do
      echo "$f:$line"
    done <<<"$hits"
    found=$((found + 1))
  fi
done

if [ "$found" -ne 0 ]; then
  echo "check_file_classes: Qt file classes in $found file(s) above; reach the disk through" \
    "the ports (src/ports/file_system.h) instead" >&2
  exit 1
fi
echo "check_file_classes: $checked files checked, none names a Qt file class" \
  "(${#allowed_files[@]} files excepted)"

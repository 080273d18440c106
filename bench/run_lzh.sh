#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds and runs the LZH archiver benchmark on its corpora (figures beside
# jlha -lh5-/-lh0-, gzip -6, gzip -9 and xz -6, one thread against one per
# core, the goals met or missed per corpus, and the reader matrix: each of our
# archives through lhasa, bsdtar, 7z, unar and jlha). Argument: runs per tool (3).
set -e
cd "$(dirname "$0")/.."
cmake -S . -B build >/dev/null
cmake --build build -j2 --target lzh_bench
exec build/bench/lzh_bench/lzh_bench "$@"

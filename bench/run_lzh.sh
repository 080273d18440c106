#!/bin/sh
# Builds and runs the LZH archiver benchmark (figures beside jlha and gzip -6).
set -e
cd "$(dirname "$0")/.."
cmake -S . -B build >/dev/null
cmake --build build -j2 --target lzh_bench
exec build/bench/lzh_bench/lzh_bench

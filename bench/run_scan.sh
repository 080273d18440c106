#!/usr/bin/env bash
# Times the scan against bfs and find on the same tree, warm, several rounds, and prints the
# median seconds and the ratios. Usage: bench/run_scan.sh [BUILD_DIR] [TREE_DIR] [ROUNDS]
set -euo pipefail
build=${1:-build}
tree=${2:-/tmp/pelmora-scan-tree}
rounds=${3:-5}
bench="$build/bin/scan_bench"
[ -x "$bench" ] || { echo "build scan_bench first ($bench)" >&2; exit 1; }
for tool in bfs find; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (apt-get install bfs findutils)" >&2; exit 1; }
done

if [ ! -d "$tree" ]; then
  echo "making the test tree in $tree"
  "$bench" --make-tree "$tree"
fi

seconds() { # runs a command with its output discarded, prints wall seconds
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN {printf "%.4f", b - a}' 
}
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

# Warm the caches once.
"$bench" --root "$tree" --type XLS --list >/dev/null
bfs "$tree" -iname '*.xls' >/dev/null
find "$tree" -iname '*.xls' >/dev/null

declare -A times
for ((i = 0; i < rounds; i++)); do
  times[scan]+="$(seconds "$bench" --root "$tree" --type XLS --list) "
  times[bfs]+="$(seconds bfs "$tree" -iname '*.xls') "
  times[find]+="$(seconds find "$tree" -iname '*.xls') "
done
scan=$(tr ' ' '\n' <<<"${times[scan]}" | grep . | median)
bfs_t=$(tr ' ' '\n' <<<"${times[bfs]}" | grep . | median)
find_t=$(tr ' ' '\n' <<<"${times[find]}" | grep . | median)

echo "tree: $tree ($(find "$tree" -type f | wc -l) files, $(find "$tree" -type d | wc -l) folders)"
echo "hits: scan_bench $("$bench" --root "$tree" --type XLS --list | wc -l)," \
     "bfs -iname '*.xls' $(bfs "$tree" -iname '*.xls' | wc -l) (bfs also counts a.b.xls names and dot folders)"
printf 'median of %d rounds, whole process, output discarded:\n' "$rounds"
printf '  scan_bench %.3f s\n  bfs        %.3f s\n  find       %.3f s\n' "$scan" "$bfs_t" "$find_t"
awk -v s="$scan" -v b="$bfs_t" -v f="$find_t" 'BEGIN {
  printf "ratio scan_bench/bfs  %.2f (target <= 1.00)\nratio scan_bench/find %.2f\n", s / b, s / f }'
echo "figures of one run:"
"$bench" --root "$tree" --type XLS | sed 's/^/  /'

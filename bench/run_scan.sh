#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times the scan beside bfs, fd, find and the bare reference walker (one thread and eight)
# on the same tree, several rounds, and prints the median seconds and the ratios.
#   bench/run_scan.sh [--cold] [BUILD_DIR] [TREE_DIR] [ROUNDS]
# Warm (default): the tree is in the page cache. --cold: the page cache, dentries and inodes
# are dropped before every single run (needs root: writes /proc/sys/vm/drop_caches); where
# that is not permitted the cold mode says so and stops.
set -euo pipefail
mode=warm
if [ "${1:-}" = "--cold" ]; then
  mode=cold
  shift
fi
build=${1:-build}
tree=${2:-/tmp/pelmora-scan-tree}
rounds=${3:-5}
bench="$build/bin/scan_bench"
bare="$build/bin/bare_walk"
for b in "$bench" "$bare"; do
  [ -x "$b" ] || { echo "build scan_bench and bare_walk first ($b)" >&2; exit 1; }
done
for tool in bfs find fdfind; do
  command -v "$tool" >/dev/null || {
    echo "$tool is missing (scripts/install-deps.sh --test installs bfs, findutils, fd-find)" >&2
    exit 1
  }
done

drop_caches() {
  sync
  echo 3 >/proc/sys/vm/drop_caches
}
if [ "$mode" = cold ]; then
  if ! (drop_caches) 2>/dev/null; then
    echo "cold mode skipped: dropping the page cache is not permitted here (run as root)"
    exit 0
  fi
fi

if [ ! -d "$tree" ]; then
  echo "making the test tree in $tree"
  "$bench" --make-tree "$tree"
fi

# The tools, each printing its hits; the scan lists through the window's own code.
declare -A cmd
cmd[scan_bench]="$bench --root $tree --type XLS --list"
cmd[bfs]="bfs $tree -iname *.xls"
cmd[fd]="fdfind -uu -i -g *.xls . $tree"
cmd[find]="find $tree -iname *.xls"
cmd[walker_1]="$bare $tree xls 1"
cmd[walker_8]="$bare $tree xls 8"
# The same two programs on an empty folder: what starting the process costs (loading Qt from
# a cold cache reads tens of megabytes), apart from the walk.
empty=$(mktemp -d)
trap 'rmdir "$empty"' EXIT
cmd[start_scan]="$bench --root $empty --type XLS --list"
cmd[start_walker]="$bare $empty xls 8"
order=(scan_bench bfs fd find walker_1 walker_8 start_scan start_walker)

seconds() { # runs a command with its output discarded, prints wall seconds
  local start end
  [ "$mode" = cold ] && drop_caches
  start=$(date +%s.%N)
  set -f
  # shellcheck disable=SC2086
  $1 >/dev/null
  set +f
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN {printf "%.4f", b - a}'
}
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }

if [ "$mode" = warm ]; then
  for t in "${order[@]}"; do seconds "${cmd[$t]}" >/dev/null; done
fi

# Every other round runs the tools in reverse, so a machine slowing down or speeding up
# during the run weighs on all of them alike.
declare -A times med
reversed=()
for ((i = ${#order[@]} - 1; i >= 0; i--)); do reversed+=("${order[$i]}"); done
for ((i = 0; i < rounds; i++)); do
  if ((i % 2)); then this=("${reversed[@]}"); else this=("${order[@]}"); fi
  for t in "${this[@]}"; do
    times[$t]+="$(seconds "${cmd[$t]}") "
  done
done
for t in "${order[@]}"; do
  med[$t]=$(tr ' ' '\n' <<<"${times[$t]}" | grep . | median)
done

files=$(find "$tree" -type f | wc -l)
folders=$(find "$tree" -type d | wc -l)
echo "tree: $tree ($files files, $folders folders), $mode, $(nproc) cores"
set -f
echo "hits: scan_bench $(${cmd[scan_bench]} | wc -l), walker $(${cmd[walker_1]})," \
     "bfs $(${cmd[bfs]} | wc -l), fd $(${cmd[fd]} | wc -l) (bfs and fd also count a.b.xls names and dot folders)"
set +f
printf 'median of %d interleaved rounds, whole process, output discarded:\n' "$rounds"
for t in "${order[@]}"; do
  printf '  %-12s %.3f s\n' "$t" "${med[$t]}"
done
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
verdict() { awk -v r="$1" -v g="$2" 'BEGIN {print (r <= g) ? "met" : "not met"}'; }
# The median of the rounds' own ratios: each round's two figures were taken minutes apart at
# most, under the same load.
round_ratio() {
  paste -d' ' <(tr ' ' '\n' <<<"${times[$1]}" | grep .) <(tr ' ' '\n' <<<"${times[$2]}" | grep .) |
    awk '{print $1 / $2}' | median | awk '{printf "%.2f", $1}'
}
echo "ratios (scan_bench / other):"
for t in bfs fd find walker_1 walker_8; do
  printf '  scan_bench/%-9s %s\n' "$t" "$(ratio "${med[scan_bench]}" "${med[$t]}")"
done
if [ "$mode" = cold ]; then
  r=$(round_ratio scan_bench walker_8)
  echo "goal: scan_bench/walker_8 <= 1.20 cold: $r, median of the rounds' ratios ($(verdict "$r" 1.20))"
  walkOnly=$(awk -v a="${med[scan_bench]}" -v b="${med[start_scan]}" -v c="${med[walker_8]}" \
    -v d="${med[start_walker]}" 'BEGIN {printf "%.2f", (a - b) / (c - d)}')
  echo "  without each process's start-up (empty folder): $walkOnly"
else
  r=$(round_ratio scan_bench walker_1)
  echo "goal: scan_bench/walker_1 <= 1.10 warm: $r, median of the rounds' ratios ($(verdict "$r" 1.10))"
  echo "figures of one run:"
  "$bench" --root "$tree" --type XLS | sed 's/^/  /'
fi

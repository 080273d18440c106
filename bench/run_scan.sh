#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times the scan beside bfs, fd, find and the bare reference walker (one thread, two and
# eight) on the same tree, several rounds, and prints the median seconds and the ratios.
#   bench/run_scan.sh [--cold] [BUILD_DIR] [TREE_DIR] [ROUNDS]
#   bench/run_scan.sh --latency MS [BUILD_DIR] [TREE_DIR] [ROUNDS]
# Warm (default): the tree is in the page cache. --cold: the page cache, dentries and inodes
# are dropped before every single run (needs root: writes /proc/sys/vm/drop_caches); where
# that is not permitted the cold mode says so and stops.
# --latency MS: the tree (20,000 files, made when missing) is mounted through bench/delay_fs,
# which answers every lookup, opendir and readdir MS milliseconds late, like a share far
# away; the scan is timed beside bare walkers of 1, 8, 32, 64 and 128 threads (needs libfuse3
# and /dev/fuse, and root or fusermount3).
set -euo pipefail
mode=warm
latency=
if [ "${1:-}" = "--cold" ]; then
  mode=cold
  shift
elif [ "${1:-}" = "--latency" ]; then
  mode=latency
  latency=${2:?--latency needs the milliseconds}
  shift 2
fi
build=${1:-build}
if [ "$mode" = latency ]; then
  tree=${2:-/tmp/pelmora-latency-tree}
  rounds=${3:-3}
else
  tree=${2:-/tmp/pelmora-scan-tree}
  rounds=${3:-5}
fi
bench="$build/bin/scan_bench"
bare="$build/bin/bare_walk"
for b in "$bench" "$bare"; do
  [ -x "$b" ] || { echo "build scan_bench and bare_walk first ($b)" >&2; exit 1; }
done

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
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
verdict() { awk -v r="$1" -v g="$2" 'BEGIN {print (r <= g) ? "met" : "not met"}'; }

if [ "$mode" = latency ]; then
  delayfs="$build/bin/delay_fs"
  [ -x "$delayfs" ] || {
    echo "delay_fs is missing ($delayfs): install libfuse3-dev and fuse3 (scripts/install-deps.sh --test) and build" >&2
    exit 1
  }
  [ -c /dev/fuse ] || { echo "latency mode skipped: no /dev/fuse here"; exit 0; }
  if [ ! -d "$tree" ]; then
    echo "making the test tree in $tree"
    "$bench" --make-tree "$tree" --files 20000 >/dev/null
  fi
  mnt=$(mktemp -d /tmp/pelmora-latency-mnt.XXXXXX)
  "$delayfs" "$tree" "$mnt" "$latency" &
  fs=$!
  # shellcheck disable=SC2317 # run by the trap
  unmount() {
    umount "$mnt" 2>/dev/null || fusermount3 -u "$mnt" 2>/dev/null || true
    wait "$fs" 2>/dev/null || true
    rmdir "$mnt"
  }
  trap unmount EXIT
  for ((i = 0; i < 100; i++)); do
    grep -q " $mnt fuse" /proc/self/mounts && break
    kill -0 "$fs" 2>/dev/null || { echo "latency mode skipped: delay_fs could not mount"; exit 0; }
    sleep 0.05
  done
  declare -A cmd times med
  cmd[scan_bench]="$bench --root $mnt --type XLS --list"
  for n in 1 8 32 64 128; do cmd[walker_$n]="$bare $mnt xls $n"; done
  # One thread waits for every read in turn (minutes at 10 ms): timed once, not every round.
  order=(scan_bench walker_8 walker_32 walker_64 walker_128)
  reversed=(walker_128 walker_64 walker_32 walker_8 scan_bench)
  times[walker_1]="$(seconds "${cmd[walker_1]}") "
  for ((i = 0; i < rounds; i++)); do
    if ((i % 2)); then this=("${reversed[@]}"); else this=("${order[@]}"); fi
    for t in "${this[@]}"; do times[$t]+="$(seconds "${cmd[$t]}") "; done
  done
  set -f
  hits=$(${cmd[scan_bench]} | wc -l)
  walkerHits=$(${cmd[walker_128]})
  most=$("$bench" --root "$mnt" --type XLS --readers 256 | awk '/most_at_work/ {print $2}')
  set +f
  echo "tree: $tree (mounted at $mnt, $latency ms per lookup, opendir and readdir)," \
       "$(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "hits: scan_bench $hits, walker $walkerHits; readers at work at most: $most"
  printf 'median of %d interleaved rounds (walker_1: one run), whole process, output discarded:\n' "$rounds"
  best=
  for t in scan_bench walker_1 walker_8 walker_32 walker_64 walker_128; do
    med[$t]=$(tr ' ' '\n' <<<"${times[$t]}" | grep . | median)
    printf '  %-12s %.3f s\n' "$t" "${med[$t]}"
    if [ "$t" != scan_bench ] && { [ -z "$best" ] || awk -v a="${med[$t]}" -v b="${med[$best]}" 'BEGIN {exit !(a < b)}'; }; then
      best=$t
    fi
  done
  echo "ratios (scan_bench / other):"
  for t in walker_1 walker_8 walker_32 walker_64 walker_128; do
    printf '  scan_bench/%-10s %s\n' "$t" "$(ratio "${med[scan_bench]}" "${med[$t]}")"
  done
  r=$(ratio "${med[scan_bench]}" "${med[$best]}")
  echo "goal: scan_bench / best bare walker ($best) <= 1.20 at $latency ms: $r ($(verdict "$r" 1.20))"
  exit 0
fi
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
cmd[walker_2]="$bare $tree xls 2"
cmd[walker_8]="$bare $tree xls 8"
# The same two programs on an empty folder: what starting the process costs (loading Qt from
# a cold cache reads tens of megabytes), apart from the walk.
empty=$(mktemp -d)
trap 'rmdir "$empty"' EXIT
cmd[start_scan]="$bench --root $empty --type XLS --list"
cmd[start_walker]="$bare $empty xls 8"
order=(scan_bench bfs fd find walker_1 walker_2 walker_8 start_scan start_walker)

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
echo "tree: $tree ($files files, $folders folders), $mode, $(nproc) cores," \
     "load $(cut -d' ' -f1-3 /proc/loadavg)"
set -f
echo "hits: scan_bench $(${cmd[scan_bench]} | wc -l), walker $(${cmd[walker_1]})," \
     "bfs $(${cmd[bfs]} | wc -l), fd $(${cmd[fd]} | wc -l) (bfs and fd also count a.b.xls names and dot folders)"
set +f
printf 'median of %d interleaved rounds, whole process, output discarded:\n' "$rounds"
for t in "${order[@]}"; do
  printf '  %-12s %.3f s\n' "$t" "${med[$t]}"
done
# The median of the rounds' own ratios: each round's two figures were taken minutes apart at
# most, under the same load.
round_ratio() {
  paste -d' ' <(tr ' ' '\n' <<<"${times[$1]}" | grep .) <(tr ' ' '\n' <<<"${times[$2]}" | grep .) |
    awk '{print $1 / $2}' | median | awk '{printf "%.2f", $1}'
}
echo "ratios (scan_bench / other):"
for t in bfs fd find walker_1 walker_2 walker_8; do
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
  r=$(round_ratio scan_bench walker_2)
  echo "goal: scan_bench/walker_2 <= 1.10 warm: $r, median of the rounds' ratios ($(verdict "$r" 1.10))"
  echo "figures of one run:"
  "$bench" --root "$tree" --type XLS | sed 's/^/  /'
fi

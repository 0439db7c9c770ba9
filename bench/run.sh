#!/usr/bin/env bash
# The benchmark in one command: builds a Release voltrane and the kit into build/bench,
# makes (or reuses) a generated pocket query of the chosen size under build/bench/data,
# then measures in this one run voltrane with a deflate worker per CPU, with one worker,
# on one CPU, the deflate floor and the split without deflate, and prints them side by side.
#
#   bench/run.sh <size-MB> [--track-mb M] [--runs N] [--seed N]
#
# MB are 1,000,000 bytes; --track-mb adds a track of M MB after the waypoints.
set -euo pipefail
export LC_ALL=C  # "." as the decimal point in every printf and awk below

usage() {
  echo "Usage: bench/run.sh <size-MB> [--track-mb M] [--runs N] [--seed N]" >&2
  exit 2
}

number='^[0-9]+(\.[0-9]+)?$'
[ $# -ge 1 ] || usage
size=$1
shift
track=0
runs=3
seed=1
while [ $# -gt 0 ]; do
  [ $# -ge 2 ] || usage
  case $1 in
    --track-mb) track=$2 ;;
    --runs) runs=$2 ;;
    --seed) seed=$2 ;;
    *) usage ;;
  esac
  shift 2
done
[[ $size =~ $number && $track =~ $number ]] || usage
[[ $runs =~ ^[0-9]+$ && $seed =~ ^[0-9]+$ ]] || usage
if [ "$runs" -lt 3 ]; then
  echo "bench/run.sh: at least 3 runs, so that the median means something" >&2
  exit 2
fi

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/bench
bin=$build/benchkit
voltrane=$build/cli/voltrane

echo "Building Release binaries in $build ..."
log=$(mktemp)
if ! { cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVOLTRANE_TESTS=OFF \
         -DVOLTRANE_BENCH=ON &&
       cmake --build "$build" -j2 --target voltrane voltrane_gengpx voltrane_floor \
         voltrane_measure voltrane_splitonly; } >"$log" 2>&1; then
  cat "$log" >&2
  rm -f "$log"
  exit 1
fi
rm -f "$log"

# The input is cached by its arguments; a rebuilt generator makes it anew.
name=pq_${size}mb
[ "$track" = 0 ] || name+=_trk${track}mb
[ "$seed" = 1 ] || name+=_s${seed}
mkdir -p "$build/data"
source=$build/data/$name.gpx
if [ ! -f "$source" ] || [ "$bin/voltrane_gengpx" -nt "$source" ]; then
  echo "Generating $source ..."
  "$bin/voltrane_gengpx" "$size" "$source" --track-mb "$track" --seed "$seed"
fi

out=$build/out
rm -rf "$out"
mkdir -p "$out"
trap 'rm -rf "$out"' EXIT
cat "$source" >/dev/null  # every run reads it from the page cache

cpus=$(nproc)
# The first CPU this script may use: on one CPU the tool deflates on its own thread.
cpu=$(taskset -pc $$ | sed 's/.*: *//; s/[-,].*//')

median() { sort -g | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
field() { awk -v key="$1" '$1 == key { print $2 }'; }
# wall, user, sys and peak of a voltrane_measure output
figures() { awk '$1 == "median" { print $2, $3, $4, $5 }' "$1"; }

# Rounds: each runs every command once, the floor first, so that a shared host that speeds
# up or slows down over the minutes moves the floor and voltrane alike; ratios are taken
# round by round and their median reported. The first round is not counted: it warms the
# caches and shows voltrane's error, should it fail (counted runs send its output to
# /dev/null). The one-CPU run follows the floor: on a virtual machine, memory that has lain
# free for a few seconds can be slow to touch again, and the run after the floor's pays for
# that in its first page-cache writes; the runs after it find memory that was just freed.
round() {
  "$bin/voltrane_floor" "$source" >"$out/floor.txt"
  "$bin/voltrane_measure" 1 -- taskset -c "$cpu" "$voltrane" "$source" "$out/one.ggz" >"$out/one.txt"
  "$bin/voltrane_measure" 1 -- "$voltrane" "$source" "$out/all.ggz" >"$out/all.txt"
  VOLTRANE_THREADS=1 "$bin/voltrane_measure" 1 -- "$voltrane" "$source" "$out/worker.ggz" \
    >"$out/worker.txt"
  "$bin/voltrane_splitonly" "$source" "$out/work" >"$out/split.txt"
}
if ! "$voltrane" "$source" "$out/all.ggz" >"$out/warmup.txt" 2>&1; then
  cat "$out/warmup.txt" >&2
  exit 1
fi
round
echo
printf '%-6s %9s %9s %9s %9s %9s\n' round floor_s all_s worker_s one_s split_s
rows=()
for ((i = 1; i <= runs; i++)); do
  round
  floorTime=$(field deflate_s <"$out/floor.txt")
  row="$floorTime"
  for line in all worker one; do
    read -r wall user sys peak < <(figures "$out/$line.txt")
    row+=" $wall $user $sys $peak"
  done
  row+=" $(field split_s <"$out/split.txt")"
  rows+=("$row")
  read -r f aw _ _ _ ww _ _ _ ow _ _ _ sp <<<"$row"
  printf '%-6s %9s %9s %9s %9s %9s\n' "$i" "$f" "$aw" "$ww" "$ow" "$sp"
done
# The median of column n of the rows, and of the ratio of column n to the floor's.
column() { printf '%s\n' "${rows[@]}" | awk -v n="$1" '{ print $n }' | median; }
ratio() { printf '%s\n' "${rows[@]}" | awk -v n="$1" '{ printf "%.4f\n", $n / $1 }' | median; }
floor=$(column 1)
read -r allWall allUser allSys allPeak <<<"$(column 2) $(column 3) $(column 4) $(column 5)"
read -r workerWall workerUser workerSys workerPeak <<<"$(column 6) $(column 7) $(column 8) $(column 9)"
read -r oneWall oneUser oneSys onePeak <<<"$(column 10) $(column 11) $(column 12) $(column 13)"
split=$(column 14)

bytes=$(field source_bytes <"$out/floor.txt")
compressed=$(field compressed_bytes <"$out/floor.txt")
waypoints=$(field waypoints <"$out/split.txt")
archive=$(stat -c %s "$out/all.ggz")

calc() { awk "BEGIN { printf \"%.${1}f\", $2 }"; }
mbps() { calc 1 "$bytes / 1e6 / $1"; }
verdict() { awk "BEGIN { if ($1) print \"ok\"; else print \"MISSED\" }"; }
allRatio=$(calc 2 "$(ratio 2)")
workerRatio=$(calc 2 "$(ratio 6)")
oneRatio=$(calc 2 "$(ratio 10)")
splitRate=$(mbps "$split")
peak=$(printf '%s\n' "$allPeak" "$workerPeak" "$onePeak" | sort -g | tail -1)

echo
printf 'Source %s: %s bytes, %s waypoints; %s rounds (medians; vs_floor: median of the rounds'"'"' ratios); %s CPUs\n' \
  "$name.gpx" "$bytes" "$waypoints" "$runs" "$cpus"
row='%-27s %8s %8s %8s %9s %9s %9s\n'
printf "$row" "" "wall_s" "user_s" "sys_s" "peak_MiB" "vs_floor" "MB/s"
printf "$row" "voltrane, all CPUs" "$allWall" "$allUser" "$allSys" "$allPeak" "$allRatio" "$(mbps "$allWall")"
printf "$row" "voltrane, 1 worker thread" "$workerWall" "$workerUser" "$workerSys" "$workerPeak" "$workerRatio" "$(mbps "$workerWall")"
printf "$row" "voltrane, one CPU" "$oneWall" "$oneUser" "$oneSys" "$onePeak" "$oneRatio" "$(mbps "$oneWall")"
printf "$row" "deflate floor, 1 thread" "$(calc 3 "$floor")" "-" "-" "-" "1.00" "$(mbps "$floor")"
printf "$row" "split + index, no deflate" "$(calc 3 "$split")" "-" "-" "-" "$(calc 2 "$(ratio 14)")" "$splitRate"
printf '%-27s %s bytes (the floor'"'"'s pieces: %s bytes)\n' "archive" "$archive" "$compressed"
if [ $((archive * 2)) -lt "$compressed" ]; then
  echo "Note: the archive is less than half the floor's compressed size: voltrane did not"
  echo "deflate all of the source, so its ratios to the floor say little."
fi
echo
echo "Targets:"
printf '  %-40s %8s  %s\n' "split + index >= 300 MB/s" "$splitRate" "$(verdict "$splitRate >= 300")"
printf '  %-40s %8s  %s\n' "1 worker thread <= 1.15 x floor" "$workerRatio" "$(verdict "$workerRatio <= 1.15")"
if [ "$cpus" -eq 2 ]; then
  printf '  %-40s %8s  %s\n' "all CPUs <= 0.65 x floor (2 CPUs)" "$allRatio" "$(verdict "$allRatio <= 0.65")"
else
  printf '  %-40s %8s  %s\n' "all CPUs <= 0.65 x floor (set for 2 CPUs)" "$allRatio" "(not judged)"
fi
printf '  %-40s %8s  %s\n' "peak resident size <= 64 MiB" "$peak" "$(verdict "$peak <= 64")"

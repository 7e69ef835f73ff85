#!/usr/bin/env bash
# The cost of opening an archive of many entries (60,000 by default, BENCH_COUNT to change):
# the system calls of the whole process (strace -c -f) and the best wall time over
# BENCH_ROUNDS (default 5) opens, beside "unzip -l" of the same archive.
# Usage: bench/zip_open.sh [WORK_DIR]. Builds into build/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$(mktemp -d /tmp/palvren-bench-XXXXXX)}
count=${BENCH_COUNT:-60000}
rounds=${BENCH_ROUNDS:-5}

cmake -S "$top" -B "$top/build" -G Ninja >/dev/null
cmake --build "$top/build" -j3 --target zip_open_driver >/dev/null
driver="$top/build/bench/zip_open_driver"

archive="$work/open$count.zip"
if [ ! -f "$archive" ]; then
  /usr/bin/python3 - "$archive" "$count" <<'PY'
import sys, zipfile
path, count = sys.argv[1], int(sys.argv[2])
with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
    for i in range(count):
        z.writestr("d%03d/f%05d.txt" % (i // 1000, i), "x" * (i % 50))
PY
fi
echo "cores $(nproc), load $(cut -d' ' -f1-3 /proc/loadavg), archive $(stat -c %s "$archive") bytes"
if command -v strace >/dev/null; then
  strace -c -f -o "$work/strace.txt" "$driver" "$archive" >/dev/null
  awk '$NF ~ /^(lseek|read|pread64|openat|fstat|newfstatat)$/ {print "  " $NF ": " $4 " calls"}' "$work/strace.txt"
fi
# Whole processes, paired and interleaved: ours, then unzip -l, per round.
: >"$work/times.txt"
for _ in $(seq "$rounds"); do
  a=$( { /usr/bin/time -f %e "$driver" "$archive" >/dev/null; } 2>&1 | tail -1)
  b=$( { /usr/bin/time -f %e unzip -l "$archive" >/dev/null; } 2>&1 | tail -1)
  echo "$a $b" >>"$work/times.txt"
done
sort -n -k1 "$work/times.txt" | awk '{o[NR]=$1} END {printf "open, whole process: ours min %s median %s s;", o[1], o[int((NR+1)/2)]}'
sort -n -k2 "$work/times.txt" | awk '{u[NR]=$2} END {printf " unzip -l min %s median %s s\n", u[1], u[int((NR+1)/2)]}'

#!/usr/bin/env bash
# Times the component's update pass against Info-ZIP's "zip -u -r" on the same tree: trees of
# 20,000 and 60,000 small files (BENCH_COUNTS to change), each updated after the first, a middle
# and the last entry's file changed. Each side runs as a whole process on one core (taskset,
# BENCH_CORE), in paired rounds whose order alternates (BENCH_ROUNDS, default 5); per case it
# prints min and median of the paired time and peak-memory ratios ours / zip.
# Usage: bench/zip_update.sh [build folder, a Release build made there when missing] [WORK_DIR]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$top/build-bench}")
work=${2:-$(mktemp -d /tmp/palvren-update-XXXXXX)}
counts=${BENCH_COUNTS:-"20000 60000"}
rounds=${BENCH_ROUNDS:-5}
core=${BENCH_CORE:-1}
source "$top/bench/paired_rounds.sh"

release_target "$build" zip_update_driver
driver="$build/bench/zip_update_driver"

echo "$(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg), both sides on core $core, $rounds rounds"
for n in $counts; do
  tree="$work/tree$n"
  rm -rf "$tree" "$work/ours$n.zip" "$work/zip$n.zip"
  /usr/bin/python3 - "$tree" "$n" <<'PY'
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
rng = random.Random(7)
words = ["sauvegarde", "archive", "journal", "fichier", "dossier", "serveur", "rapport", "client"]
for i in range(count):
    folder = os.path.join(root, "d%03d" % (i // 1000))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%05d.txt" % i), "w") as f:
        f.write(" ".join(rng.choice(words) for _ in range(rng.randint(20, 200))))
PY
  "$driver" "$work/ours$n.zip" "$tree" >/dev/null
  (cd "$tree" && zip -q -r "$work/zip$n.zip" .)
  mapfile -t names < <(unzip -Z1 "$work/ours$n.zip")
  total=${#names[@]}
  stamp=$(date +%s)
  for which in first middle last; do
    case $which in
      first) name=${names[0]} ;;
      middle) name=${names[$((total / 2))]} ;;
      last) name=${names[$((total - 1))]} ;;
    esac
    # Before each timed run the file changes again, with a newer date: each tool finds it changed.
    touch_file() {
      stamp=$((stamp + 10))
      echo "changed $stamp" >> "$tree/$name"
      touch -d "@$stamp" "$tree/$name"
    }
    paired_rounds "$n files, $which changed" "$rounds" \
      touch_file "taskset -c $core '$driver' '$work/ours$n.zip' '$tree'" \
      touch_file "cd '$tree' && exec taskset -c $core zip -q -u -r '$work/zip$n.zip' ."
  done
done
unzip -tq "$work/ours${counts##* }.zip" >/dev/null && echo "last archive tested by unzip: no errors"

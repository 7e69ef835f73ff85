#!/usr/bin/env bash
# Times the component's update pass against Info-ZIP's "zip -u" on the same tree: trees of
# 20,000 and 60,000 small files (BENCH_COUNTS to change), each updated after the first, a middle
# and the last entry's file changed. Rounds interleave the two tools (BENCH_ROUNDS, default 3);
# the figures are the best time and the highest peak memory of each.
# zip: wall time and peak memory of the process (/usr/bin/time -v). Ours: the same for the
# driver's process ("proc"), and the pass alone ("pass": the time inside the driver, and the peak
# memory less what the process held before the pass, i.e. the Qt libraries it is linked with;
# in the programs the pass runs inside a process that has loaded them already).
# Usage: bench/zip_update.sh [WORK_DIR] (default: a fresh folder under /tmp). Builds into build/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$(mktemp -d /tmp/palvren-bench-XXXXXX)}
counts=${BENCH_COUNTS:-"20000 60000"}
rounds=${BENCH_ROUNDS:-3}

cmake -S "$top" -B "$top/build" -G Ninja >/dev/null
cmake --build "$top/build" -j3 --target zip_update_driver >/dev/null
driver="$top/build/bench/zip_update_driver"

# "seconds kilobytes" from the report of /usr/bin/time -v on stdin.
times_of() {
  awk -F': ' '/Elapsed \(wall clock\)/ {wall = $2} /Maximum resident set size/ {kb = $2}
    END { n = split(wall, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; printf "%.3f %d\n", s, kb }'
}
min() { echo "$1 $2" | awk '{print ($1 < $2) ? $1 : $2}'; }

printf '%-7s %-7s %8s %8s %8s %6s | %8s %8s %8s %6s\n' files changed "pass s" "proc s" "zip s" ratio \
  "pass MB" "proc MB" "zip MB" ratio
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
    best_pass=999999 best_proc=999999 best_zip=999999 mem_pass=0 mem_proc=0 mem_zip=0
    for round in $(seq 1 "$rounds"); do
      # A new date each round: both tools see the file changed.
      stamp=$((stamp + 10))
      echo "changed $round" >> "$tree/$name"
      touch -d "@$stamp" "$tree/$name"
      if [ $((round % 2)) -eq 1 ]; then order="ours zip"; else order="zip ours"; fi
      for tool in $order; do
        if [ "$tool" = ours ]; then
          out=$( { /usr/bin/time -v "$driver" "$work/ours$n.zip" "$tree" > "$work/driver.out"; } 2>&1 )
          read -r s kb < <(echo "$out" | times_of)
          read -r pass peak floor _ < "$work/driver.out"
          best_proc=$(min "$s" "$best_proc"); best_pass=$(min "$pass" "$best_pass")
          mem_proc=$(( kb > mem_proc ? kb : mem_proc ))
          mem_pass=$(( peak - floor > mem_pass ? peak - floor : mem_pass ))
        else
          out=$( { cd "$tree" && /usr/bin/time -v zip -q -u -r "$work/zip$n.zip" . >/dev/null; } 2>&1 )
          read -r s kb < <(echo "$out" | times_of)
          best_zip=$(min "$s" "$best_zip")
          mem_zip=$(( kb > mem_zip ? kb : mem_zip ))
        fi
      done
    done
    echo "$n $which $best_pass $best_proc $best_zip $mem_pass $mem_proc $mem_zip" | awk '{
      printf "%-7s %-7s %8.3f %8.3f %8.3f %6.2f | %8.1f %8.1f %8.1f %6.2f\n", $1, $2, $3, $4, $5,
             ($5 > 0 ? $3 / $5 : 0), $6 / 1024, $7 / 1024, $8 / 1024, ($8 > 0 ? $6 / $8 : 0) }'
  done
done
unzip -tq "$work/ours${counts##* }.zip" >/dev/null && echo "last archive tested by unzip: no errors"

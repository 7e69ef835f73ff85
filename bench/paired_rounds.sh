# Sourced by the benchmarks: runs two sides in interleaved rounds, times each as a whole
# process (wall time and peak memory through /usr/bin/time) and prints the paired ratios.
#
#   paired_rounds LABEL ROUNDS PREPARE_OURS RUN_OURS PREPARE_PEER RUN_PEER
# PREPARE_* are shell function names, run untimed before each timed RUN_*; RUN_* are command
# lines, run by bash -c (which execs the command: the time and memory are the command's).
# Odd rounds run ours first, even rounds the peer first.

# Builds a bench target in a Release build folder of its own, configured when missing.
release_target() {  # release_target BUILD_DIR TARGET
  local top
  top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  [ -f "$1/CMakeCache.txt" ] || cmake -S "$top" -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$1" -j3 --target "$2" >/dev/null
}

# Runs "$@" as one process; sets last_seconds and last_kb (peak resident set).
timed() {
  local out
  out=$(mktemp)
  /usr/bin/time -f "%e %M" -o "$out" "$@" >/dev/null || true  # zip -u with nothing to do exits 12
  read -r last_seconds last_kb < <(tail -n 1 "$out")  # after a "non-zero status" line
  rm -f "$out"
}

stats() {  # prints "min median" of the numbers given
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
    m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.3f %.3f\n", v[1], m }'
}

median() { stats "$@" | cut -d' ' -f2; }

paired_rounds() {
  local label=$1 rounds=$2 prep_ours=$3 run_ours=$4 prep_peer=$5 run_peer=$6
  local ratios=() mem_ratios=() ours_t=() peer_t=() ours_m=() peer_m=() r os ok ps pk
  for ((r = 1; r <= rounds; r++)); do
    if ((r % 2)); then
      $prep_ours; timed bash -c "$run_ours"; os=$last_seconds; ok=$last_kb
      $prep_peer; timed bash -c "$run_peer"; ps=$last_seconds; pk=$last_kb
    else
      $prep_peer; timed bash -c "$run_peer"; ps=$last_seconds; pk=$last_kb
      $prep_ours; timed bash -c "$run_ours"; os=$last_seconds; ok=$last_kb
    fi
    ours_t+=("$os"); peer_t+=("$ps"); ours_m+=("$ok"); peer_m+=("$pk")
    ratios+=("$(awk -v a="$os" -v b="$ps" 'BEGIN { printf "%.4f", (b > 0 ? a / b : 0) }')")
    mem_ratios+=("$(awk -v a="$ok" -v b="$pk" 'BEGIN { printf "%.4f", (b > 0 ? a / b : 0) }')")
    echo "  $label round $r: ours ${os} s ${ok} KB, peer ${ps} s ${pk} KB"
  done
  read -r tmin tmed < <(stats "${ratios[@]}")
  read -r mmin mmed < <(stats "${mem_ratios[@]}")
  read -r omin omed < <(stats "${ours_t[@]}")
  read -r pmin pmed < <(stats "${peer_t[@]}")
  read -r okmin okmed < <(stats "${ours_m[@]}")
  read -r pkmin pkmed < <(stats "${peer_m[@]}")
  printf '%s: ours median %.2f s / %.0f MB, peer median %.2f s / %.0f MB; time ratio min %.2f median %.2f; memory ratio min %.2f median %.2f\n' \
    "$label" "$omed" "$(awk -v k="$okmed" 'BEGIN{print k/1024}')" "$pmed" "$(awk -v k="$pkmed" 'BEGIN{print k/1024}')" \
    "$tmin" "$tmed" "$mmin" "$mmed"
}

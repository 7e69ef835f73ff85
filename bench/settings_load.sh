#!/usr/bin/env bash
# Starts the program over a huge serie.ini (the good keys and N others) and prints the CPU
# time it used in its first seconds: the time to load the settings, the rest being idle.
# Usage: bench/settings_load.sh [BUILD] [SECONDS]; sizes in PALVREN_BENCH_KEYS.
set -euo pipefail
build="${1:-build}"
seconds="${2:-6}"
cd "$(dirname "$0")/.."
cmake --build "$build" -j4 --target PalvrenFtp >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
echo "cores: $(nproc), load: $(cut -d' ' -f1-3 /proc/loadavg)"
for keys in ${PALVREN_BENCH_KEYS:-50000 100000 200000 400000}; do
  mkdir -p "$work/prog" "$work/rt"
  cp "$build/bin/PalvrenFtp" "$work/prog/"
  /usr/bin/python3 - "$work/prog/serie.ini" "$keys" <<'PY'
import sys
path, n = sys.argv[1], int(sys.argv[2])
with open(path, "w", newline="") as f:
    f.write("[Form1]\r\nSujet_tov=Rapport\r\nheure_sauv=13\r\n")
    for i in range(n // 2):
        f.write("autre%d=%s\r\n" % (i, "v" * 120))
    f.write("[Form1Repertoires_sauv]\r\nL0=/tmp|*.*|oui\r\nItemIndex=0\r\n")
    for i in range(n - n // 2):
        f.write("[section%d]\r\nk=%d\r\n" % (i, i))
PY
  size=$(stat -c %s "$work/prog/serie.ini")
  XDG_RUNTIME_DIR="$work/rt" QT_QPA_PLATFORM=offscreen /usr/bin/time -o "$work/time" -f '%U s user, %S s sys' \
    timeout -s TERM "$seconds" "$work/prog/PalvrenFtp" >/dev/null 2>&1 || true
  echo "$keys keys, $((size / 1048576)) MiB: CPU in the first ${seconds} s: $(tail -1 "$work/time")"
  rm -rf "$work/prog" "$work/rt"
done

#!/usr/bin/env bash
# Makes a deflated archive of about 200 MB of text and noise (PALVREN_BENCH_MB to change it),
# extracts it with the component and with unzip, prints both times and checks the results agree.
set -euo pipefail
build="${1:-build}"
mb="${PALVREN_BENCH_MB:-200}"
cd "$(dirname "$0")/.."
cmake --build "$build" -j4 --target zip_extract_driver >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src"
for i in $(seq 1 $((mb / 20))); do
  head -c 10000000 /dev/urandom > "$work/src/bruit$i.bin"
  head -c 10000000 < <(yes "ligne de journal de sauvegarde $i") > "$work/src/texte$i.txt"
done
(cd "$work/src" && zip -q -r ../a.zip .)
echo "archive: $(du -m "$work/a.zip" | cut -f1) MB"
QT_QPA_PLATFORM=offscreen "$build/bench/zip_extract_driver" "$work/a.zip" "$work/ours"
start=$(date +%s.%N)
unzip -q "$work/a.zip" -d "$work/theirs"
echo "unzip: $(echo "$(date +%s.%N) - $start" | bc) s"
diff -r "$work/ours" "$work/theirs" && echo "same files"

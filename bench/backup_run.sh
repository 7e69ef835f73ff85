#!/usr/bin/env bash
# The backup run of the real PalvrenFtp, started as a user starts it, against Info-ZIP's zip on
# the same tree, in paired interleaved rounds. The program runs under its own Xvfb with openbox
# (no notification area: the start hides the window by minimising it), from a program folder
# of its own with a serie.ini that lists the tree and a local FTP server (pyftpdlib, uploads
# discarded). Each round starts three processes, in an order that turns from round to round:
#   shown      the program; its window brought back, "Démarrer sauvegarde" clicked
#   minimised  the same, the window minimised again right after the click
#   zip        zip -r -6 on no archive (first run) or zip -ru on its archive (unchanged run)
# Our time is the archive step: from the click to the log line the upload writes once the
# archive is in place ("Sauvegarde actuelle"); our memory is the process's peak resident set
# (VmHWM) then. zip is timed as a whole process. The program and zip are pinned to the same
# CPUs; the figures per file take off what the program costs on an empty folder.
#
# Usage: bench/backup_run.sh [FILES] [MEGABYTES|small] [ROUNDS]   (default 20000 small 3)
#   BENCH_BUILD    build folder (default bench/build-release, a Release build of its own)
#   BENCH_WORK     work folder; the tree is kept there between calls (default /tmp/palvren-bench)
#   BENCH_JOBS     compile jobs (default 3)
#   BENCH_PROGRAM  a PalvrenFtp built elsewhere, timed instead of the build's (another version)
#   BENCH_CPUS     taskset CPU list of both sides (default the last 2 CPUs)
#   BENCH_DISPLAY  X display to start Xvfb on (default :90)
#   BENCH_UNCHANGED=0  skips the unchanged runs
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
files=${1:-20000}
size=${2:-small}
rounds=${3:-3}
build=${BENCH_BUILD:-$top/bench/build-release}
work=${BENCH_WORK:-/tmp/palvren-bench}
cpus=${BENCH_CPUS:-$(($(nproc) - 2))-$(($(nproc) - 1))}
display=${BENCH_DISPLAY:-:90}
source "$top/bench/paired_rounds.sh"  # timed, stats, median

load() { uptime | sed 's/.*load average: *//'; }
now_ns() { date +%s%N; }
seconds_since() { awk -v a="$1" -v b="$(now_ns)" 'BEGIN { printf "%.3f", (b - a) / 1e9 }'; }

program=${BENCH_PROGRAM:-}
if [ -z "$program" ]; then
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" -j"${BENCH_JOBS:-3}" --target PalvrenFtp >/dev/null
  program=$build/bin/PalvrenFtp
fi

mkdir -p "$work"
if [ "$size" = small ]; then tree="$work/tree-$files-small"; else tree="$work/tree-$files-$size"; fi
if [ ! -d "$tree" ]; then
  echo "building the tree: $files files ($size)"
  if [ "$size" = small ]; then
    /usr/bin/python3 "$top/bench/make_tree.py" "$tree.part" "$files" 0 --small
  else
    /usr/bin/python3 "$top/bench/make_tree.py" "$tree.part" "$files" "$size"
  fi
  mv "$tree.part" "$tree"
fi
mkdir -p "$work/empty"

# The display, its window manager and the FTP server, stopped at the end.
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap cleanup EXIT
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
pids+=($!)
mkdir -p "$work/ftp"
/usr/bin/python3 "$top/tests/servers/ftp_server.py" --root "$work/ftp" --discard >"$work/ftp.out" 2>&1 &
pids+=($!)
until grep -qs '^PORT' "$work/ftp.out"; do sleep 0.1; done
port=$(awk '/^PORT/ { print $2; exit }' "$work/ftp.out")

prog="$work/programme-reel"
runtime="$work/runtime"
mkdir -p "$prog" "$runtime"
chmod 700 "$runtime"
cp "$program" "$prog/"
settings() {  # serie.ini backing up folder $1
  printf '[Form1]\r\nhote_vesk=127.0.0.1\r\nPort_ftp=%s\r\nutilisateur_vesk=user\r\npasse_vesk=secret\r\n' "$port"
  printf 'anonyme_ftp=0\r\nrecevoir_mail=0\r\nreconstruire_zip=0\r\nsauvegarde_auto=0\r\nrep_auto=0\r\n'
  printf 'rep_principal=bench\r\n[Form1Repertoires_sauv]\r\nL0=%s|*.*|oui\r\nItemIndex=-1\r\n' "$1"
}

# One run of the program over folder $1, window $2 (shown or minimised); sets last_seconds and
# last_kb. The archive already there is kept (unchanged run) or not (first run), by the caller.
ours() {
  local folder=$1 mode=$2 pid wid start log
  rm -f "$prog"/*.log "$prog/serie.ini"
  settings "$folder" >"$prog/serie.ini"
  XDG_RUNTIME_DIR=$runtime taskset -c "$cpus" "$prog/PalvrenFtp" >/dev/null 2>&1 &
  pid=$!
  xdotool search --sync --onlyvisible --pid "$pid" --name '^PalvrenFtp$' >/dev/null
  # The start hides the main window after about a second (minimised: no notification area);
  # it is brought back once that is done.
  wid=
  for _ in $(seq 200); do
    for w in $(xdotool search --pid "$pid" --name '^PalvrenFtp$'); do
      xprop -id "$w" WM_STATE 2>/dev/null | grep -q Iconic && wid=$w
    done
    [ -n "$wid" ] && break
    sleep 0.05
  done
  xdotool windowactivate --sync "$wid" 2>/dev/null
  sleep 0.3
  log="$prog/$(date +%Y%m%d).log"
  start=$(now_ns)
  # "Démarrer sauvegarde", second button of the tool bar.
  xdotool mousemove --window "$wid" 210 16 click 1
  [ "$mode" = minimised ] && xdotool windowminimize "$wid"
  until grep -qs 'Sauvegarde actuelle' "$log"; do
    kill -0 "$pid" 2>/dev/null || { echo "PalvrenFtp ended early" >&2; exit 1; }
    sleep 0.01
  done
  last_seconds=$(seconds_since "$start")
  last_kb=$(awk '/^VmHWM/ { print $2 }' "/proc/$pid/status")
  # The upload goes on; its end is waited for so that nothing of this run meets the next one.
  for _ in $(seq 600); do grep -qs 'Sauvegarde terminée\|Reprise dans' "$log" && break; sleep 0.05; done
  kill -9 "$pid"
  wait "$pid" 2>/dev/null || true
}

echo "tree: $(find "$tree" -type f | wc -l) files, $(du -sm "$tree" | cut -f1) MB; $(nproc) cores, both sides on CPUs $cpus; load $(load)"
find "$tree" -type f -exec cat {} + >/dev/null  # every side starts from a warm cache

# The program on an empty folder: the start and the step cost, and the memory of the process.
base_kb=()
for ((r = 1; r <= 3; r++)); do
  rm -f "$prog/palvrenftp.zip"
  ours "$work/empty" minimised
  base_kb+=("$last_kb")
done
base=$(median "${base_kb[@]}")
echo "empty folder: peak memory median $(awk -v k="$base" 'BEGIN { printf "%.1f", k / 1024 }') MB"

theirs="$work/zip.zip"
per_file() { awk -v k="$1" -v b="$2" -v n="$files" 'BEGIN { printf "%.0f", (k - b) * 1024 / n }'; }
# pass LABEL FIRST(1|0): ROUNDS paired rounds; the archives of the last round stay.
pass() {
  local label=$1 first=$2 r m order shown_t=() min_t=() zip_t=() shown_k=() min_k=() zip_k=() rs=() rm_=()
  for ((r = 1; r <= rounds; r++)); do
    case $((r % 3)) in
      1) order="shown minimised zip" ;;
      2) order="minimised zip shown" ;;
      0) order="zip shown minimised" ;;
    esac
    for m in $order; do
      if [ "$m" = zip ]; then
        [ "$first" = 1 ] && rm -f "$theirs"
        if [ "$first" = 1 ]; then
          timed bash -c "cd '$tree' && exec taskset -c $cpus zip -r -6 -q '$theirs' ."
        else
          timed bash -c "cd '$tree' && exec taskset -c $cpus zip -ru -6 -q '$theirs' ."
        fi
        zip_t+=("$last_seconds"); zip_k+=("$last_kb")
      else
        if [ "$first" = 1 ]; then rm -f "$prog/palvrenftp.zip"; else cp "$work/ours.zip" "$prog/palvrenftp.zip"; fi
        ours "$tree" "$m"
        if [ "$m" = shown ]; then shown_t+=("$last_seconds"); shown_k+=("$last_kb"); else min_t+=("$last_seconds"); min_k+=("$last_kb"); fi
        [ "$first" = 1 ] && cp "$prog/palvrenftp.zip" "$work/ours.zip"
      fi
    done
    echo "  $label round $r: shown ${shown_t[-1]} s ${shown_k[-1]} KB, minimised ${min_t[-1]} s ${min_k[-1]} KB, zip ${zip_t[-1]} s ${zip_k[-1]} KB; load $(load)"
    rs+=("$(awk -v a="${shown_t[-1]}" -v b="${zip_t[-1]}" 'BEGIN { printf "%.4f", a / b }')")
    rm_+=("$(awk -v a="${min_t[-1]}" -v b="${zip_t[-1]}" 'BEGIN { printf "%.4f", a / b }')")
  done
  local smin smed mmin mmed tsmed tmmed zmed ks km kz
  read -r smin smed < <(stats "${rs[@]}")
  read -r mmin mmed < <(stats "${rm_[@]}")
  tsmed=$(median "${shown_t[@]}")
  tmmed=$(median "${min_t[@]}")
  zmed=$(median "${zip_t[@]}")
  ks=$(median "${shown_k[@]}")
  km=$(median "${min_k[@]}")
  kz=$(median "${zip_k[@]}")
  echo "$label ($files files): median shown $tsmed s, minimised $tmmed s, zip $zmed s;" \
    "ratio to zip shown min $smin median $smed, minimised min $mmin median $mmed"
  mb() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
  echo "$label memory: median peak shown $(mb "$ks") MB, minimised $(mb "$km") MB, zip $(mb "$kz") MB;" \
    "per file shown $(per_file "$ks" "$base") B, minimised $(per_file "$km" "$base") B, zip $(per_file "$kz" 0) B"
}

pass "first run" 1
unzip -tqq "$work/ours.zip" && echo "unzip -t: ok; sizes: ours $(stat -c %s "$work/ours.zip") bytes, zip $(stat -c %s "$theirs") bytes"
[ "${BENCH_UNCHANGED:-1}" = 1 ] && pass "unchanged run" 0
echo "load at the end: $(load)"

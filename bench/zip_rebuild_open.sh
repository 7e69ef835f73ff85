#!/usr/bin/env bash
# Opens a 200 MB archive whose directory is gone (BENCH_MB to change), so that it is rebuilt
# from its local headers, beside "7z l" of the same file: whole processes in paired rounds
# whose order alternates (BENCH_ROUNDS, default 7), both on the same core (BENCH_CORE), and the
# bytes our open reads (its read calls, through strace) against the file's size.
# Two shapes: entries whose headers give their sizes (python zipfile to a file), and entries
# that leave them to a data descriptor (written to a pipe), whose data are searched.
# Usage: bench/zip_rebuild_open.sh [build folder, a Release build made there when missing] [WORK_DIR]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$top/build-bench}")
work=${2:-$(mktemp -d /tmp/palvren-rebuild-XXXXXX)}
mb=${BENCH_MB:-200}
rounds=${BENCH_ROUNDS:-7}
core=${BENCH_CORE:-1}
source "$top/bench/paired_rounds.sh"

release_target "$build" zip_open_driver
driver="$build/bench/zip_open_driver"

echo "$(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg), both sides on core $core, $rounds rounds"
for shape in sized described; do
  archive="$work/$shape$mb.zip"
  if [ ! -f "$archive" ]; then
    # Half text (deflated), half noise (stored), 64 KB files; then the directory is cut off.
    /usr/bin/python3 - "$archive" "$mb" "$shape" <<'PY'
import io, random, sys, zipfile
path, mb, shape = sys.argv[1], int(sys.argv[2]), sys.argv[3]
rng = random.Random(7)
words = [b"sauvegarde", b"archive", b"journal", b"fichier", b"dossier", b"serveur"]
class Pipe(io.RawIOBase):  # a file that cannot seek: every entry gets a descriptor
    def __init__(self, f): self.f = f
    def writable(self): return True
    def write(self, b): return self.f.write(b)
with open(path, "wb") as f:
    out = Pipe(f) if shape == "described" else f
    with zipfile.ZipFile(out, "w") as z:
        i = 0
        while f.tell() < mb * 1024 * 1024:
            if i % 2:
                z.writestr("noise/%05d.bin" % i, rng.randbytes(65536), zipfile.ZIP_STORED)
            else:
                text = b" ".join(rng.choice(words) for _ in range(20000))[:262144]
                z.writestr("text/%05d.txt" % i, text, zipfile.ZIP_DEFLATED)
            i += 1
        z.fp.flush()
        cut = z.start_dir
# Everything from the directory on goes.
with open(path, "r+b") as f:
    f.truncate(cut)
PY
  fi
  size=$(stat -c %s "$archive")
  entries=$("$driver" "$archive" | cut -d' ' -f2)
  echo "$shape: $archive, $size bytes, $entries entries"
  strace -f -e trace=read,pread64 -o "$work/strace-$shape.txt" "$driver" "$archive" >/dev/null
  awk -v size="$size" '{ if (match($0, /= [0-9]+$/)) { n = substr($0, RSTART + 2); total += n } }
    END { printf "  bytes read by our open (read calls): %d, %.2f x the file\n", total, total / size }' "$work/strace-$shape.txt"
  noop() { :; }
  paired_rounds "open $shape, ours / 7z l" "$rounds" noop "taskset -c $core $driver $archive" noop \
    "taskset -c $core 7z l $archive"
done

#!/usr/bin/env bash
# Peak memory and wall time of dorvanelle-cli on files made to cost it: inputs that
# are not ordinary files, small pictures at the head of sparse files of 4 GiB, a
# study of a million frames converted with --all-frames and stopped by one Ctrl+C,
# the same onto a "full disk" (a file size limit), and histogram of a file without
# an image. Each is measured with /usr/bin/time -v; prints one table.
#
#   bench/hostile-inputs.sh [BUILD_DIR]        (default: build)
set -euo pipefail

build=${1:-build}
cli=$build/bin/dorvanelle-cli
[[ -x $cli ]] || { echo "hostile-inputs: $cli is missing (build first)" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "hostile-inputs: /usr/bin/time is missing (scripts/install-deps --bench)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/dorvanelle-hostile.XXXXXX")
trap 'rm -rf "$work"' EXIT

python3 - "$work" <<'PY'
import os, struct, sys
work = sys.argv[1]
four_gib = (4 << 30) - 1  # the largest file that was once read whole

def sparse(name, head, size):
    path = os.path.join(work, name)
    with open(path, "wb") as f:
        f.write(head)
        f.truncate(size)

# A bitmap of 8192 x 4096 8-bit pixels (32 MiB) at the head of 4 GiB.
info = struct.pack("<IiiHHIIiiII", 40, 8192, 4096, 1, 8, 0, 0, 0, 0, 0, 0)
sparse("sparse.bmp", b"BM" + struct.pack("<IHHI", 0, 0, 0, 14 + 40 + 1024) + info + bytes(1024), four_gib)

# A PCX picture of 8190 x 4096 bytes made of the longest runs, at the head of 4 GiB.
header = bytearray(128)
header[0:4] = bytes([10, 5, 1, 8])
header[10:12] = struct.pack("<H", 4096 - 1)
header[65] = 1
header[66:68] = struct.pack("<H", 63 * 130)
sparse("sparse.pcx", bytes(header) + bytes([0xC0 + 63, 9]) * (130 * 4096), four_gib)

# An explicit-VR little-endian element.
def element(group, elem, vr, value):
    if vr in ("OB", "OW", "UN", "SQ", "UT"):
        return struct.pack("<HH2sHI", group, elem, vr.encode(), 0, len(value)) + value
    return struct.pack("<HH2sH", group, elem, vr.encode(), len(value)) + value

def text(value):
    value = value.encode()
    return value + (b" " if len(value) % 2 else b"")

syntax = b"1.2.840.10008.1.2.1\0"
meta = element(0x0002, 0x0010, "UI", syntax)
meta = element(0x0002, 0x0000, "UL", struct.pack("<I", len(meta))) + meta
frames = 1000000
attributes = (element(0x0028, 0x0002, "US", struct.pack("<H", 1)) +
              element(0x0028, 0x0004, "CS", text("MONOCHROME2")) +
              element(0x0028, 0x0008, "IS", text(str(frames))) +
              element(0x0028, 0x0010, "US", struct.pack("<H", 16)) +
              element(0x0028, 0x0011, "US", struct.pack("<H", 16)) +
              element(0x0028, 0x0100, "US", struct.pack("<H", 8)) +
              element(0x0028, 0x0101, "US", struct.pack("<H", 8)) +
              element(0x0028, 0x0102, "US", struct.pack("<H", 7)))
pixels = struct.pack("<HH2sHI", 0x7FE0, 0x0010, b"OB", 0, 16 * 16 * frames)
head = bytes(128) + b"DICM" + meta + attributes + pixels
sparse("endless.dcm", head, len(head) + 16 * 16 * frames)
with open(os.path.join(work, "nopixels.dcm"), "wb") as f:
    f.write(bytes(128) + b"DICM" + meta + element(0x0010, 0x0010, "PN", text("NO^PIXELS")))
PY
mkfifo "$work/pipe.dcm"

# Runs `time -v` on the command; sets status, wall (seconds) and peak (MiB).
measure() {
  local report=$work/time.txt
  set +e
  /usr/bin/time -v -o "$report" "$@" >/dev/null 2>"$work/err.txt"
  status=$?
  set -e
  peak=$(awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$report")
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; printf "%.2f", s }' "$report")
}

echo "| input | command | exit | wall s | peak MiB | says |"
echo "|---|---|---:|---:|---:|---|"
row() { echo "| $1 | $2 | $status | $wall | $peak | $(head -c 120 "$work/err.txt" | tr '\n|' '  ') |"; }

measure "$cli" info "$work/pipe.dcm";                     row "named pipe" "info"
measure "$cli" dump "$work/pipe.dcm";                     row "named pipe" "dump"
measure "$cli" info "$work/sparse.bmp";                   row "4 GiB sparse .bmp, 32 MiB picture" "info"
measure "$cli" info "$work/sparse.pcx";                   row "4 GiB sparse .pcx, 32 MiB picture" "info"
measure "$cli" histogram "$work/nopixels.dcm";            row "no image (no rows or columns)" "histogram"

# A million frames: one SIGINT after a second; the time from the signal to the end.
# (With job control on, so that the background job does not start with SIGINT ignored.)
rm -rf "$work/frames"
set -m
/usr/bin/time -v -o "$work/time.txt" "$cli" convert --out-dir "$work/frames" --all-frames "$work/endless.dcm" \
  2>"$work/err.txt" &
timer=$!
set +m
sleep 1
child=$(pgrep -P "$timer" | head -1)
sent=$(date +%s%N)
kill -INT "$child"
set +e; wait "$timer"; set -e
ended=$(date +%s%N)
written=$(find "$work/frames" -name '*.bmp' | wc -l)
status=$(awk '/Command terminated by signal/ { print "signal " $NF } /Exit status/ { print $NF }' "$work/time.txt" | head -1)
peak=$(awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$work/time.txt")
wall=$(awk -v a="$sent" -v b="$ended" 'BEGIN { printf "%.2f", (b - a) / 1e9 }')
echo "| 1,000,000 frames, SIGINT after 1 s ($written written) | convert --all-frames | $status | $wall after the signal | $peak | $(grep -o 'stopped[^|]*' "$work/err.txt" | head -1) |"

# The same onto a disk where no file may pass 1 KiB (SIGXFSZ ignored: the write fails).
rm -rf "$work/frames"
measure bash -c "trap '' XFSZ; ulimit -f 1; exec '$cli' convert --out-dir '$work/frames' --all-frames '$work/endless.dcm'"
row "1,000,000 frames, every write fails" "convert --all-frames"

#!/usr/bin/env bash
# Peak memory and wall time of dorvanelle-cli on files made to cost it: inputs that
# are not ordinary files, small pictures at the head of sparse files of 4 GiB,
# compressed frames whose headers claim gigabytes, a deflated data set that inflates
# to 2 GiB, a 12-bit study claiming 2^31 - 1 frames, a study of a million frames
# converted with --all-frames and stopped by one Ctrl+C, the same onto a "full disk"
# (a file size limit), and histogram of a file without an image; and, when
# hostile_viewer_probe is built, the viewer's open, header dialog and range pass. Each
# is measured with /usr/bin/time -v; prints one table.
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

python3 - "$work" <<'PY'
# Compressed streams whose headers claim gigabytes, a 12-bit study claiming 2^31 - 1
# frames, and a deflated data set that inflates to 2 GiB.
import os, struct, sys, zlib
work = sys.argv[1]
def element(group, elem, vr, value):
    if vr in ("OB", "OW", "UN", "SQ", "UT"):
        return struct.pack("<HH2sHI", group, elem, vr.encode(), 0, len(value)) + value
    return struct.pack("<HH2sH", group, elem, vr.encode(), len(value)) + value
def text(v):
    v = v.encode(); return v + (b" " if len(v) % 2 else b"")
def be16(v): return struct.pack(">H", v)
def be32(v): return struct.pack(">I", v)
def pad_comments(out, marker, size, reserve):
    while len(out) + reserve + 4 < size:
        length = min(size - reserve - len(out) - 2, 0xFFFF)
        out += bytes([0xFF, marker]) + be16(length) + b"x" * (length - 2)
def j2k(width, height, comps, bits, size):
    tile, levels, present = 1024, 5, 4
    out = bytearray([0xFF, 0x4F, 0xFF, 0x51]) + be16(38 + 3 * comps) + be16(0)
    for v in (width, height, 0, 0, tile, tile, 0, 0): out += be32(v)
    out += be16(comps)
    for _ in range(comps): out += bytes([bits - 1, 1, 1])
    out += bytes([0xFF, 0x52, 0, 12, 0, 0, 0, 1, 1 if comps == 3 else 0, levels, 4, 4, 0, 1])
    out += bytes([0xFF, 0x5C, 0, 3 + 3 * levels + 1, 0x40]) + bytes([(bits + 2) << 3] * (1 + 3 * levels))
    packets = (levels + 1) * comps
    tile_bytes = 12 + 2 + packets
    pad_comments(out, 0x64, size, present * tile_bytes + 2)
    for t in range(present):
        out += bytes([0xFF, 0x90, 0, 10]) + be16(t) + be32(tile_bytes) + bytes([0, 1, 0xFF, 0x93]) + bytes(packets)
    return bytes(out + bytes([0xFF, 0xD9]))
def progressive(width, height, size):
    out = bytearray([0xFF, 0xD8, 0xFF, 0xDB, 0, 67, 0]) + bytes([1] * 64)
    pad_comments(out, 0xFE, size, 2 + 11 + 2 + 2 + 19 + 2 + 14 + 2 + 8)
    out += bytes([0xFF, 0xC2, 0, 11, 8]) + be16(height) + be16(width) + bytes([1, 1, 0x11, 0])
    out += bytes([0xFF, 0xC4, 0, 20, 0, 1]) + bytes(15) + bytes([0])
    out += bytes([0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 0, 0]) + bytes(8) + bytes([0xFF, 0xD9])
    return bytes(out)
def meta(syntax):
    m = element(2, 0x10, "UI", syntax.encode() + (b"\0" if len(syntax) % 2 else b""))
    return bytes(128) + b"DICM" + element(2, 0, "UL", struct.pack("<I", len(m))) + m
def attributes(side, samples, bits, frames):
    return (element(0x28, 2, "US", struct.pack("<H", samples)) +
            element(0x28, 4, "CS", text("RGB" if samples == 3 else "MONOCHROME2")) +
            element(0x28, 6, "US", struct.pack("<H", 0)) + element(0x28, 8, "IS", text(str(frames))) +
            element(0x28, 0x10, "US", struct.pack("<H", side)) + element(0x28, 0x11, "US", struct.pack("<H", side)) +
            element(0x28, 0x100, "US", struct.pack("<H", bits)) + element(0x28, 0x101, "US", struct.pack("<H", bits)) +
            element(0x28, 0x102, "US", struct.pack("<H", bits - 1)) + element(0x28, 0x103, "US", struct.pack("<H", 0)))
def encapsulated(frames):
    out = struct.pack("<HH2sHI", 0x7FE0, 0x10, b"OB", 0, 0xFFFFFFFF) + struct.pack("<HHI", 0xFFFE, 0xE000, 0)
    for f in frames:
        f = f + (b"\0" if len(f) % 2 else b"")
        out += struct.pack("<HHI", 0xFFFE, 0xE000, len(f)) + f
    return out + struct.pack("<HHI", 0xFFFE, 0xE0DD, 0)
def write(name, data):
    with open(os.path.join(work, name), "wb") as f: f.write(data)
j2ks = "1.2.840.10008.1.2.4.90"
write("j2k-grey.dcm", meta(j2ks) + attributes(32768, 1, 8, 1) + encapsulated([j2k(32768, 32768, 1, 8, 410000)]))
write("j2k-colour.dcm", meta(j2ks) + attributes(18918, 3, 8, 1) + encapsulated([j2k(18918, 18918, 3, 8, 410000)]))
f16 = j2k(32768, 32768, 1, 16, 400000)
write("j2k-study16.dcm", meta(j2ks) + attributes(32768, 1, 16, 4) + encapsulated([f16] * 4))
# The same claim in 16 bits, four frames of 12000 x 12000: each fits the decode budget
# and takes seconds to decode, which the viewer's range pass must bound.
f16 = j2k(12000, 12000, 1, 16, 400000)
write("j2k-slow16.dcm", meta(j2ks) + attributes(12000, 1, 16, 4) + encapsulated([f16] * 4))
write("progressive.dcm", meta("1.2.840.10008.1.2.4.55") + attributes(32768, 1, 8, 1) +
      encapsulated([progressive(32768, 32768, 413000)]))
# 12 bits allocated, 2,147,483,647 frames claimed, 16 x 16, one frame's bytes.
write("endless12.dcm", meta("1.2.840.10008.1.2.1") + element(0x28, 2, "US", struct.pack("<H", 1)) +
      element(0x28, 4, "CS", text("MONOCHROME2")) + element(0x28, 8, "IS", text("2147483647")) +
      element(0x28, 0x10, "US", struct.pack("<H", 16)) + element(0x28, 0x11, "US", struct.pack("<H", 16)) +
      element(0x28, 0x100, "US", struct.pack("<H", 12)) + element(0x28, 0x101, "US", struct.pack("<H", 12)) +
      element(0x28, 0x102, "US", struct.pack("<H", 11)) + element(0x7FE0, 0x10, "OB", bytes(384)))
# A deflated data set of 2 GiB: 8 frames of 16384 x 16384 bytes, mostly zeros.
side, frames = 16384, 8
ds = element(0x10, 0x10, "PN", text("DEFLATED^TWO^GB")) + attributes(side, 1, 8, frames)
total = side * side * frames
ds += struct.pack("<HH2sHI", 0x7FE0, 0x10, b"OB", 0, total)
c = zlib.compressobj(1, zlib.DEFLATED, -15)
with open(os.path.join(work, "deflated2g.dcm"), "wb") as f:
    f.write(meta("1.2.840.10008.1.2.1.99"))
    f.write(c.compress(ds))
    chunk = 1 << 20
    noise = os.urandom(16384)
    for i in range(total // chunk):
        f.write(c.compress(noise + bytes(chunk - 16384)))
    f.write(c.compress(element(0x0040, 0xA160, "UT", text("after the pixels"))))
    f.write(c.flush())
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

measure "$cli" info "$work/j2k-grey.dcm";                  row "JPEG 2000 claiming 32768 x 32768 grey (410 KB)" "info"
measure "$cli" convert "$work/j2k-grey.dcm" "$work/out.bmp"; row "JPEG 2000 claiming 32768 x 32768 grey (410 KB)" "convert"
measure "$cli" info "$work/j2k-colour.dcm";                row "JPEG 2000 claiming 18918 x 18918 colour" "info"
measure "$cli" info "$work/j2k-study16.dcm";               row "JPEG 2000, 4 frames of 32768 x 32768 x 16 bits, no window" "info"
measure "$cli" info "$work/j2k-slow16.dcm";                row "JPEG 2000, 4 frames of 12000 x 12000 x 16 bits, no window" "info"
measure "$cli" info "$work/progressive.dcm";               row "progressive JPEG claiming 32768 x 32768" "info"
measure "$cli" info "$work/deflated2g.dcm";                row "deflated data set inflating to 2 GiB" "info"
measure "$cli" dump "$work/deflated2g.dcm";                row "deflated data set inflating to 2 GiB" "dump"
rm -rf "$work/frames12"
measure "$cli" convert --out-dir "$work/frames12" --all-frames "$work/endless12.dcm"
row "12-bit, 2,147,483,647 frames claimed, one held ($(find "$work/frames12" -name '*.bmp' | wc -l) written)" "convert --all-frames"

# The viewer, when the probe is built (offscreen): the open and the header dialog of the
# deflated data set, and the range pass of it and of the slow JPEG 2000 study.
probe=$build/bin/hostile_viewer_probe
if [[ -x $probe ]]; then
  for what in "open deflated2g.dcm" "header deflated2g.dcm" "range deflated2g.dcm" "range j2k-slow16.dcm"; do
    set -- $what
    /usr/bin/time -v -o "$work/time.txt" env QT_QPA_PLATFORM=offscreen "$probe" "$1" "$work/$2" >"$work/probe.txt" 2>/dev/null || true
    peak=$(awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$work/time.txt")
    echo "| viewer, $2 | $1 | | | $peak | $(tr '\n|' '  ' < "$work/probe.txt") |"
  done
  # The viewer ended while the walk or the pass still runs: from the quit until the
  # process has gone, on the monotonic clock the probe prints.
  for what in "quit-header deflated2g.dcm" "quit-range j2k-slow16.dcm"; do
    set -- $what
    said=$(QT_QPA_PLATFORM=offscreen python3 - "$probe" "$1" "$work/$2" <<'PY'
import subprocess, sys, time
run = subprocess.run(sys.argv[1:], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
end = time.monotonic() * 1000
lines = run.stdout.splitlines()
quit = [int(line.split()[2]) for line in lines if line.startswith("quit at")]
said = " ".join(line for line in lines if not line.startswith("quit at"))
print(f"exit {run.returncode}, gone {end - quit[0]:.0f} ms after the quit; {said}" if quit else said)
PY
)
    echo "| viewer, $2 | $1 | | | | $said |"
  done
fi

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

#!/usr/bin/env bash
# Times dorvanelle-cli's frame decoders against the libraries' own tools on the
# same streams, in one run on one machine: a 2048 x 2048 frame of the generated
# phantom as 8-bit JPEG baseline (djpeg), as 14-bit JPEG 2000 lossless
# (opj_decompress -threads N, N the core count), as HTJ2K lossless (ojph_expand,
# and opj_decompress, which reads it too) and as JPEG XL lossless (djxl). Each
# stream is wrapped as a one-frame study by dorvanelle-gen, and `convert` writes a
# bitmap of it; the tools write a PGM picture, which goes out a row at a time as
# rows are decoded. A BMP keeps its rows bottom up, so its writer holds the whole
# picture first: ours, and djpeg's with -bmp, timed in a second JPEG row. A last
# row times each program's start alone (printing its version): the part of the
# first row that is no frame.
# Outputs go to a memory file system where there is one, so that neither side's
# time is the disk's. Prints a Markdown table of medians, processor times (user +
# system), ratios and peak memory.
#
#   bench/codecs-side-by-side.sh [BUILD_DIR]   (default: build)
#   RUNS=20 bench/codecs-side-by-side.sh       more runs per command (default 10)
set -euo pipefail

build=${1:-build}
runs=${RUNS:-10}
cli=$build/bin/dorvanelle-cli
gen=$build/bin/dorvanelle-gen
for tool in "$cli" "$gen"; do
  [[ -x $tool ]] || { echo "codecs-side-by-side: $tool is missing (build first)" >&2; exit 1; }
done
for tool in hyperfine /usr/bin/time cjpeg djpeg opj_compress opj_decompress ojph_compress ojph_expand cjxl djxl; do
  command -v "$tool" >/dev/null || { echo "codecs-side-by-side: $tool is missing (scripts/install-deps --bench)" >&2; exit 1; }
done
cli=$(realpath "$cli")
gen=$(realpath "$gen")
threads=$(nproc)

work=$(mktemp -d "${TMPDIR:-/tmp}/dorvanelle-codecs.XXXXXX")
out=$work
if [[ -d /dev/shm && -w /dev/shm ]]; then
  out=$(mktemp -d /dev/shm/dorvanelle-codecs.XXXXXX)
fi
trap 'rm -rf "$work" "$out"' EXIT

# Median wall time and median processor time (user + system) in milliseconds.
timed() {
  hyperfine -N --output=null --style none --warmup 2 --runs "$runs" --export-csv "$work/t.csv" "$1" >/dev/null 2>&1
  awk -F, 'NR == 2 { printf "%.1f %.1f", $4 * 1000, ($5 + $6) * 1000 }' "$work/t.csv"
}

peak_mib() {
  /usr/bin/time -f %M -o "$work/mem" bash -c "exec $1 > /dev/null 2>&1" || true
  awk '{ printf "%.1f", $1 / 1024 }' "$work/mem"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

echo "Making the streams in $work ..." >&2
size="--rows 2048 --columns 2048 --frames 1"
"$gen" $size --pgm 8 "$work/f8.pgm"
"$gen" $size --pgm 14 "$work/f14.pgm"
cjpeg -quality 90 -outfile "$work/f8.jpg" "$work/f8.pgm"
opj_compress -i "$work/f14.pgm" -o "$work/f14.j2k" >/dev/null
ojph_compress -i "$work/f14.pgm" -o "$work/f14.j2c" -reversible true >/dev/null
cjxl "$work/f14.pgm" "$work/f14.jxl" -d 0 -e 3 >/dev/null 2>&1
"$gen" $size --encapsulate 1.2.840.10008.1.2.4.50 8 "$work/f8.jpg" "$work/jpeg.dcm"
"$gen" $size --encapsulate 1.2.840.10008.1.2.4.90 16 "$work/f14.j2k" "$work/j2k.dcm"
"$gen" $size --encapsulate 1.2.840.10008.1.2.4.201 16 "$work/f14.j2c" "$work/htj2k.dcm"
"$gen" $size --encapsulate 1.2.840.10008.1.2.4.110 16 "$work/f14.jxl" "$work/jxl.dcm"

cases=(
  "8-bit JPEG baseline|$cli convert $work/jpeg.dcm $out/o.bmp|djpeg -outfile $out/o.pgm $work/f8.jpg"
  "8-bit JPEG baseline, both writing a BMP|$cli convert $work/jpeg.dcm $out/o.bmp|djpeg -bmp -outfile $out/o.bmp $work/f8.jpg"
  "14-bit JPEG 2000 lossless|$cli convert $work/j2k.dcm $out/o.bmp|opj_decompress -threads $threads -i $work/f14.j2k -o $out/o.pgm"
  "HTJ2K lossless|$cli convert $work/htj2k.dcm $out/o.bmp|ojph_expand -i $work/f14.j2c -o $out/o.pgm"
  "HTJ2K lossless, OpenJPEG|$cli convert $work/htj2k.dcm $out/o.bmp|opj_decompress -threads $threads -i $work/f14.j2c -o $out/o.pgm"
  "JPEG XL lossless|$cli convert $work/jxl.dcm $out/o.bmp|djxl $work/f14.jxl $out/o.pgm --num_threads $threads"
  "start-up alone (no frame)|$cli --version|djpeg -version"
)

echo "| 2048 x 2048 frame | cli ms | cli CPU ms | tool | tool ms | tool CPU ms | cli / tool | cli peak MiB | tool peak MiB |"
echo "|---|---:|---:|---|---:|---:|---:|---:|---:|"
for c in "${cases[@]}"; do
  IFS='|' read -r name ours theirs <<<"$c"
  read -r ourMs ourCpu <<<"$(timed "$ours")"
  read -r theirMs theirCpu <<<"$(timed "$theirs")"
  echo "| $name | $ourMs | $ourCpu | ${theirs%% *} | $theirMs | $theirCpu | $(ratio "$ourMs" "$theirMs") | $(peak_mib "$ours") | $(peak_mib "$theirs") |"
done
echo
echo "$runs runs each, $threads cores, load average $(cut -d' ' -f1 /proc/loadavg) at the end."

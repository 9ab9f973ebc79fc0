#!/usr/bin/env bash
# Times `dorvanelle-cli index` on a generated study folder of 2,000 single-frame
# files (4 series of 500 slices, 256 x 256, shuffled names) against GDCM's
# gdcmscanner asked for the same three attributes, a pydicom loop that reads each
# header (dcmread with stop_before_pixels), and the floor: one process that lists
# the folder and reads the first 8 KiB of each file. Then the peak memory of
# indexing 20,000 files, and, where the page cache can be dropped, the same
# folder from a cold cache.
#
#   bench/index-side-by-side.sh [BUILD_DIR]   (default: build)
#   RUNS=20 bench/index-side-by-side.sh       more runs per command (default 10)
set -euo pipefail

build=${1:-build}
runs=${RUNS:-10}
cli=$build/bin/dorvanelle-cli
gen=$build/bin/dorvanelle-gen
floor=$build/bin/index_read_floor
for tool in "$cli" "$gen" "$floor"; do
  [[ -x $tool ]] || { echo "index-side-by-side: $tool is missing (build first)" >&2; exit 1; }
done
for tool in gdcmscanner hyperfine /usr/bin/time /usr/bin/python3; do
  command -v "$tool" >/dev/null || { echo "index-side-by-side: $tool is missing (scripts/install-deps --bench)" >&2; exit 1; }
done
cli=$(realpath "$cli")
floor=$(realpath "$floor")

work=$(mktemp -d "${TMPDIR:-/tmp}/dorvanelle-index-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "Generating 2,000 files of 256 x 256 and 20,000 of 64 x 64 in $work ..." >&2
"$gen" --study --series 4 --slices 500 --rows 256 --columns 256 "$work/study"
"$gen" --study --series 4 --slices 5000 --rows 64 --columns 64 "$work/large"

cat > "$work/pydicom-loop.py" <<'PY'
import os, sys
import pydicom
folder = sys.argv[1]
series = {}
for name in os.listdir(folder):
    ds = pydicom.dcmread(os.path.join(folder, name), stop_before_pixels=True)
    series.setdefault(ds.SeriesInstanceUID, []).append((ds.get("InstanceNumber"), ds.get("ImagePositionPatient")))
print(len(series))
PY

median_ms() {
  hyperfine -N --output=null --style none --warmup 2 --runs "$2" --export-csv "$work/t.csv" "$1" >/dev/null 2>&1
  awk -F, 'NR == 2 { printf "%.1f", $(NF - 4) * 1000 }' "$work/t.csv"  # the command may hold commas
}
peak_mib() {
  /usr/bin/time -f %M -o "$work/mem" bash -c "exec $1 > /dev/null 2>&1" || true
  awk '{ printf "%.1f", $1 / 1024 }' "$work/mem"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

folder=$work/study
commands=(
  "dorvanelle-cli index|$cli index $folder"
  "dorvanelle-cli index -j 1|$cli index -j 1 $folder"
  "gdcmscanner|gdcmscanner -d $folder -r -p -t 0020,000e -t 0020,0013 -t 0020,0032"
  "pydicom dcmread loop|/usr/bin/python3 $work/pydicom-loop.py $folder"
  "floor: list, open, read 8 KiB|$floor $folder"
)
declare -A ms=()
echo "| 2,000 files, 4 series of 500, 256 x 256, warm cache | ms | / dorvanelle-cli index | peak MiB |"
echo "|---|---:|---:|---:|"
for entry in "${commands[@]}"; do
  IFS='|' read -r name command <<<"$entry"
  n=$runs
  [[ $name == pydicom* ]] && n=3
  ms[$name]=$(median_ms "$command" "$n")
done
for entry in "${commands[@]}"; do
  IFS='|' read -r name command <<<"$entry"
  echo "| $name | ${ms[$name]} | $(ratio "${ms[$name]}" "${ms[dorvanelle-cli index]}") | $(peak_mib "$command") |"
done
echo
echo "gdcmscanner / index: $(ratio "${ms[gdcmscanner]}" "${ms[dorvanelle-cli index]}") (target 3 or more);" \
  "pydicom / index: $(ratio "${ms[pydicom dcmread loop]}" "${ms[dorvanelle-cli index]}") (target 30 or more);" \
  "index / floor: $(ratio "${ms[dorvanelle-cli index]}" "${ms[floor: list, open, read 8 KiB]}")."

echo
echo "Indexing 20,000 files (4 series of 5,000, 64 x 64): $(median_ms "$cli index $work/large" 3) ms," \
  "peak resident memory $(peak_mib "$cli index $work/large") MiB (target under 64)."

cold_ms() {
  hyperfine -N --output=null --style none --runs 3 --prepare "sh -c 'sync; echo 3 > /proc/sys/vm/drop_caches'" \
    --export-csv "$work/t.csv" "$1" >/dev/null 2>&1
  awk -F, 'NR == 2 { printf "%.1f", $(NF - 4) * 1000 }' "$work/t.csv"  # the command may hold commas
}
if [[ ${COLD:-1} == 1 ]] && sh -c 'echo 1 > /proc/sys/vm/drop_caches' 2>/dev/null; then
  echo
  echo "| 2,000 files, cold cache | ms |"
  echo "|---|---:|"
  for entry in "${commands[@]}"; do
    IFS='|' read -r name command <<<"$entry"
    [[ $name == pydicom* || $name == *"-j 1" ]] && continue
    echo "| $name | $(cold_ms "$command") |"
  done
  echo
  echo "Cold cache: medians of 3 runs, each after sync and echo 3 > /proc/sys/vm/drop_caches."
else
  echo
  echo "Cold cache: skipped (the page cache cannot be dropped here)."
fi
echo
echo "Warm: medians of $runs runs (pydicom: 3) after 2 warm-up runs, hyperfine -N, output to /dev/null;" \
  "load average when done: $(cut -d' ' -f1-3 /proc/loadavg)."

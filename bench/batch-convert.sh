#!/usr/bin/env bash
# Times converting a folder of small DICOM files to bitmaps: dorvanelle-cli convert
# --out-dir with one job and with two, against one dcm2pnm process per file (as a
# shell loop over the folder does). Prints the times in seconds and the ratios.
#
#   bench/batch-convert.sh [BUILD_DIR]        (default: build)
#   FILES=500 RUNS=5 bench/batch-convert.sh   fewer files, more runs (default 2000, 3)
set -euo pipefail

build=${1:-build}
files=${FILES:-2000}
runs=${RUNS:-3}
cli=$build/bin/dorvanelle-cli
gen=$build/bin/dorvanelle-gen
for tool in "$cli" "$gen"; do
  [[ -x $tool ]] || { echo "batch-convert: $tool is missing (build first)" >&2; exit 1; }
done
command -v dcm2pnm >/dev/null || { echo "batch-convert: dcm2pnm is missing (scripts/install-deps --bench)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/dorvanelle-batch.XXXXXX")
trap 'rm -rf "$work"' EXIT

# 64 x 64 16-bit single-frame studies, eight different ones copied round.
echo "Generating $files studies in $work ..." >&2
mkdir -p "$work/in"
for k in 0 1 2 3 4 5 6 7; do
  "$gen" --rows 64 --columns 64 --frames 1 --window 400 $((40 + k)) --intercept -1024 "$work/seed$k.dcm" >/dev/null
done
for ((i = 0; i < files; i++)); do
  cp "$work/seed$((i % 8)).dcm" "$work/in/$(printf 'IM%05d.dcm' "$i")"
done

seconds() { awk -v ns="$1" 'BEGIN { printf "%.3f", ns / 1e9 }'; }
# Median wall time in nanoseconds of `bash -c "$1"` over $runs runs, each into a
# fresh output folder.
median_ns() {
  for ((r = 0; r < runs; r++)); do
    rm -rf "$work/out"
    mkdir -p "$work/out"
    local start end
    start=$(date +%s%N)
    bash -c "$1" >/dev/null 2>&1
    end=$(date +%s%N)
    echo $((end - start))
  done | sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'
}

j1=$(median_ns "'$cli' convert --out-dir '$work/out' -j 1 '$work/in'")
j2=$(median_ns "'$cli' convert --out-dir '$work/out' -j 2 '$work/in'")
loop=$(median_ns "for f in '$work'/in/*.dcm; do dcm2pnm --write-8-bit-bmp \"\$f\" '$work/out/'\"\$(basename \"\$f\" .dcm)\".bmp; done")
[[ $(ls "$work/out" | wc -l) -eq $files ]] || { echo "batch-convert: dcm2pnm did not write every file" >&2; exit 1; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
echo "| $files files of 64 x 64 x 16 bits | seconds | per file ms |"
echo "|---|---:|---:|"
for row in "dorvanelle-cli -j 1:$j1" "dorvanelle-cli -j 2:$j2" "dcm2pnm, one process per file:$loop"; do
  name=${row%%:*}
  ns=${row##*:}
  echo "| $name | $(seconds "$ns") | $(awk -v ns="$ns" -v n="$files" 'BEGIN { printf "%.2f", ns / n / 1e6 }') |"
done
echo
echo "-j 2 is $(ratio "$j1" "$j2") times as fast as -j 1, and $(ratio "$loop" "$j2") times as fast as dcm2pnm per file" \
  "(medians of $runs runs; $(nproc) processors; load $(cut -d' ' -f1-3 /proc/loadavg))."

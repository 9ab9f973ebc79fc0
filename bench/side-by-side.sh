#!/usr/bin/env bash
# Times dorvanelle-cli against DCMTK on generated 512 x 512 16-bit studies, in one
# run on one machine: converting the first and the last frame (dcm2pnm), listing
# the elements (dcmdump), and reading the file once (cat) as the floor. Prints a
# Markdown table of medians, ratios and peak memory. Where the page cache can be
# dropped (root, and a writable /proc/sys/vm/drop_caches), the first and last frame
# of the largest study are also converted from a cold cache; elsewhere that case is
# skipped and the table says so.
#
#   bench/side-by-side.sh [BUILD_DIR]        (default: build)
#   RUNS=20 bench/side-by-side.sh            more runs per command (default 10)
set -euo pipefail

build=${1:-build}
runs=${RUNS:-10}
cli=$build/bin/dorvanelle-cli
gen=$build/bin/dorvanelle-gen
for tool in "$cli" "$gen"; do
  [[ -x $tool ]] || { echo "side-by-side: $tool is missing (build first)" >&2; exit 1; }
done
for tool in dcm2pnm dcmdump /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "side-by-side: $tool is missing (scripts/install-deps --bench)" >&2; exit 1; }
done
cli=$(realpath "$cli")

work=$(mktemp -d "${TMPDIR:-/tmp}/dorvanelle-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Median wall time of a command in milliseconds, its standard output discarded. It
# runs without a shell in between, so that nothing but the command is timed.
median_ms() {
  if command -v hyperfine >/dev/null; then
    hyperfine -N --output=null --style none --warmup 2 --runs "$runs" --export-csv "$work/t.csv" "$1" >/dev/null 2>&1
    awk -F, 'NR == 2 { printf "%.1f", $4 * 1000 }' "$work/t.csv"
  else
    for _ in 1 2; do bash -c "$1" >/dev/null 2>&1; done
    for ((i = 0; i < runs; i++)); do
      local start end
      start=$(date +%s%N); bash -c "$1" >/dev/null 2>&1; end=$(date +%s%N)
      echo $(((end - start) / 1000))
    done | sort -n | awk '{ t[NR] = $1 } END { m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; printf "%.1f", m / 1000 }'
  fi
}

# Peak resident memory of a command in MiB.
peak_mib() {
  /usr/bin/time -f %M -o "$work/mem" bash -c "exec $1 > /dev/null" 2>/dev/null || true
  awk '{ printf "%.1f", $1 / 1024 }' "$work/mem"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

studies=("1 0" "50 0" "200 0" "800 0" "1 20000")
echo "Generating studies in $work ..." >&2
for s in "${studies[@]}"; do
  read -r frames extra <<<"$s"
  "$gen" --rows 512 --columns 512 --frames "$frames" --extra-elements "$extra" \
    --window 400 40 --intercept -1024 "$work/study-$frames-$extra.dcm"
done

echo "| study | size MiB | job | dorvanelle-cli ms | DCMTK ms | DCMTK / cli | cat ms | cli / cat | cli peak MiB | DCMTK peak MiB |"
echo "|---|---:|---|---:|---:|---:|---:|---:|---:|---:|"
for s in "${studies[@]}"; do
  read -r frames extra <<<"$s"
  file=$work/study-$frames-$extra.dcm
  size=$(stat -c %s "$file")
  size_mib=$(awk -v s="$size" 'BEGIN { printf "%.1f", s / 1048576 }')
  label="$frames frame$([[ $frames == 1 ]] || echo s)$([[ $extra == 0 ]] || echo ", $extra elements")"
  floor=$(median_ms "cat '$file'")

  jobs=("convert first|$cli convert '$file' '$work/cli.bmp' --frame 0|dcm2pnm --use-window 1 --write-8-bit-bmp --frame 1 '$file' '$work/dcmtk.bmp'")
  if [[ $frames != 1 ]]; then
    jobs+=("convert last|$cli convert '$file' '$work/cli.bmp' --frame $((frames - 1))|dcm2pnm --use-window 1 --write-8-bit-bmp --frame $frames '$file' '$work/dcmtk.bmp'")
  fi
  jobs+=("dump|$cli dump '$file'|dcmdump '$file'")

  for job in "${jobs[@]}"; do
    IFS='|' read -r name ours theirs <<<"$job"
    t_ours=$(median_ms "$ours")
    t_theirs=$(median_ms "$theirs")
    m_ours=$(peak_mib "$ours")
    m_theirs=$(peak_mib "$theirs")
    echo "| $label | $size_mib | $name | $t_ours | $t_theirs | $(ratio "$t_theirs" "$t_ours") | $floor | $(ratio "$t_ours" "$floor") | $m_ours | $m_theirs |"
  done
done
# Cold cache: every run starts with the page cache dropped, so that the file comes
# from the disk. The warm-up runs are dropped too.
cold_ms() {
  hyperfine -N --output=null --style none --runs 3 --prepare "sh -c 'sync; echo 3 > /proc/sys/vm/drop_caches'" \
    --export-csv "$work/t.csv" "$1" >/dev/null 2>&1
  awk -F, 'NR == 2 { printf "%.1f", $4 * 1000 }' "$work/t.csv"
}
largest=${studies[3]}
read -r frames extra <<<"$largest"
file=$work/study-$frames-$extra.dcm
if [[ ${COLD:-1} == 1 ]] && command -v hyperfine >/dev/null && sh -c 'echo 1 > /proc/sys/vm/drop_caches' 2>/dev/null; then
  echo
  echo "| study (cold cache) | job | dorvanelle-cli ms | DCMTK ms | DCMTK / cli | cat ms | cli / cat |"
  echo "|---|---|---:|---:|---:|---:|---:|"
  floor=$(cold_ms "cat '$file'")
  for last in 0 1; do
    n=$((last ? frames : 1))
    t_ours=$(cold_ms "$cli convert '$file' '$work/cli.bmp' --frame $((n - 1))")
    t_theirs=$(cold_ms "dcm2pnm --use-window 1 --write-8-bit-bmp --frame $n '$file' '$work/dcmtk.bmp'")
    echo "| $frames frames | convert $([[ $last == 1 ]] && echo last || echo first) | $t_ours | $t_theirs | $(ratio "$t_theirs" "$t_ours") | $floor | $(ratio "$t_ours" "$floor") |"
  done
  echo
  echo "Cold cache: medians of 3 runs, each after sync and echo 3 > /proc/sys/vm/drop_caches."
else
  echo
  echo "Cold cache: skipped (the page cache cannot be dropped here: it needs root, hyperfine and a writable /proc/sys/vm/drop_caches)."
fi

echo
echo "Medians of $runs runs after 2 warm-up runs ($(command -v hyperfine >/dev/null && echo "hyperfine -N" || echo "a shell loop")), standard output to /dev/null, files in the page cache; peak memory is /usr/bin/time's maximum resident set size."

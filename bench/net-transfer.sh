#!/usr/bin/env bash
# Times the network commands against DCMTK's on a local Orthanc, in one run on one
# machine: retrieving a series of 500 instances (512 x 512, 16 bits, 256 MiB) by
# C-GET (dorvanelle-cli get against getscu) and sending the same 500 files
# (dorvanelle-cli send against storescu). Orthanc runs on 127.0.0.1 on free ports
# with a temporary configuration and is stopped at the end. Prints a Markdown
# table of medians and ratios. DCMTK's tools are timed twice: as they come, and
# with TCP_NODELAY=1 in their environment, which makes DCMTK send small packets at
# once (dorvanelle-cli always does); without it each message waits for the
# peer's delayed acknowledgement, about 40 ms on Linux.
#
#   bench/net-transfer.sh [BUILD_DIR]        (default: build)
#   RUNS=10 bench/net-transfer.sh            more runs per command (default 5)
#   INSTANCES=100 bench/net-transfer.sh      a smaller series
set -euo pipefail

build=${1:-build}
runs=${RUNS:-5}
instances=${INSTANCES:-500}
cli=$(realpath "$build/bin/dorvanelle-cli")
gen=$build/bin/dorvanelle-gen
for tool in "$cli" "$gen" /usr/sbin/Orthanc getscu storescu echoscu hyperfine; do
  command -v "$tool" >/dev/null || { echo "net-transfer: $tool is missing (build, and scripts/install-deps --bench)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/dorvanelle-net-bench.XXXXXX")
orthanc=
cleanup() {
  if [[ -n $orthanc ]]; then kill "$orthanc" 2>/dev/null || true; wait "$orthanc" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
port=$(free_port)
root=1.2.826.0.1.3680043.10.900
study=$root.2.1
series=$root.3.1

echo "net-transfer: generating $instances instances of 512 x 512 x 16 bits" >&2
mkdir -p "$work/series"
for ((i = 1; i <= instances; i++)); do
  "$gen" --rows 512 --columns 512 --frames 1 --uid-root "$root" --instance "$i" "$work/series/IM$i.dcm"
done

# Orthanc keeps each file as it arrives and writes it again when it arrives again,
# so every send does the same work.
cat >"$work/orthanc.json" <<JSON
{
  "Name": "dorvanelle-bench",
  "StorageDirectory": "$work/storage",
  "IndexDirectory": "$work/storage",
  "HttpServerEnabled": false,
  "DicomAet": "ORTHANC",
  "DicomPort": $port,
  "DicomAlwaysAllowEcho": true,
  "DicomAlwaysAllowStore": true,
  "DicomAlwaysAllowFind": true,
  "DicomAlwaysAllowGet": true,
  "OverwriteInstances": true,
  "Plugins": []
}
JSON
/usr/sbin/Orthanc "$work/orthanc.json" >"$work/orthanc.log" 2>&1 &
orthanc=$!
for _ in $(seq 100); do
  echoscu -aec ORTHANC 127.0.0.1 "$port" 2>/dev/null && break
  sleep 0.1
done
storescu -aec ORTHANC 127.0.0.1 "$port" "$work/series" --scan-directories >/dev/null 2>&1

server="ORTHANC@127.0.0.1:$port"
declare -A label=(
  [get_cli]="$cli get --server $server --study $study --series $series --out-dir $work/get-cli"
  [get_dcmtk]="getscu -aec ORTHANC -S 127.0.0.1 $port -k QueryRetrieveLevel=SERIES -k StudyInstanceUID=$study -k SeriesInstanceUID=$series -od $work/get-dcmtk"
  [send_cli]="$cli send --server $server $work/series"
  [send_dcmtk]="storescu -aec ORTHANC 127.0.0.1 $port --scan-directories $work/series"
)
label[get_nodelay]="env TCP_NODELAY=1 ${label[get_dcmtk]}"
label[send_nodelay]="env TCP_NODELAY=1 ${label[send_dcmtk]}"
mkdir -p "$work/get-dcmtk"

median_s() {
  hyperfine -N --output=null --style none --warmup 1 --runs "$runs" --prepare "$2" --export-csv "$work/t.csv" "$1" \
    >/dev/null 2>&1
  awk -F, 'NR == 2 { printf "%.2f", $4 }' "$work/t.csv"
}

echo "net-transfer: timing, $runs runs each (load average $(cut -d' ' -f1 /proc/loadavg))" >&2
get_cli=$(median_s "${label[get_cli]}" "rm -rf $work/get-cli")
get_dcmtk=$(median_s "${label[get_dcmtk]}" "find $work/get-dcmtk -type f -delete")
send_cli=$(median_s "${label[send_cli]}" "true")
send_dcmtk=$(median_s "${label[send_dcmtk]}" "true")
get_nodelay=$(median_s "${label[get_nodelay]}" "find $work/get-dcmtk -type f -delete")
send_nodelay=$(median_s "${label[send_nodelay]}" "true")
got=$(find "$work/get-cli" -type f -name '*.dcm' | wc -l)
[[ $got -eq $instances ]] || echo "net-transfer: dorvanelle-cli get wrote $got files, not $instances" >&2

echo
ratio() { awk "BEGIN { printf \"%.2f\", $1 / $2 }"; }
echo "| $instances instances, 512 x 512 x 16 bits | dorvanelle-cli s | DCMTK s | DCMTK, TCP_NODELAY=1 s | cli / DCMTK | cli / DCMTK, TCP_NODELAY=1 |"
echo "|---|---:|---:|---:|---:|---:|"
echo "| C-GET from Orthanc (getscu) | $get_cli | $get_dcmtk | $get_nodelay | $(ratio "$get_cli" "$get_dcmtk") | $(ratio "$get_cli" "$get_nodelay") |"
echo "| C-STORE to Orthanc (storescu) | $send_cli | $send_dcmtk | $send_nodelay | $(ratio "$send_cli" "$send_dcmtk") | $(ratio "$send_cli" "$send_nodelay") |"
echo
echo "commands:"
for key in get_cli get_dcmtk get_nodelay send_cli send_dcmtk send_nodelay; do echo "  ${label[$key]}"; done

#!/bin/sh
# Headers-only loading of 200 CT slices (512 x 512, 16-bit): velmora-tool's DataSet::Load (through
# data_set_load_bench), pydicom's dcmread(stop_before_pixels=True) and DCMTK's dcmdump, same files.
# Usage: bench/data_set/compare_load.sh BUILD_DIR   (a Release build with VELMORA_BENCH=ON)
set -eu
build=${1:?usage: compare_load.sh BUILD_DIR}
dir=$(mktemp -d /tmp/velmora-compare-XXXXXX)
trap 'rm -rf "$dir"' EXIT
"$build/bench/data_set/data_set_load_bench" --write-folder "$dir/ct"
echo "== velmora DataSet::Load"
"$build/bench/data_set/data_set_load_bench" --benchmark_filter=BM_LoadCtFolder --benchmark_min_time=2
echo "== pydicom dcmread(stop_before_pixels=True)"
/usr/bin/python3 - "$dir/ct" <<'PY'
import glob, sys, time
import pydicom
files = sorted(glob.glob(sys.argv[1] + "/*.dcm"))
best = 1e9
for _ in range(3):
    t = time.perf_counter()
    for f in files:
        pydicom.dcmread(f, stop_before_pixels=True)
    best = min(best, time.perf_counter() - t)
print(f"pydicom: {len(files) / best:.0f} files/s")
PY
echo "== dcmdump (one process per file, as a user runs it)"
start=$(date +%s.%N)
for f in "$dir"/ct/*.dcm; do dcmdump -q +M "$f" > /dev/null; done
end=$(date +%s.%N)
echo "dcmdump: $(echo "200 / ($end - $start)" | bc -l | cut -c1-7) files/s"
echo "== dcmdump (one process for all files)"
start=$(date +%s.%N)
dcmdump -q +M "$dir"/ct/*.dcm > /dev/null
end=$(date +%s.%N)
echo "dcmdump: $(echo "200 / ($end - $start)" | bc -l | cut -c1-7) files/s"

#!/usr/bin/env bash
# velmora-tool scan of 1,000 generated single-frame CT files beside pydicom (dcmread with
# stop_before_pixels plus the three labels), in files per second. Usage:
#   bench/app/scan_benchmark.sh build-release/tools/velmora-tool
# Measured on the 2-core development machine (Release build):
#   velmora-tool scan: 1000 files in 0.04-0.06 s (about 20,000 files/s, process start included)
#   pydicom:           1000 files in 0.99-1.03 s (about 1,000 files/s)
set -euo pipefail
tool=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 - "$here/../../resources/DICOM/CT_HEAD/CT005.dcm" "$work/scan1000" <<'PY'
import os, sys, pydicom
src = pydicom.dcmread(sys.argv[1])
os.makedirs(sys.argv[2])
for i in range(1000):
    src.PatientName = f"PAT^{i % 10}"
    src.SeriesDescription = f"Series {i % 7}"
    src.SOPInstanceUID = f"1.2.3.{i}"
    src.save_as(os.path.join(sys.argv[2], f"IM{i:04d}.dcm"))
PY
for run in 1 2 3; do
  start=$(date +%s.%N)
  "$tool" scan "$work/scan1000" > /dev/null
  end=$(date +%s.%N)
  python3 -c "d = $end - $start; print(f'velmora-tool scan: 1000 files in {d:.3f} s = {1000 / d:.0f} files/s')"
done
/usr/bin/python3 "$here/pydicom_scan.py" "$work/scan1000"

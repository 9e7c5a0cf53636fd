#!/bin/sh
# A 200 MB native multi-frame file (pydicom writes it) saved by velmora-tool save (options 0:
# implicit VR little-endian, no group 0002), by DCMTK's dcmconv to implicit VR little-endian, and
# copied by cp: wall time and peak resident memory of each, file cache warm.
# Usage: bench/data_set_writer/compare_save.sh BUILD_DIR   (a Release build)
set -eu
build=${1:?usage: compare_save.sh BUILD_DIR}
dir=$(mktemp -d /tmp/velmora-compare-save-XXXXXX)
trap 'rm -rf "$dir"' EXIT
/usr/bin/python3 - "$dir" <<'PY'
import sys, warnings
import numpy as np
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.uid import ExplicitVRLittleEndian, generate_uid
warnings.simplefilter("ignore")
for mb in (50, 200):
    frames = mb * 2
    ds = Dataset()
    ds.file_meta = FileMetaDataset()
    ds.file_meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds.file_meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.7.3"
    ds.file_meta.MediaStorageSOPInstanceUID = generate_uid()
    ds.SOPClassUID = ds.file_meta.MediaStorageSOPClassUID
    ds.SOPInstanceUID = ds.file_meta.MediaStorageSOPInstanceUID
    ds.PatientName, ds.PatientID, ds.StudyDate, ds.Modality = "Bench^Patient", "1", "20240101", "OT"
    for key in ("StudyTime", "AccessionNumber", "ReferringPhysicianName", "StudyID", "SeriesNumber",
                "InstanceNumber", "Manufacturer", "StudyDescription", "SeriesDescription"):
        setattr(ds, key, "1")
    ds.SamplesPerPixel, ds.PhotometricInterpretation, ds.NumberOfFrames = 1, "MONOCHROME2", frames
    ds.Rows = ds.Columns = 512
    ds.BitsAllocated, ds.BitsStored, ds.HighBit, ds.PixelRepresentation = 16, 12, 11, 0
    ds.PixelData = (np.arange(frames * 512 * 512, dtype=np.uint32) % 4096).astype(np.uint16).tobytes()
    ds.save_as(f"{sys.argv[1]}/source{mb}.dcm", write_like_original=False)
PY
for mb in 50 200; do
  src="$dir/source$mb.dcm"
  cat "$src" > /dev/null
  for run in 1 2 3; do
    /usr/bin/time -f "velmora-tool save  $mb MB: %e s, peak RSS %M KB" "$build/tools/velmora-tool" save "$src" "$dir/out.dcm"
    /usr/bin/time -f "dcmconv +ti        $mb MB: %e s, peak RSS %M KB" dcmconv +ti "$src" "$dir/dcmconv.dcm"
    /usr/bin/time -f "cp                 $mb MB: %e s, peak RSS %M KB" cp "$src" "$dir/copy.dcm"
    rm -f "$dir/out.dcm" "$dir/dcmconv.dcm" "$dir/copy.dcm"
  done
done

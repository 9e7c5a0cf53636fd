#!/usr/bin/python3
"""Enhanced multi-frame images keep rescale, window and pixel spacing in their functional groups
(Shared (5200,9229) and Per-frame (5200,9230) Functional Groups Sequences). velmora-tool must show
each frame of such a file exactly as the same pixels written as a plain single-frame file with the
values at the top level, which DCMTK's dcm2pnm renders with the file's window (+Wi 1).

Files made here with pydicom: a signed 16-bit CT with rescale -1024 / 1 and window 40 / 400 in
the shared group, an MR whose frames each carry their own window and rescale, and a CT whose
shared window is overridden by a top-level one. For each frame k: `render --frame k` of the
enhanced file equals `render` of single-frame file k byte for byte and dcm2pnm +Wi 1 of it within
one grey level; `info` gives frame 1's window and rescale. DCMTK 3.6.7 reads a shared rescale
(not per-frame ones, nor windows, from the groups): the CT is also compared with dcm2pnm of the
enhanced file itself at an explicit window (+Ww).
Usage: functional_groups_match_single_frames.py VELMORA_TOOL
"""
import json
import os
import subprocess
import sys
import tempfile

import numpy as np
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.sequence import Sequence
from pydicom.uid import ExplicitVRLittleEndian

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from render_and_info import check, failures, read_png, run  # noqa: E402
from render_matches_dcmtk import read_pnm  # noqa: E402

ENHANCED_CT, CT = "1.2.840.10008.5.1.4.1.1.2.1", "1.2.840.10008.5.1.4.1.1.2"
ENHANCED_MR, MR = "1.2.840.10008.5.1.4.1.1.4.1", "1.2.840.10008.5.1.4.1.1.4"


def item(**values):
    ds = Dataset()
    for name, value in values.items():
        setattr(ds, name, value)
    return ds


def group(**macros):
    """A functional group item: each macro a one-item sequence of its values."""
    return item(**{name: Sequence([item(**values)]) for name, values in macros.items()})


def image(sop_class, modality, frames, signed):
    ds = Dataset()
    ds.file_meta = FileMetaDataset()
    ds.file_meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds.file_meta.MediaStorageSOPClassUID = ds.SOPClassUID = sop_class
    ds.file_meta.MediaStorageSOPInstanceUID = ds.SOPInstanceUID = "1.2.3.4"
    ds.PatientName, ds.PatientID, ds.StudyDate = "Groups^Test", "G1", "20260101"
    ds.StudyInstanceUID, ds.SeriesInstanceUID, ds.Modality = "1.2.3", "1.2.3.1", modality
    ds.SeriesNumber, ds.InstanceNumber = 1, 1
    _, ds.Rows, ds.Columns = frames.shape
    if frames.shape[0] > 1:
        ds.NumberOfFrames = frames.shape[0]
    ds.SamplesPerPixel, ds.PhotometricInterpretation = 1, "MONOCHROME2"
    ds.BitsAllocated, ds.BitsStored, ds.HighBit = 16, 16, 15
    ds.PixelRepresentation = 1 if signed else 0
    ds.PixelData = np.ascontiguousarray(frames).tobytes()
    ds["PixelData"].VR = "OW"
    return ds


def frames_of(rng, count, low, high, signed):
    """Random frames, each holding its type's extremes so that no window reaches past the data."""
    data = rng.integers(low, high, size=(count, 24, 20))
    data[:, 0, 0], data[:, 0, 1] = low, high
    return data.astype(np.int16 if signed else np.uint16)


CASES = []


def case(name, modality, sop, single_sop, frames, signed, shared, per_frame, top=None):
    """`per_frame[k]` and `shared` map a macro to its values; `top` adds top-level values."""
    enhanced = image(sop, modality, frames, signed)
    enhanced.SharedFunctionalGroupsSequence = Sequence([group(**shared)])
    enhanced.PerFrameFunctionalGroupsSequence = Sequence([group(**values) for values in per_frame])
    for keyword, value in (top or {}).items():
        setattr(enhanced, keyword, value)
    singles = []
    for k in range(frames.shape[0]):
        single = image(single_sop, modality, frames[k:k + 1], signed)
        for macros in (shared, per_frame[k]):
            for values in macros.values():
                for keyword, value in values.items():
                    setattr(single, keyword, value)
        for keyword, value in (top or {}).items():
            setattr(single, keyword, value)
        singles.append(single)
    CASES.append((name, enhanced, singles))


def main():
    tool = sys.argv[1]
    rng = np.random.default_rng(20261210)
    measures = {"PixelMeasuresSequence": {"PixelSpacing": [0.5, 0.25], "SliceThickness": 1}}
    positions = [{"PlanePositionSequence": {"ImagePositionPatient": [0, 0, k]}} for k in range(4)]
    case("ct_shared", "CT", ENHANCED_CT, CT, frames_of(rng, 4, -2000, 2000, True), True,
         {"PixelValueTransformationSequence": {"RescaleIntercept": -1024, "RescaleSlope": 1, "RescaleType": "HU"},
          "FrameVOILUTSequence": {"WindowCenter": -984, "WindowWidth": 400}, **measures}, positions)
    windows = [(500, 1000, 0, 1), (2000, 800, 10, 2), (1000, 1500, -5, 0.5)]
    case("mr_per_frame", "MR", ENHANCED_MR, MR, frames_of(rng, 3, 0, 4095, False), False, measures,
         [{"FrameVOILUTSequence": {"WindowCenter": c, "WindowWidth": w},
           "PixelValueTransformationSequence": {"RescaleIntercept": i, "RescaleSlope": s, "RescaleType": "US"}}
          for c, w, i, s in windows])
    case("ct_top_level_window", "CT", ENHANCED_CT, CT, frames_of(rng, 2, -1000, 3000, True), True,
         {"PixelValueTransformationSequence": {"RescaleIntercept": -1024, "RescaleSlope": 1},
          "FrameVOILUTSequence": {"WindowCenter": 40, "WindowWidth": 400}}, positions[:2],
         top={"WindowCenter": 300, "WindowWidth": 2000})
    with tempfile.TemporaryDirectory() as work:
        for name, enhanced, singles in CASES:
            path = os.path.join(work, name + ".dcm")
            enhanced.save_as(path, write_like_original=False)
            for k, single in enumerate(singles, 1):
                single_path = os.path.join(work, f"{name}_{k}.dcm")
                single.save_as(single_path, write_like_original=False)
                compare(tool, work, name, path, single_path, k)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


def info(tool, path):
    result = run(tool, "info", path)
    return json.loads(result.stdout) if result.returncode == 0 else {}


def render(tool, path, out, frame=1):
    result = run(tool, "render", path, "--frame", str(frame), "--png", out)
    return read_png(out).astype(int) if result.returncode == 0 else None


def dcm2pnm(args, path, out):
    result = subprocess.run(["dcm2pnm", *args, path, out], capture_output=True)
    return read_pnm(out).astype(int) if result.returncode == 0 else None


def compare(tool, work, name, path, single_path, k):
    label = f"{name} frame {k}"
    shown = render(tool, path, os.path.join(work, "enhanced.png"), k)
    single = render(tool, single_path, os.path.join(work, "single.png"))
    reference = dcm2pnm(["+Wi", "1"], single_path, os.path.join(work, "single.pgm"))
    if shown is None or single is None or reference is None:
        check(False, f"{label}: a render failed")
        return
    check(np.array_equal(shown, single), f"{label}: differs from the single-frame file")
    check(np.abs(shown - reference).max() <= 1, f"{label}: differs from dcm2pnm +Wi 1 by "
          f"{np.abs(shown - reference).max()}")
    if k == 1:
        keys = ("window_center", "window_width", "rescale_intercept", "rescale_slope")
        enhanced_info, single_info = info(tool, path), info(tool, single_path)
        check(all(enhanced_info.get(key) == single_info.get(key) is not None for key in keys),
              f"{label}: info {enhanced_info} against {single_info}")
    if name == "ct_shared":
        single_info = info(tool, single_path)
        window = [str(single_info["window_center"]), str(single_info["window_width"])]
        direct = dcm2pnm(["+Ww", *window, "+F", str(k)], path, os.path.join(work, "direct.pgm"))
        check(direct is not None and np.abs(shown - direct).max() <= 1,
              f"{label}: differs from dcm2pnm of the enhanced file at its window")


if __name__ == "__main__":
    sys.exit(main())

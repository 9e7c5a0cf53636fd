#!/usr/bin/python3
"""A multi-frame dose grid (RT Dose) gives one Image Position (Patient), its first frame's, and
places frame k on the plane Grid Frame Offset Vector (3004,000C) value k along the normal of
Image Orientation (Patient) (PS3.3 C.8.8.3.2: offsets relative to that position when the first is
0, patient z coordinates when the first equals its z in an axial grid). The overlay's "Pos:" line
of every frame, printed by `velmora-tool overlay --frame all`, must be that plane as computed here
with pydicom and numpy, with two decimals; a grid's slice location is its first frame's only, so
none is shown.

Files: pydicom's rtdose.dcm (implicit VR), rtdose_expb.dcm (big-endian), rtdose_rle.dcm (RLE) and
rtdose_1frame.dcm, and copies of rtdose.dcm made here with pydicom: a sagittal grid, an oblique
one, decreasing offsets, patient z offsets, a slice location, and grids without Image Orientation
(Patient), whose first frame alone has a known position. Then the command's refusals.
Usage: grid_frame_positions_match_pydicom.py VELMORA_TOOL
"""
import os
import subprocess
import sys
import tempfile

import numpy as np
import pydicom

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from render_and_info import PYDICOM, check, failures  # noqa: E402


def expected_positions(ds):
    """Frame k's Image Position (Patient), k = 1 .. frames; None where it cannot be known: without
    Image Orientation (Patient) the normal is unknown, so only the first frame's is."""
    position = np.array([float(v) for v in ds.ImagePositionPatient])
    frames = int(ds.get("NumberOfFrames", 1) or 1)
    if "ImageOrientationPatient" not in ds:
        return [position] + [None] * (frames - 1)
    cosines = np.array([float(v) for v in ds.ImageOrientationPatient])
    normal = np.cross(cosines[:3], cosines[3:])
    normal /= np.linalg.norm(normal)
    offsets = [float(v) for v in ds.GridFrameOffsetVector]
    return [position + (offsets[k] - offsets[0]) * normal for k in range(frames)]


def shown(value):
    text = f"{value:.2f}"
    return text[1:] if text.startswith("-") and set(text) <= set("-0.") else text


def overlay_lines(tool, path):
    result = subprocess.run([tool, "overlay", path, "--frame", "all"], capture_output=True, text=True)
    check(result.returncode == 0, f"{path}: overlay exit {result.returncode}: {result.stderr}")
    lines = {}
    for line in result.stdout.splitlines():
        frame, corner, text = line.split("\t")
        lines.setdefault(int(frame), []).append((corner, text))
    return lines


def compare(tool, name, path):
    ds = pydicom.dcmread(path)
    expected = expected_positions(ds)
    lines = overlay_lines(tool, path)
    check(sorted(lines) == list(range(1, len(expected) + 1)), f"{name}: frames {sorted(lines)}")
    for k, position in enumerate(expected, 1):
        want = [] if position is None else ["Pos: " + ", ".join(shown(v) for v in position) + " mm"]
        places = [text for corner, text in lines.get(k, []) if text.startswith(("Pos:", "Loc:"))]
        check(places == want, f"{name} frame {k}: {places} against {want}")


def variants(source, work):
    """Copies of rtdose.dcm placed otherwise: name -> path."""
    made = {}

    def make(name, **values):
        ds = pydicom.dcmread(source)
        for keyword, value in values.items():
            if value is None:
                delattr(ds, keyword)
            else:
                setattr(ds, keyword, value)
        path = os.path.join(work, name + ".dcm")
        ds.save_as(path)
        made[name] = path

    frames = 15
    make("sagittal", ImageOrientationPatient=[0, 1, 0, 0, 0, -1])
    c, s = np.cos(0.3), np.sin(0.3)
    make("oblique", ImageOrientationPatient=[round(v, 10) for v in (c, s, 0, -s * 0.6, c * 0.6, 0.8)])
    make("decreasing", GridFrameOffsetVector=[-2.5 * k for k in range(frames)])
    make("patient_z", ImagePositionPatient=[-10, 20.5, -30.25],
         GridFrameOffsetVector=[-30.25 + 3 * k for k in range(frames)])
    make("slice_location", SliceLocation="-761.87")
    make("no_orientation", ImageOrientationPatient=None)
    make("no_orientation_patient_z", ImageOrientationPatient=None, ImagePositionPatient=[-10, 20.5, -30.25],
         GridFrameOffsetVector=[-30.25 + 3 * k for k in range(frames)])
    return made


def main():
    tool = sys.argv[1]
    source = os.path.join(PYDICOM, "rtdose.dcm")
    for name in ("rtdose.dcm", "rtdose_expb.dcm", "rtdose_rle.dcm", "rtdose_1frame.dcm"):
        compare(tool, name, os.path.join(PYDICOM, name))
    with tempfile.TemporaryDirectory() as work:
        for name, path in variants(source, work).items():
            compare(tool, name, path)
        # Wrong usage exits 2; a file that is no image, or a frame past its end, 1.
        for args, status in ((["overlay"], 2), (["overlay", source, "--frame", "0"], 2),
                             (["overlay", source, "--size", "3"], 2), (["overlay", work], 1),
                             (["overlay", source, "--frame", "16"], 1)):
            result = subprocess.run([tool, *args], capture_output=True, text=True)
            check(result.returncode == status, f"{args[1:]}: exit {result.returncode}, not {status}")
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

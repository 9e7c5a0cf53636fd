#!/usr/bin/python3
"""velmora-tool render --raw against pydicom, on every native-pixel file among pydicom's test
files and their DCMTK transcodes to implicit VR little-endian and explicit VR big-endian.

Frames 1 and last must give exactly the bytes of pydicom's decoded pixel_array in native layout:
little-endian samples, colour samples as stored (by pixel or by plane), one-bit pixels packed,
YBR_FULL_422 as stored (two bytes per pixel). Usage: render_matches_pydicom.py VELMORA_TOOL
"""
import os
import subprocess
import sys
import tempfile

import numpy as np
import pydicom

TEST_FILES = os.path.join(os.path.dirname(pydicom.__file__), "data", "test_files")


def native_files():
    for name in sorted(os.listdir(TEST_FILES)):
        path = os.path.join(TEST_FILES, name)
        if not name.endswith(".dcm"):
            continue
        try:
            ds = pydicom.dcmread(path)
        except Exception:
            continue
        meta = getattr(ds, "file_meta", None)
        syntax = meta.get("TransferSyntaxUID") if meta is not None else None
        if "PixelData" not in ds or syntax is None or syntax.is_compressed:
            continue
        yield name, path, ds


def expected_frame(ds, frame):
    """The frame in native layout, from pydicom's decoded pixels."""
    frames = int(ds.get("NumberOfFrames", 1) or 1)
    bits = ds.BitsAllocated
    if bits == 1 or (ds.PhotometricInterpretation == "YBR_FULL_422" and bits == 8):
        # pydicom unpacks bits and expands 4:2:2; compare with the stored frame instead.
        size = len(ds.PixelData) // frames
        return bytes(ds.PixelData[size * (frame - 1): size * frame])
    array = ds.pixel_array
    if frames > 1:
        array = array[frame - 1]
    if ds.get("SamplesPerPixel", 1) > 1 and ds.get("PlanarConfiguration", 0) == 1:
        array = np.moveaxis(array, -1, 0)
    return np.ascontiguousarray(array).astype(array.dtype.newbyteorder("<")).tobytes()


def main():
    tool = sys.argv[1]
    failures = 0
    checked = 0
    with tempfile.TemporaryDirectory() as work:
        cases = []
        for name, path, ds in native_files():
            cases.append((name, path, path))
            for flag, suffix in (("+ti", "implicit"), ("+tb", "bigendian")):
                if ds.get("BitsAllocated") == 32:
                    # DCMTK and pydicom disagree on 32-bit samples in big-endian OW (per 16-bit
                    # word or per sample); pydicom's own big-endian files are checked as they are.
                    continue
                out = os.path.join(work, f"{name[:-4]}_{suffix}.dcm")
                if subprocess.run(["dcmconv", flag, path, out], capture_output=True).returncode == 0:
                    # The transcode is lossless: its reference is the original's pixels (pydicom
                    # does not undo the word swap of 8-bit samples in big-endian OW).
                    cases.append((os.path.basename(out), out, path))
        for name, path, reference in cases:
            try:
                ds = pydicom.dcmread(reference)
                frames = int(ds.get("NumberOfFrames", 1) or 1)
                ds.pixel_array  # pixel data pydicom cannot decode is not a reference
            except Exception as error:
                print(f"skip {name}: pydicom cannot decode it ({error})")
                continue
            for frame in sorted({1, frames}):
                raw = os.path.join(work, "frame.raw")
                if os.path.exists(raw):
                    os.remove(raw)
                result = subprocess.run([tool, "render", path, "--frame", str(frame), "--raw", raw],
                                        capture_output=True, text=True)
                checked += 1
                if result.returncode != 0:
                    print(f"FAIL {name} frame {frame}: exit {result.returncode}: {result.stderr.strip()}")
                    failures += 1
                    continue
                with open(raw, "rb") as f:
                    got = f.read()
                want = expected_frame(ds, frame)
                if got != want:
                    first = next((i for i in range(min(len(got), len(want))) if got[i] != want[i]), None)
                    print(f"FAIL {name} frame {frame}: {len(got)} bytes, expected {len(want)}; first difference at {first}")
                    failures += 1
                else:
                    print(f"ok   {name} frame {frame}: {len(got)} bytes")
    print(f"{checked - failures} of {checked} frames match")
    return 1 if failures or checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""velmora-tool info and render through the executable: the JSON of info, the display bitmaps of
render --png checked pixel by pixel against pydicom (colour) and against the window rules
computed here with numpy (greyscale), the display flags, golden images, and the refusals.

Usage: render_and_info.py VELMORA_TOOL
"""
import json
import os
import struct
import subprocess
import sys
import tempfile
import zlib

import numpy as np
import pydicom
from pydicom.pixel_data_handlers.util import convert_color_space

SOURCE = os.environ.get("VELMORA_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
FIXTURES = os.path.join(SOURCE, "tests", "data", "imaging", "source")
GOLDEN = os.path.join(SOURCE, "tests", "data", "tools", "golden")
PYDICOM = os.path.join(os.path.dirname(pydicom.__file__), "data", "test_files")
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL", message)


def run(tool, *args):
    return subprocess.run([tool, *args], capture_output=True, text=False)


def read_png(path):
    """Decodes the PNGs velmora-tool writes (8-bit grey or RGB, filter 0)."""
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    position, idat, header = 8, b"", None
    while position < len(data):
        length, kind = struct.unpack(">I4s", data[position:position + 8])
        body = data[position + 8:position + 8 + length]
        crc = struct.unpack(">I", data[position + 8 + length:position + 12 + length])[0]
        assert zlib.crc32(kind + body) == crc, "bad CRC"
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        position += 12 + length
    width, height, depth, colour = header[:4]
    channels = 1 if colour == 0 else 3
    raw = zlib.decompress(idat)
    rows = np.frombuffer(raw, np.uint8).reshape(height, 1 + width * channels)
    assert (rows[:, 0] == 0).all()
    return rows[:, 1:].reshape(height, width, channels) if channels == 3 else rows[:, 1:]


def window_reference(ds, values):
    """The display bitmap's 16-bit window rules, written independently with numpy."""
    lo, hi = min(int(values.min()), 1 << (ds.BitsStored - 1)), max(int(values.max()), 0)
    absent = lambda key: key not in ds
    if absent("WindowWidth") or float(ds.WindowWidth if not isinstance(ds.WindowWidth, pydicom.multival.MultiValue) else ds.WindowWidth[0]) <= 0:
        center, width, intercept, slope = hi // 2, hi, 0.0, 1.0
    else:
        first = lambda v: float(v[0]) if isinstance(v, pydicom.multival.MultiValue) else float(v)
        center, width = first(ds.WindowCenter), first(ds.WindowWidth)
        if "RescaleIntercept" in ds and "RescaleSlope" in ds:
            intercept, slope = float(ds.RescaleIntercept), float(ds.RescaleSlope)
        else:
            intercept, slope = 0.0, 1.0
    low = int(((center - intercept) - width * 0.5) / slope)
    high = int(((center - intercept) + width * 0.5) / slope)
    lo, hi = max(lo, low), min(hi, high)
    if lo == hi:
        lo, hi = 0, 1 << ds.BitsStored
    v = values.astype(np.int64)
    out = np.where(v <= lo, 0, np.where(v >= hi, 255, (v - lo) * 255 // max(hi - lo, 1)))
    if ds.PhotometricInterpretation == "MONOCHROME1":
        out = 255 - out
    return out.astype(np.uint8)


def test_info(tool):
    result = run(tool, "info", os.path.join(PYDICOM, "CT_small.dcm"))
    check(result.returncode == 0, f"info CT_small exit {result.returncode} {result.stderr!r}")
    if result.returncode == 0:
        info = json.loads(result.stdout)
        expected = {"transfer_syntax": "1.2.840.10008.1.2.1", "compression_kind": "NONE", "rows": 128,
                    "columns": 128, "frames": 1, "samples_per_pixel": 1, "bits_allocated": 16, "bits_stored": 16,
                    "high_bit": 15, "pixel_representation": 1, "planar_configuration": 0,
                    "photometric": "MONOCHROME2", "window_center": None, "window_width": None,
                    "rescale_intercept": -1024, "rescale_slope": 1, "patient": "CompressedSamples CT1",
                    "study": "e+1", "series": "Unknown Series"}
        for key, value in expected.items():
            check(info.get(key) == value, f"info CT_small {key}: {info.get(key)!r} != {value!r}")
    result = run(tool, "info", os.path.join(FIXTURES, "width_without_center.dcm"))
    if result.returncode == 0:
        info = json.loads(result.stdout)
        check(info["window_center"] is None and info["window_width"] == 300, f"info window {info}")
        check(info["rescale_intercept"] is None and info["rescale_slope"] == 2, f"info rescale {info}")
    else:
        check(False, f"info width_without_center exit {result.returncode}")
    result = run(tool, "info", os.path.join(FIXTURES, "native_3_frames.dcm"))
    check(result.returncode == 0 and json.loads(result.stdout)["frames"] == 3, "info frames of native_3_frames")
    result = run(tool, "info", os.path.join(FIXTURES, "unknown_photometric.dcm"))
    check(result.returncode == 1 and b"ERROR_GENERAL_FAILURE" in result.stderr, "info refuses MONOCHROME3")
    result = run(tool, "info")
    check(result.returncode == 2, "info without a file is a usage error")


def test_render(tool, work):
    png = os.path.join(work, "out.png")
    # Greyscale: the window rules against numpy.
    for name in ("CT_small.dcm", "MR_small.dcm", "MR_small_bigendian.dcm"):
        path = os.path.join(PYDICOM, name)
        result = run(tool, "render", path, "--png", png)
        check(result.returncode == 0, f"render {name}: {result.stderr!r}")
        if result.returncode:
            continue
        ds = pydicom.dcmread(path)
        want = window_reference(ds, ds.pixel_array)
        got = read_png(png)
        check(got.shape == want.shape and (got == want).all(),
              f"render {name}: {int((got != want).sum()) if got.shape == want.shape else 'shape'} pixels differ")
        # Mirror, flip and invert in the tile's order.
        result = run(tool, "render", path, "--png", png, "--mirror", "--flip")
        check(result.returncode == 0 and (read_png(png) == want[::-1, ::-1]).all(), f"render {name} --mirror --flip")
    # Colour: the samples themselves (RGB) or pydicom's full-range YBR conversion within 1 level.
    for name in ("SC_rgb_small_odd.dcm", "ExplVR_BigEnd.dcm", "SC_rgb_jpeg_dcmd.dcm", "SC_ybr_full_422_uncompressed.dcm"):
        path = os.path.join(PYDICOM, name)
        result = run(tool, "render", path, "--png", png)
        check(result.returncode == 0, f"render {name}: {result.stderr!r}")
        if result.returncode:
            continue
        ds = pydicom.dcmread(path)
        array = ds.pixel_array.astype(np.int64)
        tolerance = 0
        if ds.PhotometricInterpretation.startswith("YBR"):
            # pydicom expands 4:2:2 by sharing each Cb/Cr pair, as the viewer does.
            array = convert_color_space(ds.pixel_array, "YBR_FULL", "RGB").astype(np.int64)
            tolerance = 1
        got = read_png(png).astype(np.int64)
        difference = np.abs(got - array).max()
        check(difference <= tolerance, f"render {name}: colours differ by {difference}")
    # Golden images of what a tile shows.
    for name, source in (("ct_small.png", os.path.join(PYDICOM, "CT_small.dcm")),
                         ("mr_small_inverted.png", os.path.join(PYDICOM, "MR_small.dcm")),
                         ("rgb_big_endian.png", os.path.join(PYDICOM, "ExplVR_BigEnd.dcm")),
                         ("ybr_full_422.png", os.path.join(PYDICOM, "SC_ybr_full_422_uncompressed.dcm")),
                         ("palette_4.png", os.path.join(FIXTURES, "palette_4.dcm")),
                         ("ct_monochrome1.png", os.path.join(FIXTURES, "ct_monochrome1.dcm"))):
        flags = ["--invert"] if "inverted" in name else []
        result = run(tool, "render", source, "--png", png, *flags)
        golden = os.path.join(GOLDEN, name)
        if os.environ.get("VELMORA_UPDATE_GOLDEN") and result.returncode == 0:
            os.makedirs(GOLDEN, exist_ok=True)
            open(golden, "wb").write(open(png, "rb").read())
        check(result.returncode == 0 and os.path.exists(golden) and open(png, "rb").read() == open(golden, "rb").read(),
              f"golden {name}")
    # Refusals: exit 1 with the result code's name; usage errors exit 2.
    for args, status in (((os.path.join(work, "missing.dcm"),), 1),
                         ((os.path.join(PYDICOM, "JPEG2000.dcm"),), 1),
                         ((os.path.join(FIXTURES, "short_pixel_data.dcm"),), 1),
                         ((os.path.join(FIXTURES, "zero_rows.dcm"),), 1),
                         ((os.path.join(FIXTURES, "native_3_frames.dcm"), "--frame", "4"), 1),
                         ((os.path.join(FIXTURES, "native_3_frames.dcm"), "--frame", "x"), 2),
                         ((), 2)):
        result = run(tool, "render", *args)
        check(result.returncode == status, f"render {args}: exit {result.returncode}, expected {status}")
        if status == 1:
            check(b"ERROR_" in result.stderr, f"render {args}: no result code on stderr: {result.stderr!r}")
    # A file with no frame to show makes no output files and names only why it failed.
    outputs = [os.path.join(work, "none.png"), os.path.join(work, "none.raw")]
    result = run(tool, "render", os.path.join(FIXTURES, "zero_rows.dcm"), "--frame", "all",
                 "--png", outputs[0], "--raw", outputs[1])
    check(result.returncode == 1 and not any(map(os.path.exists, outputs))
          and result.stderr.count(b"ERROR_") == 1 and b"runtime error" not in result.stderr,
          f"render of nothing shown: {result.returncode} {result.stderr!r}")
    result = run(tool, "render", os.path.join(FIXTURES, "native_3_frames.dcm"), "--frame", "all",
                 "--raw", os.path.join(work, "last.raw"))
    check(result.returncode == 0 and open(os.path.join(work, "last.raw"), "rb").read() == bytes(range(12, 18)),
          "render --frame all keeps the last frame")


def main():
    tool = sys.argv[1]
    with tempfile.TemporaryDirectory() as work:
        test_info(tool)
        test_render(tool, work)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

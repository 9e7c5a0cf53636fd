#!/usr/bin/python3
"""velmora-tool render --png against DCMTK's dcmj2pnm, an independent renderer, within one grey
level per sample, on the layouts the other tests read: pydicom's test files, the fixtures in
tests/data/imaging/source, DCMTK transcodes of them (RLE, also split over 1 KB fragments without
an offset table, JPEG lossless and baseline, also saying Planar Configuration 1, JPEG-LS, implicit
and big-endian), MONOCHROME1 copies on every monochrome path (8-bit, 16-bit window and min-max,
modality LUT, 1-bit, 32-bit, compressed), a window on a negative rescale slope, and 12-bit RGB.

DCMTK renders with the file's first window (+Wi 1) where the file has one, with the VOI LUT
(+Wl 1) where it has one, with min-max (+Wm) otherwise, and without a VOI step (-W) for 8-bit
and 1-bit greyscale, which the viewer shows as stored. Cases where the viewer differs from
PS3.3 C.11.2.1.2 on purpose are left out here and listed with their reason; display_bitmap_test
computes those by hand:
- a window reaching past the pixel range is clamped to the range, which is then stretched;
- without a window, 16-bit data is stretched over 0 (or its minimum, when positive) to its
  maximum, which is min-max only for data that does not go below 0;
- palette entries are stretched over the palettes' common range, which is the descriptor's
  range only when an entry is 0 and another the largest value;
- the first Pixel Data in the tree (an icon before the image) is the one shown;
- DCMTK reads 32-bit samples of big-endian OW as pairs of 16-bit words in little-endian order
  (pydicom and the viewer as 32-bit big-endian numbers; render_matches_pydicom checks those).
A MONOCHROME1 window, or one on a negative rescale slope, may differ by two levels: the viewer
truncates before it reverses, DCMTK rounds after.

Usage: render_matches_dcmtk.py VELMORA_TOOL
"""
import os
import re
import subprocess
import sys
import tempfile

import numpy as np
import pydicom

sys.path.insert(0, os.path.dirname(__file__))
from render_and_info import read_png  # noqa: E402

SOURCE = os.environ.get("VELMORA_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
FIXTURES = os.path.join(SOURCE, "tests", "data", "imaging", "source")
PYDICOM = os.path.join(os.path.dirname(pydicom.__file__), "data", "test_files")

# Native files that are transcoded with each DCMTK tool below (one of each layout).
TRANSCODED = ("CT_small.dcm", "MR_small.dcm", "SC_rgb_small_odd.dcm", "SC_rgb.dcm", "image_dfl.dcm",
              "OBXXXX1A.dcm", "US1_UNCR.dcm", "rtdose_1frame.dcm", "liver_1frame.dcm",
              # DCMTK swaps its 32-bit big-endian samples per 16-bit word: little-endian values above 2^31.
              "rtdose_expb_1frame.dcm")
TRANSCODERS = (("rle", ["dcmcrle"]), ("rle_split", ["dcmcrle", "+fs", "1", "-ot"]), ("jpeg_lossless", ["dcmcjpeg", "+e1"]),
               ("jpeg_baseline", ["dcmcjpeg", "+eb"]), ("jpeg_ls", ["dcmcjpls"]),
               ("implicit", ["dcmconv", "+ti"]), ("big_endian", ["dcmconv", "+tb"]))


def read_pnm(path):
    data = open(path, "rb").read()
    header = re.match(rb"(P[56])\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
    kind, width, height = header.group(1), int(header.group(2)), int(header.group(3))
    channels = 3 if kind == b"P6" else 1
    pixels = np.frombuffer(data[header.end():header.end() + width * height * channels], np.uint8)
    return pixels.reshape(height, width, channels) if channels == 3 else pixels.reshape(height, width)


def first(value):
    return float(value[0]) if isinstance(value, pydicom.multival.MultiValue) else float(value)


def stored_range(ds):
    """Smallest and largest stored value of every frame, as pydicom decodes them."""
    array = ds.pixel_array
    return int(array.min()), int(array.max())


# Files the viewer shows differently from DCMTK for a reason of their own.
BY_DESIGN = {"icon_first.dcm": "the icon's Pixel Data comes first in the tree"}
# Files refused on purpose that DCMTK shows.
REFUSED = {"lower_case_photometric.dcm": "a Photometric Interpretation in lower case is no defined term"}
# Known faults that another change is mending: each must still differ (remove it once it passes).
EXPECTED_TO_FAIL = {"voi_lut_past_data.dcm": "a VOI LUT whose data is shorter than its descriptor"}


def windowed_in_groups(ds):
    """Whether an enhanced image's functional groups hold a window or a rescale
    (functional_groups_match_single_frames compares those frames with DCMTK)."""
    groups = [*ds.get("SharedFunctionalGroupsSequence", []), *ds.get("PerFrameFunctionalGroupsSequence", [])]
    return any(macro in item for item in groups
               for macro in ("FrameVOILUTSequence", "PixelValueTransformationSequence"))


def dcmtk_mode(ds):
    """DCMTK's options for the viewer's rendering of `ds`, or (None, reason) where they differ by
    design."""
    photometric = ds.PhotometricInterpretation
    bits = ds.BitsAllocated
    if photometric not in ("MONOCHROME1", "MONOCHROME2"):
        if photometric == "PALETTE COLOR":
            entries = [np.frombuffer(ds[tag].value, "<u2") for tag in (0x00281201, 0x00281202, 0x00281203)
                       if tag in ds]
            full = 65535 if ds.RedPaletteColorLookupTableDescriptor[2] == 16 else 255
            if not entries or min(e.min() for e in entries) != 0 or max(e.max() for e in entries) != full:
                return None, "palette stretched over its entries' range"
        return ["-W"], None
    if "ModalityLUTSequence" in ds or "VOILUTSequence" in ds:
        return (["+Wl", "1"] if "VOILUTSequence" in ds else ["+Wm"]), None
    if bits == 1:
        return ["+Wm"], None  # DCMTK shows 1 as 128 without a VOI step
    if bits <= 8:
        return ["-W"], None
    if bits == 32 and not ds.is_little_endian:
        return None, "32-bit samples in big-endian OW"
    if windowed_in_groups(ds):
        return None, "window or rescale in functional groups, which dcm2pnm does not read per frame"
    lo, hi = stored_range(ds)
    if "WindowWidth" in ds and first(ds.WindowWidth) > 0:
        if "WindowCenter" not in ds:
            return None, "window width without a center"
        intercept = float(ds.get("RescaleIntercept", 0)) if "RescaleSlope" in ds else 0.0
        slope = float(ds.get("RescaleSlope", 1)) if "RescaleIntercept" in ds else 1.0
        center, width = first(ds.WindowCenter) - intercept, first(ds.WindowWidth)
        low, high = sorted(((center - width / 2) / slope, (center + width / 2) / slope))
        if low < lo or high > hi:
            return None, f"window {low:.0f}..{high:.0f} clamped to the pixel range {lo}..{hi}"
        return ["+Wi", "1"], None
    if bits == 16 and (lo < 0 or lo > 1 << (ds.BitsStored - 1)):
        return None, f"no window: stretched from 0, not from the minimum {lo}"
    return ["+Wm"], None


def corpus(work):
    """(label, path) for every file compared."""
    files = [(name, os.path.join(PYDICOM, name)) for name in sorted(os.listdir(PYDICOM)) if name.endswith(".dcm")]
    files += [(name, os.path.join(FIXTURES, name)) for name in sorted(os.listdir(FIXTURES)) if name.endswith(".dcm")]
    for name in TRANSCODED:
        for suffix, command in TRANSCODERS:
            out = os.path.join(work, f"{name[:-4]}_{suffix}.dcm")
            if subprocess.run([*command, os.path.join(PYDICOM, name), out], capture_output=True).returncode == 0:
                files.append((os.path.basename(out), out))
    files += monochrome1_copies(work)
    files += planar_1_jpeg_copies(work)
    files += negative_slope_copies(work)
    files += twelve_bit_colour_copies(work)
    return files


def twelve_bit_colour_copies(work):
    """SC_rgb_jpeg_dcmd's samples as 12 bits stored in 16 (each byte b as b x 16 + b / 16, the four
    bits above set), native and RLE: shown from their top eight stored bits."""
    ds = pydicom.dcmread(os.path.join(PYDICOM, "SC_rgb_jpeg_dcmd.dcm"))
    samples = ds.pixel_array.astype(np.uint16)
    ds.PixelData = ((samples << 4) | (samples >> 4) | 0xA000).astype("<u2").tobytes()
    ds.BitsAllocated, ds.BitsStored, ds.HighBit = 16, 12, 11
    ds.file_meta.TransferSyntaxUID = pydicom.uid.ExplicitVRLittleEndian
    ds.is_little_endian, ds.is_implicit_VR = True, False
    return saved_and_encoded(ds, work, "SC_rgb_12_bits", "dcmcrle", "rle")


def negative_slope_copies(work):
    """CT_small with Rescale Slope -1 and a window inside its range, native and JPEG-LS: the window
    applies to the rescaled values, so the highest stored values show darkest."""
    ds = pydicom.dcmread(os.path.join(PYDICOM, "CT_small.dcm"))
    ds.RescaleSlope, ds.RescaleIntercept = -1, 0
    ds.WindowCenter, ds.WindowWidth = -1000, 400
    return saved_and_encoded(ds, work, "CT_small_negative_slope", "dcmcjpls", "jpeg_ls")


def saved_and_encoded(ds, work, label, encoder, suffix):
    """(name, path) of `ds` saved as LABEL.dcm and, where `encoder` takes it, of LABEL_SUFFIX.dcm."""
    path = os.path.join(work, label + ".dcm")
    ds.save_as(path, write_like_original=False)
    copies = [(label + ".dcm", path)]
    out = os.path.join(work, f"{label}_{suffix}.dcm")
    if subprocess.run([encoder, path, out], capture_output=True).returncode == 0:
        copies.append((os.path.basename(out), out))
    return copies


def planar_1_jpeg_copies(work):
    """JPEG files that say Planar Configuration 1 (PS3.5 has it be 0): JPEG gives its components
    by pixel whatever the attribute says, and DCMTK reads them so."""
    copies = []
    for suffix in ("jpeg_lossless", "jpeg_baseline"):
        source = os.path.join(work, f"SC_rgb_small_odd_{suffix}.dcm")
        if os.path.exists(source):
            ds = pydicom.dcmread(source)
            ds.PlanarConfiguration = 1
            path = os.path.join(work, f"SC_rgb_small_odd_{suffix}_planar_1.dcm")
            ds.save_as(path)
            copies.append((os.path.basename(path), path))
    return copies


def monochrome1_copies(work):
    """MONOCHROME1 copies of one file per monochrome path, plain and JPEG-LS compressed; CT_small
    and MR_small (signed) also with a window inside their range, in both polarities."""
    copies = []
    sources = (("CT_small.dcm", PYDICOM, None, "MONOCHROME1"), ("CT_small.dcm", PYDICOM, (600, 800), "MONOCHROME1"),
               ("CT_small.dcm", PYDICOM, (600, 800), "MONOCHROME2"), ("MR_small.dcm", PYDICOM, (1000, 1000), "MONOCHROME1"),
               ("MR_small.dcm", PYDICOM, (1000, 1000), "MONOCHROME2"), ("image_dfl.dcm", PYDICOM, None, "MONOCHROME1"),
               ("liver_1frame.dcm", PYDICOM, None, "MONOCHROME1"), ("rtdose_1frame.dcm", PYDICOM, None, "MONOCHROME1"),
               ("modality_lut.dcm", FIXTURES, None, "MONOCHROME1"), ("JPEG-lossy.dcm", PYDICOM, None, "MONOCHROME1"))
    for name, folder, window, photometric in sources:
        source = os.path.join(folder, name)
        if pydicom.dcmread(source, stop_before_pixels=True).file_meta.TransferSyntaxUID.is_compressed:
            native = os.path.join(work, "native.dcm")
            subprocess.run(["dcmdjpeg", source, native], check=True, capture_output=True)
            source = native
        ds = pydicom.dcmread(source)
        ds.PhotometricInterpretation = photometric
        if window:
            ds.WindowCenter, ds.WindowWidth = window
        label = f"{name[:-4]}_{photometric.lower()}{'_window' if window else ''}"
        path = os.path.join(work, label + ".dcm")
        ds.save_as(path)
        copies.append((label + ".dcm", path))
        if ds.BitsAllocated in (8, 16):
            out = os.path.join(work, label + "_jpeg_ls.dcm")
            if subprocess.run(["dcmcjpls", path, out], capture_output=True).returncode == 0:
                copies.append((label + "_jpeg_ls.dcm", out))
    return copies


def renderer(path):
    """dcml2pnm for JPEG-LS, dcmj2pnm (JPEG, RLE and native) otherwise."""
    syntax = pydicom.dcmread(path, stop_before_pixels=True).file_meta.TransferSyntaxUID
    return "dcml2pnm" if syntax in ("1.2.840.10008.1.2.4.80", "1.2.840.10008.1.2.4.81") else "dcmj2pnm"


def compare(tool, work, label, path, options, frame, flags=(), tolerance=1):
    png, pnm = os.path.join(work, "velmora.png"), os.path.join(work, "dcmtk.pnm")
    for stale in (png, pnm):
        if os.path.exists(stale):
            os.remove(stale)
    ours = subprocess.run([tool, "render", path, "--frame", str(frame), "--png", png, *flags], capture_output=True)
    theirs = subprocess.run([renderer(path), *options, "+F", str(frame), path, pnm], capture_output=True)
    if ours.returncode or theirs.returncode:
        return f"exit {ours.returncode} (ours) / {theirs.returncode} (DCMTK): {ours.stderr.strip()!r}"
    got, want = read_png(png).astype(int), read_pnm(pnm).astype(int)
    if "--mirror" in flags:
        want = want[:, ::-1]
    if "--flip" in flags:
        want = want[::-1]
    if got.shape != want.shape:
        return f"shape {got.shape}, dcmj2pnm {want.shape}"
    worst = int(np.abs(got - want).max())
    return None if worst <= tolerance else f"{int((np.abs(got - want) > tolerance).sum())} samples differ, by up to {worst}"


def main():
    tool = sys.argv[1]
    failures, compared, by_design = [], 0, 0
    with tempfile.TemporaryDirectory() as work:
        for label, path in corpus(work):
            try:
                ds = pydicom.dcmread(path)
                frames = int(ds.get("NumberOfFrames", 1) or 1)
                options, reason = dcmtk_mode(ds)
            except Exception:
                continue  # pydicom cannot decode it: no reference for the mode
            # A file the viewer refuses must be one DCMTK refuses too, or one refused on purpose.
            if subprocess.run([tool, "render", path], capture_output=True).returncode != 0:
                shown = subprocess.run([renderer(path), *(options or []), path, os.path.join(work, "probe.pnm")],
                                       capture_output=True).returncode == 0
                if shown and label not in REFUSED:
                    failures.append(label)
                    print(f"FAIL {label}: refused, while DCMTK shows it")
                continue
            reason = reason or BY_DESIGN.get(label)
            if reason:
                print(f"by design {label}: {reason}")
                by_design += 1
                continue
            if subprocess.run([renderer(path), *options, path, os.path.join(work, "probe.pnm")],
                              capture_output=True).returncode != 0:
                print(f"no reference {label}: DCMTK refuses it")
                continue
            reversed_ = (ds.PhotometricInterpretation == "MONOCHROME1") != (float(ds.get("RescaleSlope", 1)) < 0)
            tolerance = 2 if reversed_ and "+Wi" in options else 1
            for frame, flags in sorted({(1, ()), (frames, ()), (1, ("--mirror", "--flip"))}):
                problem = compare(tool, work, label, path, options, frame, flags, tolerance)
                compared += 1
                name = f"{label} frame {frame} {' '.join(options)} {' '.join(flags)}"
                if label in EXPECTED_TO_FAIL:
                    if not problem:
                        failures.append(name)
                        print(f"FAIL {name}: now matches; remove it from EXPECTED_TO_FAIL")
                    else:
                        print(f"xfail {name}: {EXPECTED_TO_FAIL[label]}: {problem}")
                elif problem:
                    failures.append(name)
                    print(f"FAIL {name}: {problem}")
                else:
                    print(f"ok   {name}")
    print(f"{compared - len(failures)} of {compared} renderings within one grey level of dcmj2pnm;"
          f" {by_design} files differ by design")
    # The corpus must not shrink unnoticed.
    return 1 if failures or compared < 150 else 0


if __name__ == "__main__":
    sys.exit(main())

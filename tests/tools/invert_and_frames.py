#!/usr/bin/python3
"""velmora-tool render over every layout the display shows: pydicom's test files, their DCMTK
transcodes (RLE, also split over fragments, JPEG lossless, JPEG-LS) and files made here (one-bit
and trailing-byte multi-frames, 8 bits stored in 16 as JPEG-LS, Float and Double Float Pixel
Data, cut and hostile frame counts).

For each file: the inverted PNG is 255 minus the plain one in every pixel and channel; the first,
second and last frames' --raw bytes equal pydicom's pixel_array in native layout (lossless
files); `info` counts the frames the file holds.
Usage: invert_and_frames.py VELMORA_TOOL
"""
import json
import os
import subprocess
import sys
import tempfile

import numpy as np
import pydicom
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.uid import ExplicitVRLittleEndian

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from render_and_info import PYDICOM, check, failures, read_png, run  # noqa: E402

LOSSY = {"1.2.840.10008.1.2.4.50", "1.2.840.10008.1.2.4.51", "1.2.840.10008.1.2.4.81"}


def new_dataset(rows, columns, bits, photometric="MONOCHROME2", frames=None, stored=None):
    ds = Dataset()
    ds.file_meta = FileMetaDataset()
    ds.file_meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds.file_meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.7"
    ds.file_meta.MediaStorageSOPInstanceUID = "1.2.3.4"
    ds.SOPClassUID, ds.SOPInstanceUID = "1.2.840.10008.5.1.4.1.1.7", "1.2.3.4"
    ds.PatientName, ds.PatientID, ds.StudyDescription = "Layouts^Test", "L1", "Layouts"
    ds.StudyInstanceUID, ds.SeriesInstanceUID, ds.Modality = "1.2.3", "1.2.3.1", "OT"
    ds.StudyDate, ds.SeriesNumber, ds.InstanceNumber = "20260101", 1, 1
    ds.Rows, ds.Columns, ds.SamplesPerPixel = rows, columns, 1
    ds.PhotometricInterpretation = photometric
    ds.BitsAllocated = bits
    if stored != 0:
        ds.BitsStored = stored or bits
        ds.HighBit = ds.BitsStored - 1
        ds.PixelRepresentation = 0
    if frames:
        ds.NumberOfFrames = frames
    ds.is_little_endian, ds.is_implicit_VR = True, False
    return ds


def made_files(work):
    """Layouts pydicom's files do not cover; returns (path, frames the file holds or None)."""
    rng = np.random.default_rng(14)
    made = []
    # Three 3 x 3 one-bit frames packed without padding (27 bits).
    ds = new_dataset(3, 3, 1, frames=3)
    ds.PixelData = np.packbits(rng.integers(0, 2, 27, dtype=np.uint8), bitorder="little").tobytes()
    made.append(("onebit_3_frames.dcm", ds, 3))
    # Bytes after the last frame.
    ds = new_dataset(2, 3, 8, frames=3)
    ds.PixelData = rng.integers(0, 256, 18 + 4, dtype=np.uint8).tobytes()
    made.append(("trailing_bytes.dcm", ds, 3))
    # 8 bits stored in 16 (compressed with JPEG-LS below).
    ds = new_dataset(16, 16, 16, stored=8)
    ds.PixelData = rng.integers(0, 256, 256).astype("<u2").tobytes()
    made.append(("stored8_in16.dcm", ds, 1))
    # Float and Double Float Pixel Data, with and without a window.
    ds = new_dataset(5, 7, 32, stored=0, frames=2)
    ds.FloatPixelData = (rng.standard_normal(70) * 100).astype("<f4").tobytes()
    made.append(("float.dcm", ds, 2))
    ds = new_dataset(5, 7, 64, photometric="MONOCHROME1", stored=0)
    ds.DoubleFloatPixelData = rng.standard_normal(35).astype("<f8").tobytes()
    ds.WindowCenter, ds.WindowWidth = 0.5, 2.0
    made.append(("double.dcm", ds, 1))
    paths = []
    for name, ds, frames in made:
        path = os.path.join(work, name)
        ds.save_as(path, write_like_original=False)
        paths.append((path, frames))
    return paths


def transcodes(work):
    """DCMTK's lossless encoders over a few greyscale and colour files."""
    out = []
    sources = [os.path.join(PYDICOM, n) for n in ("CT_small.dcm", "MR_small.dcm", "rtdose.dcm", "SC_rgb_small_odd.dcm")]
    sources.append(os.path.join(work, "stored8_in16.dcm"))
    for source in sources:
        for tool, flags, suffix in (("dcmcrle", [], "rle"), ("dcmcrle", ["+fs", "1", "-ot"], "rle_split"),
                                    ("dcmcjpls", [], "jls"), ("dcmcjpeg", ["+e1"], "sv1")):
            path = os.path.join(work, f"{os.path.basename(source)[:-4]}_{suffix}.dcm")
            if subprocess.run([tool, *flags, source, path], capture_output=True).returncode == 0:
                out.append(path)
    return out


def expected_frame(ds, frame):
    """The frame in the layout render --raw gives, from pydicom's pixel_array."""
    frames = int(ds.get("NumberOfFrames", 1) or 1)
    array = ds.pixel_array
    if frames > 1:
        array = array[frame - 1]
    if ds.BitsAllocated == 1:
        return np.packbits(array.astype(np.uint8).ravel(), bitorder="little").tobytes()
    if ds.get("SamplesPerPixel", 1) > 1 and ds.get("PlanarConfiguration", 0) == 1 and not ds.file_meta.TransferSyntaxUID.is_compressed:
        array = np.moveaxis(array, -1, 0)
    return np.ascontiguousarray(array).astype(array.dtype.newbyteorder("<")).tobytes()


def check_file(tool, path, work, frames_held=None, must_show=False):
    name = os.path.basename(path)
    plain, inverted = os.path.join(work, "plain.png"), os.path.join(work, "inverted.png")
    if run(tool, "render", path, "--png", plain).returncode != 0:
        # Not shown (JPEG 2000, unsupported layouts): nothing to compare. Lossless transcodes of
        # files that are shown must be shown too.
        check(not must_show, f"{name}: refused")
        return False
    result = run(tool, "render", path, "--png", inverted, "--invert")
    check(result.returncode == 0, f"{name}: --invert failed")
    a, b = read_png(plain).astype(int), read_png(inverted).astype(int)
    check(a.shape == b.shape and ((a + b) == 255).all(),
          f"{name}: plain + inverted != 255 in {int(((a + b) != 255).sum()) if a.shape == b.shape else 'shape'} samples")
    info = json.loads(run(tool, "info", path).stdout or "{}")
    try:
        ds = pydicom.dcmread(path)
        declared = int(ds.get("NumberOfFrames", 1) or 1)
        reference = ds.file_meta.TransferSyntaxUID not in LOSSY and ds.get("PhotometricInterpretation") != "YBR_FULL_422"
        if reference:
            ds.pixel_array
    except Exception as error:
        print(f"skip {name} frames: pydicom cannot decode it ({error})")
        return True
    check(info.get("frames") == (frames_held or declared), f"{name}: info frames {info.get('frames')}, expected {frames_held or declared}")
    if not reference:
        return True
    raw = os.path.join(work, "frame.raw")
    for frame in sorted({1, min(2, declared), declared}):
        result = run(tool, "render", path, "--frame", str(frame), "--raw", raw)
        check(result.returncode == 0, f"{name} frame {frame}: {result.stderr!r}")
        if result.returncode == 0:
            got, want = open(raw, "rb").read(), expected_frame(ds, frame)
            check(got == want, f"{name} frame {frame}: {len(got)} raw bytes differ from pydicom's {len(want)}")
    return True


def check_frame_counts(tool, work):
    """Frames the file holds: a multi-frame cut inside frame 3, and 2 GB declared in 700 bytes."""
    source = open(os.path.join(PYDICOM, "rtdose.dcm"), "rb").read()
    ds = pydicom.dcmread(os.path.join(PYDICOM, "rtdose.dcm"))
    frame = ds.Rows * ds.Columns * ds.BitsAllocated // 8
    cut = os.path.join(work, "cut.dcm")
    open(cut, "wb").write(source[:len(source) - len(ds.PixelData) + int(2.5 * frame)])
    check(json.loads(run(tool, "info", cut).stdout or "{}").get("frames") == 2, "cut file: 2 frames")
    check(run(tool, "render", cut, "--frame", "all").returncode == 0, "cut file: its frames render")
    check(run(tool, "render", cut, "--frame", "3").returncode == 1, "cut file: no frame 3")
    hostile = new_dataset(16, 16, 16)
    hostile.PixelData = bytes(2 * 256)
    path = os.path.join(work, "hostile.dcm")
    hostile.save_as(path, write_like_original=False)
    data = bytearray(open(path, "rb").read())
    at = data.rfind(b"\xe0\x7f\x10\x00OW\x00\x00")
    data[at + 8:at + 12] = (0x80000000).to_bytes(4, "little")
    open(path, "wb").write(bytes(data[:at + 12 + 200]))
    check(json.loads(run(tool, "info", path).stdout or "{}").get("frames") == 1, "2 GB declared: 1 frame")
    scan = run(tool, "scan", work).stdout.decode()
    check(scan.count("hostile.dcm") == 1 and scan.count("cut.dcm") == 2, "scan files only the frames held")

    # An RLE file cut inside its last frame: --frame all reports that frame and writes nothing
    # (the outputs hold the last frame), without a second, misleading I/O error.
    source = open(os.path.join(PYDICOM, "SC_rgb_rle_16bit_2frame.dcm"), "rb").read()
    last = source.rfind(b"\xfe\xff\x00\xe0")
    length = int.from_bytes(source[last + 4:last + 8], "little")
    cut_rle = os.path.join(work, "cut_rle.dcm")
    open(cut_rle, "wb").write(source[:last + 8 + length // 2])
    png = os.path.join(work, "cut_rle.png")
    result = run(tool, "render", cut_rle, "--frame", "all", "--png", png)
    errors = [line for line in result.stderr.decode().splitlines() if line.startswith("ERROR_")]
    check(result.returncode == 1 and len(errors) == 1 and "frame 2" in errors[0] and not os.path.exists(png),
          f"cut RLE file: exit {result.returncode}, {errors}")


def main():
    tool = sys.argv[1]
    shown = 0
    with tempfile.TemporaryDirectory() as work:
        cases = [(os.path.join(PYDICOM, n), None) for n in sorted(os.listdir(PYDICOM)) if n.endswith(".dcm")]
        cases += made_files(work)
        transcoded = transcodes(work)
        for path, frames in cases + [(p, None) for p in transcoded]:
            shown += check_file(tool, path, work, frames, must_show=path in transcoded)
        with tempfile.TemporaryDirectory() as counts:
            check_frame_counts(tool, counts)
    print(f"{shown} files shown, {len(failures)} failures")
    return 1 if failures or shown < 50 else 0


if __name__ == "__main__":
    sys.exit(main())

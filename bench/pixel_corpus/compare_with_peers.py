#!/usr/bin/python3
"""velmora-tool render on a wide corpus, frame by frame, against pydicom and DCMTK.

The corpus (made in WORK, not kept in the repository): every image file of python3-pydicom's
test_files and charset_files; multi-frame and header variants made from them here; and transcodes
of each native one with dcmconv (+ti +te +tb +td), dcmcrle (also +fs 1 -ot), dcmcjpeg (+eb +ee +es
+ep, +eb with +s4 +cr +np, +e1 also with +pt 2 and +fs 1 -ot, +el with each selection value),
dcmcjpls (lossless in every interleave mode, cooked, +fs 1, near-lossless) and gdcmconv (--j2k,
--jpegls, --rle, --jpeg).

For every file and frame:
- `render --frame all` must succeed where a peer decodes the file;
- `render --raw` equals the reference pixels exactly (lossless syntaxes) or within one level
  (lossy): DCMTK's decompression (dcmdjpeg +cn, dcmdjpls, dcmdrle; gdcmconv -w for JPEG 2000)
  read by pydicom, or pydicom itself;
- `render --png` (first and last frame) equals dcmj2pnm / dcml2pnm within one grey level with
  the options render_matches_dcmtk.py chooses (wider for narrow windows, where the viewer's
  window formula and PS3.3's part by up to 255 / width, and for YBR, where DCMTK's conversion is
  off by up to 2); where the viewer differs by design (window clamped to the pixel range) the
  bitmap is checked against render_and_info.py's hand formula instead;
- `--invert` gives 255 minus the plain bitmap and `--mirror --flip` the reversed one.

Usage: compare_with_peers.py VELMORA_TOOL WORK [--build] [--only GLOB]
(--build makes the corpus first: about 2 minutes; the comparison about 5 on a Release build.)
Prints one line per mismatch and a summary.
"""
import argparse
import fnmatch
import glob
import json
import math
import os
import subprocess
import sys
import warnings

import numpy as np
import pydicom
from pydicom.pixel_data_handlers.util import convert_color_space
from pydicom.uid import ExplicitVRLittleEndian

warnings.filterwarnings("ignore")
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "tools"))
import render_matches_dcmtk as peer  # noqa: E402
from render_and_info import read_png, window_reference  # noqa: E402

DATA = os.path.join(os.path.dirname(pydicom.__file__), "data")
NATIVE = {"", "1.2.840.10008.1.2", "1.2.840.10008.1.2.1", "1.2.840.10008.1.2.2", "1.2.840.10008.1.2.1.99"}
LOSSLESS = {"1.2.840.10008.1.2.4.57", "1.2.840.10008.1.2.4.70", "1.2.840.10008.1.2.4.80",
            "1.2.840.10008.1.2.4.90", "1.2.840.10008.1.2.5"}
J2K = {"1.2.840.10008.1.2.4.90", "1.2.840.10008.1.2.4.91"}
JLS = {"1.2.840.10008.1.2.4.80", "1.2.840.10008.1.2.4.81"}
RLE = {"1.2.840.10008.1.2.5"}
PIXEL_TAGS = (0x7FE00010, 0x7FE00008, 0x7FE00009)
TRANSCODES = [
    ("implicit", ["dcmconv", "+ti"]), ("explicit", ["dcmconv", "+te"]), ("bigendian", ["dcmconv", "+tb"]),
    ("deflated", ["dcmconv", "+td"]), ("rle", ["dcmcrle"]), ("rle_fs1", ["dcmcrle", "+fs", "1", "-ot"]),
    ("jpeg_eb", ["dcmcjpeg", "+eb"]), ("jpeg_ee", ["dcmcjpeg", "+ee"]), ("jpeg_es", ["dcmcjpeg", "+es"]),
    ("jpeg_ep", ["dcmcjpeg", "+ep"]), ("jpeg_eb_s4", ["dcmcjpeg", "+eb", "+s4"]),
    ("jpeg_eb_cr", ["dcmcjpeg", "+eb", "+cr"]), ("jpeg_eb_np", ["dcmcjpeg", "+eb", "+np"]),
    ("jpeg_e1", ["dcmcjpeg", "+e1"]), ("jpeg_e1_pt2", ["dcmcjpeg", "+e1", "+pt", "2"]),
    ("jpeg_e1_fs1", ["dcmcjpeg", "+e1", "+fs", "1", "-ot"]),
] + [(f"jpeg_el_sv{sv}", ["dcmcjpeg", "+el", "+sv", str(sv)]) for sv in range(1, 8)] + [
    ("jpeg_el_sv6_pt1", ["dcmcjpeg", "+el", "+sv", "6", "+pt", "1"]),
    ("jls", ["dcmcjpls"]), ("jls_cooked", ["dcmcjpls", "+pc"]), ("jls_is", ["dcmcjpls", "+is"]),
    ("jls_in", ["dcmcjpls", "+in"]), ("jls_iv", ["dcmcjpls", "+iv"]), ("jls_fs1", ["dcmcjpls", "+fs", "1", "-ot"]),
    ("jls_near2", ["dcmcjpls", "+en"]), ("jls_near5_in", ["dcmcjpls", "+en", "+md", "5", "+in"]),
    ("jls_near3_is", ["dcmcjpls", "+en", "+md", "3", "+is"]),
    ("gdcm_j2k", ["gdcmconv", "--j2k"]), ("gdcm_j2k_lossy", ["gdcmconv", "--j2k", "--lossy", "-q", "30"]),
    ("gdcm_jls", ["gdcmconv", "--jpegls"]), ("gdcm_rle", ["gdcmconv", "--rle"]), ("gdcm_jpeg", ["gdcmconv", "--jpeg"]),
]


def run(*args, timeout=300):
    return subprocess.run(list(args), capture_output=True, timeout=timeout)


# --- corpus -----------------------------------------------------------------------------------

def save(ds, array, path):
    ds.file_meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds.is_little_endian, ds.is_implicit_VR = True, False
    ds.PixelData = np.ascontiguousarray(array).astype(array.dtype.newbyteorder("<")).tobytes()
    ds["PixelData"].VR = "OW" if ds.BitsAllocated > 8 else "OB"
    for tag in ("SmallestImagePixelValue", "LargestImagePixelValue"):
        if tag in ds:
            del ds[tag]
    ds.save_as(path, write_like_original=False)


def made_files(folder):
    """Multi-frame files and header variants real files carry."""
    test = lambda name: pydicom.dcmread(os.path.join(DATA, "test_files", name))  # noqa: E731
    rng = np.random.default_rng(7)
    mr = test("MR_small.dcm")
    a = mr.pixel_array.astype(np.int16)
    mr.NumberOfFrames = 3
    save(mr, np.stack([a, a[::-1] - 300, np.clip(a.astype(int) * 3 - 2000, -32768, 32767).astype(np.int16)]),
         os.path.join(folder, "mf_mr16s.dcm"))
    ct = test("CT_small.dcm")
    twelve = np.clip(ct.pixel_array.astype(int) + 1024, 0, 4095).astype(np.uint16)
    ds = test("CT_small.dcm")
    ds.BitsStored, ds.HighBit, ds.PixelRepresentation, ds.NumberOfFrames = 12, 11, 0, 3
    ds.RescaleIntercept, ds.WindowCenter, ds.WindowWidth = -1024, 40, 400
    save(ds, np.stack([twelve, twelve.T, 4095 - twelve]), os.path.join(folder, "mf_ct12u.dcm"))
    ds = test("CT_small.dcm")
    ds.BitsStored, ds.HighBit, ds.PixelRepresentation = 12, 11, 0
    ds.RescaleIntercept, ds.WindowCenter, ds.WindowWidth = -1024, 40, 400
    save(ds, twelve | (rng.integers(0, 16, twelve.shape, dtype=np.uint16) << 12),
         os.path.join(folder, "ct12_high_garbage_window.dcm"))
    ds = test("CT_small.dcm")
    ds.BitsStored, ds.HighBit, ds.PixelRepresentation = 12, 15, 0
    save(ds, (twelve << 4) | rng.integers(0, 16, twelve.shape, dtype=np.uint16), os.path.join(folder, "ct12_high_bit_15.dcm"))
    ds = test("CT_small.dcm")
    ds.BitsStored, ds.HighBit, ds.PixelRepresentation, ds.WindowCenter, ds.WindowWidth = 12, 11, 1, 40, 400
    signed = (np.clip(ct.pixel_array.astype(int), -2048, 2047) & 0xFFF).astype(np.uint16)
    save(ds, signed, os.path.join(folder, "ct12s_not_extended_window.dcm"))
    ds.PhotometricInterpretation = "MONOCHROME1"
    save(ds, signed, os.path.join(folder, "ct12s_not_extended_window_mono1.dcm"))
    ds = test("CT_small.dcm")
    ds.RescaleSlope, ds.RescaleIntercept, ds.WindowCenter, ds.WindowWidth = -1, 0, -1000, 400
    save(ds, ct.pixel_array, os.path.join(folder, "ct_negative_slope_window.dcm"))
    rgb = test("SC_rgb_jpeg_dcmd.dcm")
    a = rgb.pixel_array
    ds = test("SC_rgb_jpeg_dcmd.dcm")
    ds.NumberOfFrames = 2
    save(ds, np.stack([a, a[::-1, ::-1]]), os.path.join(folder, "mf_rgb.dcm"))
    ds.PlanarConfiguration = 1
    save(ds, np.stack([np.moveaxis(a, -1, 0), np.moveaxis(a[::-1], -1, 0)]), os.path.join(folder, "mf_rgb_planar.dcm"))
    ds = test("SC_rgb_jpeg_dcmd.dcm")
    ds.PhotometricInterpretation = "YBR_FULL"
    save(ds, convert_color_space(a, "RGB", "YBR_FULL"), os.path.join(folder, "ybr_full.dcm"))
    ds = test("SC_rgb_jpeg_dcmd.dcm")
    ds.BitsAllocated, ds.BitsStored, ds.HighBit = 16, 12, 11
    wide = a.astype(np.uint16)
    save(ds, (wide << 4) | (wide >> 4) | 0xA000, os.path.join(folder, "rgb12.dcm"))
    grey = test("image_dfl.dcm")
    ds = test("image_dfl.dcm")
    ds.NumberOfFrames = 2
    save(ds, np.stack([grey.pixel_array, 255 - grey.pixel_array]), os.path.join(folder, "mf_grey8.dcm"))


def build(work):
    for sub in ("orig", "made", "trans"):
        os.makedirs(os.path.join(work, sub), exist_ok=True)
    sources = []
    for root in ("test_files", "charset_files"):
        for dirpath, _, names in os.walk(os.path.join(DATA, root)):
            for name in sorted(names):
                path = os.path.join(dirpath, name)
                try:
                    ds = pydicom.dcmread(path, force=True)
                except Exception:
                    continue
                if any(tag in ds for tag in PIXEL_TAGS):
                    dest = os.path.join(work, "orig", os.path.relpath(path, DATA).replace("/", "__"))
                    open(dest, "wb").write(open(path, "rb").read())
                    sources.append(dest)
    made_files(os.path.join(work, "made"))
    sources += sorted(glob.glob(os.path.join(work, "made", "*.dcm")))
    for source in sources:
        meta = getattr(pydicom.dcmread(source, force=True, stop_before_pixels=True), "file_meta", None)
        syntax = meta.get("TransferSyntaxUID") if meta is not None else None
        if syntax is not None and syntax.is_compressed:
            continue
        base = os.path.basename(source).removesuffix(".dcm")
        for suffix, command in TRANSCODES:
            out = os.path.join(work, "trans", f"{base}__{suffix}.dcm")
            args = [*command, "-i", source, "-o", out] if command[0] == "gdcmconv" else [*command, source, out]
            if run(*args, timeout=120).returncode != 0 and os.path.exists(out):
                os.remove(out)


# --- comparison -------------------------------------------------------------------------------

def decompressed(path, syntax, work):
    """A native copy made by DCMTK (GDCM for JPEG 2000), colour kept as stored, or None."""
    out = os.path.join(work, "native.dcm")
    if os.path.exists(out):
        os.remove(out)
    if syntax in J2K:
        command = ["gdcmconv", "-w", "-i", path, "-o", out]
    elif syntax in JLS:
        command = ["dcmdjpls", path, out]
    elif syntax in RLE:
        command = ["dcmdrle", path, out]
    elif syntax in NATIVE:
        command = ["dcmconv", "+te", path, out]
    else:
        command = ["dcmdjpeg", "+cn", path, out]
    return out if run(*command).returncode == 0 and os.path.exists(out) else None


def raw_layout(ds, array, syntax):
    """Bytes in render --raw's layout: planes where the file says so (JPEG always by pixel)."""
    if ds.BitsAllocated == 1:
        return np.packbits(array.astype(np.uint8).ravel(), bitorder="little").tobytes()
    planar = ds.get("SamplesPerPixel", 1) > 1 and ds.get("PlanarConfiguration", 0) == 1
    if planar and (syntax in NATIVE or syntax in RLE or syntax in JLS):
        array = np.moveaxis(array, -1, 0)
    return np.ascontiguousarray(array).astype(array.dtype.newbyteorder("<")).tobytes()


def stored_bits(ds, values):
    """Greyscale samples with only their stored bits (pydicom keeps the bits above the high bit)."""
    allocated, stored = ds.BitsAllocated, ds.get("BitsStored", ds.BitsAllocated)
    if ds.get("SamplesPerPixel", 1) != 1 or allocated not in (8, 16) or stored >= allocated:
        return values
    words = values.astype(np.int64) & ((1 << allocated) - 1)
    bits = (words >> (ds.HighBit + 1 - stored)) & ((1 << stored) - 1)
    if ds.PixelRepresentation == 1:
        bits = np.where(bits >= 1 << (stored - 1), bits - (1 << stored), bits)
    return bits


class Comparison:
    def __init__(self, tool, work):
        self.tool, self.work = tool, work
        self.problems = []
        self.counts = {"files": 0, "shown": 0, "frames": 0, "raw exact": 0, "raw within 1": 0,
                       "png vs DCMTK": 0, "png vs hand formula": 0, "syntaxes": {}}

    def note(self, kind, name, message):
        self.problems.append(kind)
        print(f"{kind:9s} {name}: {message}", flush=True)

    def reference(self, path, ds, syntax):
        """(dataset, pixel array, source) of the reference decode, or (None, None, reason). Sets
        self.native to DCMTK's native copy, which dcmj2pnm then renders (its frame-by-frame reading
        of RLE frames split over fragments without an offset table takes one fragment per frame)."""
        self.native = None
        # DCMTK reads 32-bit samples of big-endian OW per 16-bit word; pydicom per sample.
        if syntax and not (syntax == "1.2.840.10008.1.2.2" and ds.get("BitsAllocated") == 32):
            self.native = decompressed(path, syntax, self.work)
            if self.native:
                try:
                    reference = pydicom.dcmread(self.native)
                    return reference, reference.pixel_array, "DCMTK"
                except Exception:
                    self.native = None
        try:
            return ds, ds.pixel_array, "pydicom"
        except Exception as error:
            return None, None, str(error)[:80]

    def check(self, path):
        name = os.path.relpath(path, self.work)
        if "samples_zero" in name:
            return  # GDCM aborts the process on Samples per Pixel 0
        try:
            ds = pydicom.dcmread(path, force=True)
            frames = int(ds.get("NumberOfFrames", 1) or 1)
        except Exception:
            return
        meta = getattr(ds, "file_meta", None)
        syntax = str(meta.get("TransferSyntaxUID", "")) if meta is not None else ""
        self.counts["files"] += 1
        ref_ds, array, source = self.reference(path, ds, syntax)
        result = run(self.tool, "render", path, "--frame", "all")
        if b"runtime error" in result.stderr or b"Sanitizer" in result.stderr:
            self.note("sanitizer", name, result.stderr.decode(errors="replace")[:300])
        if result.returncode != 0:
            if syntax in J2K and b"the compression is not shown" in result.stderr:
                self.counts["JPEG 2000, not shown"] = self.counts.get("JPEG 2000, not shown", 0) + 1
            elif array is not None:
                reason = result.stderr.decode(errors="replace").strip().splitlines()[0][:160]
                self.note("refused", name, f"{reason} ({source} decodes it)")
            return
        self.counts["shown"] += 1
        self.counts["syntaxes"][syntax] = self.counts["syntaxes"].get(syntax, 0) + 1
        held = json.loads(run(self.tool, "info", path).stdout or b"{}").get("frames") or 1
        if array is None:
            self.note("no ref", name, f"shown, but no peer decodes it: {source}")
            return
        if held != frames:
            self.note("frames", name, f"info counts {held}, the file declares {frames}")
        for frame in range(1, min(held, frames) + 1):
            self.check_frame(path, name, ds, syntax, ref_ds, array[frame - 1] if frames > 1 else array, frame,
                             frame in (1, held), source)

    def check_frame(self, path, name, ds, syntax, ref_ds, values, frame, picture, source):
        self.counts["frames"] += 1
        raw, png = os.path.join(self.work, "frame.raw"), os.path.join(self.work, "frame.png")
        for stale in (raw, png):
            if os.path.exists(stale):
                os.remove(stale)
        result = run(self.tool, "render", path, "--frame", str(frame), "--raw", raw, "--png", png)
        if result.returncode != 0:
            self.note("frame", name, f"frame {frame}: {result.stderr.decode(errors='replace').strip()[:160]}")
            return
        if not (ds.get("PhotometricInterpretation") == "YBR_FULL_422" and syntax in NATIVE):  # stored 4:2:2
            got, want = open(raw, "rb").read(), raw_layout(ds, values, syntax)
            if got == want:
                self.counts["raw exact"] += 1
            elif len(got) != len(want):
                self.note("raw", name, f"frame {frame}: {len(got)} bytes, {source} {len(want)}")
            else:
                dtype = values.dtype.newbyteorder("<")
                worst = int(np.abs(np.frombuffer(got, dtype).astype(np.int64)
                                   - np.frombuffer(want, dtype).astype(np.int64)).max())
                if syntax in NATIVE or syntax in LOSSLESS or worst > 1:
                    self.note("raw", name, f"frame {frame}: samples differ from {source}'s by up to {worst}")
                else:
                    self.counts["raw within 1"] += 1
        if picture:
            self.check_picture(path, name, ds, syntax, ref_ds, values, frame, png)

    def check_picture(self, path, name, ds, syntax, ref_ds, values, frame, png):
        shown = read_png(png).astype(np.int64)
        for flags, expected in ((["--invert"], 255 - shown), (["--mirror", "--flip"], shown[::-1, ::-1])):
            out = os.path.join(self.work, "flags.png")
            if run(self.tool, "render", path, "--frame", str(frame), "--png", out, *flags).returncode != 0 \
                    or not np.array_equal(read_png(out).astype(np.int64), expected):
                self.note("flags", name, f"frame {frame} {' '.join(flags)} is not the plain picture transformed")
        # The frame's own range, of the stored bits only, decides whether the window lies inside it.
        values = stored_bits(ref_ds, values)
        peer.stored_range = lambda _ds, v=values: (int(v.min()), int(v.max()))
        try:
            options, reason = peer.dcmtk_mode(ref_ds)
        except Exception as error:
            options, reason = None, f"no mode: {error}"
        target = self.native or (path if syntax not in J2K else None)
        if options is not None and target:
            pnm = os.path.join(self.work, "dcmtk.pnm")
            if os.path.exists(pnm):
                os.remove(pnm)
            renderer = "dcml2pnm" if syntax in JLS and target == path else "dcmj2pnm"
            if run(renderer, *options, "+F", str(frame), target, pnm).returncode != 0:
                return
            theirs = peer.read_pnm(pnm).astype(np.int64)
            tolerance = self.tolerance(ref_ds, options)
            if shown.shape != theirs.shape:
                self.note("png", name, f"frame {frame} {options}: shape {shown.shape}, DCMTK {theirs.shape}")
            elif np.abs(shown - theirs).max() > tolerance:
                differ = int((np.abs(shown - theirs) > tolerance).sum())
                self.note("png", name, f"frame {frame} {options}: {differ} samples differ from DCMTK's, "
                                       f"by up to {np.abs(shown - theirs).max()}")
            else:
                self.counts["png vs DCMTK"] += 1
        elif reason and ("clamped" in reason or "stretched" in reason) and ref_ds.get("RescaleSlope", 1) >= 0:
            expected = window_reference(ref_ds, values).astype(np.int64)
            if shown.shape != expected.shape or np.abs(shown - expected).max() > 1:
                self.note("png", name, f"frame {frame}: differs from the hand formula ({reason})")
            else:
                self.counts["png vs hand formula"] += 1

    @staticmethod
    def tolerance(ds, options):
        photometric = ds.PhotometricInterpretation
        if photometric.startswith("YBR"):
            # DCMTK converts 12-bit YCbCr before it scales to 8 bits, the viewer after.
            return 2 if ds.BitsStored <= 8 else 3
        reversed_ = (photometric == "MONOCHROME1") != (float(ds.get("RescaleSlope", 1)) < 0)
        if "+Wi" not in options:
            return 1
        width = peer.first(ds.WindowWidth) / abs(float(ds.get("RescaleSlope", 1) or 1))
        return max(2 if reversed_ else 1, math.ceil(255 / max(width, 1)) + 1)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tool")
    parser.add_argument("work")
    parser.add_argument("--build", action="store_true")
    parser.add_argument("--only", default="*")
    args = parser.parse_args()
    tool, work = os.path.abspath(args.tool), os.path.abspath(args.work)
    if args.build:
        build(work)
    comparison = Comparison(tool, work)
    for path in sorted(glob.glob(os.path.join(work, "*", "*"))):
        if fnmatch.fnmatch(os.path.basename(path), args.only) and not path.endswith((".raw", ".png", ".pnm")):
            comparison.check(path)
    print(json.dumps(comparison.counts))
    kinds = {k: comparison.problems.count(k) for k in sorted(set(comparison.problems))}
    print(f"mismatches: {kinds or 'none'}")


if __name__ == "__main__":
    main()

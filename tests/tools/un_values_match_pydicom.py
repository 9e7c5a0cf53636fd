#!/usr/bin/python3
"""Known attributes labelled UN, as anonymisers and old archives write them, read as their
dictionary VR the way pydicom reads them (config.replace_un_with_known_vr): files built byte by
byte in explicit VR little- and big-endian with UN window, rescale, name and description values.
velmora-tool info, the exam tree of scan and the display of render must agree with pydicom's
reading of the same bytes and with the same file written with the real VRs; dump keeps the UN as
dcmdump shows it, and save writes the value bytes back unchanged. A real file of pydicom's whose
attributes are nearly all UN is labelled as pydicom names it.

Usage: un_values_match_pydicom.py VELMORA_TOOL
"""
import json
import os
import struct
import subprocess
import sys
import tempfile

import numpy as np
import pydicom

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from render_and_info import PYDICOM, check, failures, read_png, run, window_reference  # noqa: E402

LONG_HEADER = {b"OB", b"OW", b"UN", b"UT", b"SQ"}
# Values that a UN label hides, with the VR their tag has; ISO_IR 100 (Latin-1) decodes the text.
UN_VALUES = [
    (0x00080005, b"CS", b"ISO_IR 100"),
    (0x00081030, b"LO", b"\xc9tude"),
    (0x0008103E, b"LO", b"S\xe9rie UN"),
    (0x00100010, b"PN", b"Buc^J\xe9r\xf4me"),
    (0x00281050, b"DS", b"600\\200"),
    (0x00281051, b"DS", b"40\\60"),
    (0x00281052, b"DS", b"-1024"),
    (0x00281053, b"DS", b"2"),
]
ROWS, COLUMNS = 4, 4
# Stored values around the window: (600 + 1024) / 2 = 812 +- 10 after the rescale.
PIXELS = [790 + 3 * i for i in range(ROWS * COLUMNS)]


def element(tag, vr, value, big):
    order = ">" if big else "<"
    if len(value) % 2:
        value += b" "
    head = struct.pack(order + "HH", tag >> 16, tag & 0xFFFF) + vr
    if vr in LONG_HEADER:
        return head + b"\0\0" + struct.pack(order + "I", len(value)) + value
    return head + struct.pack(order + "H", len(value)) + value


def build(path, big, labelled_un):
    """An explicit VR file; with `labelled_un` the UN_VALUES carry the VR UN. Group 0002 is
    always little-endian."""
    syntax = b"1.2.840.10008.1.2.2\0" if big else b"1.2.840.10008.1.2.1\0"
    meta = element(0x00020001, b"OB", b"\0\1", False) + element(0x00020010, b"UI", syntax, False)
    meta = element(0x00020000, b"UL", struct.pack("<I", len(meta)), False) + meta
    us = lambda v: struct.pack(">H" if big else "<H", v)  # noqa: E731
    body = [(0x00080016, b"UI", b"1.2.840.10008.5.1.4.1.1.7\0"), (0x00080018, b"UI", b"1.2.3.4\0")]
    body += [(tag, b"UN" if labelled_un else vr, value) for tag, vr, value in UN_VALUES]
    body += [(0x00091000 + i, b"SH", b"AB") for i in range(12)]
    body += [(0x00280002, b"US", us(1)), (0x00280004, b"CS", b"MONOCHROME2"), (0x00280010, b"US", us(ROWS)),
             (0x00280011, b"US", us(COLUMNS)), (0x00280100, b"US", us(16)), (0x00280101, b"US", us(12)),
             (0x00280102, b"US", us(11)), (0x00280103, b"US", us(0))]
    body.sort(key=lambda e: e[0])
    body.append((0x7FE00010, b"OW", b"".join(us(v) for v in PIXELS)))
    with open(path, "wb") as f:
        f.write(b"\0" * 128 + b"DICM" + meta + b"".join(element(t, v, x, big) for t, v, x in body))


def label(value, absent):
    return str(value).replace("^", " ") if value else absent


def compare(tool, work, big):
    name = "big-endian" if big else "little-endian"
    folder = os.path.join(work, name)
    os.mkdir(folder)
    un_path, real_path = os.path.join(folder, "un.dcm"), os.path.join(work, f"real-{name}.dcm")
    build(un_path, big, True)
    build(real_path, big, False)
    ds = pydicom.dcmread(un_path)
    check(all(ds[tag].VR == vr.decode() for tag, vr, _ in UN_VALUES), f"{name}: pydicom keeps a UN")

    result = run(tool, "info", un_path)
    check(result.returncode == 0, f"{name}: info {result.stderr!r}")
    if result.returncode == 0:
        info = json.loads(result.stdout)
        expected = {"window_center": float(ds.WindowCenter[0]), "window_width": float(ds.WindowWidth[0]),
                    "rescale_intercept": float(ds.RescaleIntercept), "rescale_slope": float(ds.RescaleSlope),
                    "patient": label(ds.PatientName, "Unknown Patient"),
                    "study": label(ds.StudyDescription, "Unknown Study"),
                    "series": label(ds.SeriesDescription, "Unknown Series")}
        for key, value in expected.items():
            check(info[key] == value, f"{name}: info {key} {info[key]!r}, pydicom {value!r}")
        real = json.loads(run(tool, "info", real_path).stdout)
        check(info == real, f"{name}: info of the UN file {info} differs from the real VRs' {real}")

    scan = run(tool, "scan", folder).stdout.decode("utf-8").splitlines()
    want = [label(ds.PatientName, ""), "  " + label(ds.StudyDescription, ""),
            "    " + label(ds.SeriesDescription, ""), f"      Image  1\t{un_path}\t1"]
    check(scan == want, f"{name}: scan {scan!r}, pydicom {want!r}")

    png = os.path.join(work, "out.png")
    result = run(tool, "render", un_path, "--png", png)
    check(result.returncode == 0, f"{name}: render {result.stderr!r}")
    if result.returncode == 0:
        got, reference = read_png(png), window_reference(ds, ds.pixel_array)
        check(got.shape == reference.shape and (got == reference).all(), f"{name}: render differs from pydicom's window")
        check(len(np.unique(got)) > 2, f"{name}: the window leaves {np.unique(got)} only")

    dump = run(tool, "dump", un_path).stdout.decode("utf-8")
    check("(0028,1050) UN 8 Window Center\n" in dump, f"{name}: dump shows the UN element otherwise")
    saved = os.path.join(work, "saved.dcm")
    result = run(tool, "save", un_path, saved)
    check(result.returncode == 0, f"{name}: save {result.stderr!r}")
    if result.returncode == 0:
        # Implicit VR little-endian: tag, 32-bit length, the value bytes as the file had them.
        out = open(saved, "rb").read()
        for tag, _, value in UN_VALUES:
            value += b" " * (len(value) % 2)
            check(struct.pack("<HHI", tag >> 16, tag & 0xFFFF, len(value)) + value in out, f"{name}: saved {tag:08x}")


def real_file(tool):
    """pydicom's RLE dose file labels nearly every attribute UN, the patient's name among them."""
    path = os.path.join(PYDICOM, "rtdose_rle_1frame.dcm")
    result = run(tool, "info", path)
    check(result.returncode == 0, f"info rtdose_rle_1frame {result.stderr!r}")
    if result.returncode == 0:
        patient = json.loads(result.stdout)["patient"]
        want = label(pydicom.dcmread(path).PatientName, "Unknown Patient")
        check(patient == want, f"rtdose_rle_1frame patient {patient!r}, pydicom {want!r}")


def main():
    tool = sys.argv[1]
    real_file(tool)
    with tempfile.TemporaryDirectory() as work:
        for big in (False, True):
            compare(tool, work, big)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

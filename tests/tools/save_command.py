#!/usr/bin/python3
"""velmora-tool save against DCMTK and pydicom. Without options the output is the raw data set
(no preamble, no group 0002, implicit VR little-endian). With --file-format (the PS3.10 file:
preamble, meta group, explicit VR little-endian), alone and with --big-endian,
--defined-lengths, --all-group-lengths and --deflated (the body compressed), the output is a
file that dcmdump reads without a warning and pydicom without complaint; its pixel data decodes
to the source's pixels (native and RLE) or carries the same fragments (other compressions);
(0002,0000) counts the rest of group 0002 and group 0002 names the body's SOP Class and Instance
and a valid implementation UID; every other element keeps its value. Compressed pixel data
cannot be saved big-endian, implicit or deflated (ERROR_DS_TRANSFER_SYNTAX). A source that
cannot be loaded and an unwritable destination fail with the result code's name and leave
nothing behind; wrong usage exits 2."""
import os
import struct
import subprocess
import sys
import tempfile
import warnings

import numpy
import pydicom
from pydicom.encaps import generate_pixel_data_frame

tool = sys.argv[1]
warnings.simplefilter("ignore", UserWarning)  # pydicom on the odd UID of one of its own files
data = os.path.join(os.path.dirname(pydicom.__file__), "data", "test_files")

# Native and RLE sources are compared by decoded pixels; the JPEG family by their fragments.
DECODED = ["CT_small.dcm", "MR_small.dcm", "MR_small_bigendian.dcm", "MR_small_implicit.dcm",
           "ExplVR_BigEnd.dcm", "rtdose.dcm", "MR_small_RLE.dcm", "SC_rgb_rle_2frame.dcm", "SC_rgb_rle_16bit.dcm",
           "SC_rgb_small_odd.dcm", "rtdose_rle.dcm"]
FRAGMENTS = ["JPEG2000.dcm", "MR_small_jpeg_ls_lossless.dcm", "JPEG-lossy.dcm", "SC_rgb_jpeg_dcmtk.dcm"]
VARIANTS = [[], ["--big-endian"], ["--defined-lengths"], ["--all-group-lengths"],
            ["--defined-lengths", "--all-group-lengths"], ["--deflated"]]
LITTLE, BIG, IMPLICIT = "1.2.840.10008.1.2.1", "1.2.840.10008.1.2.2", "1.2.840.10008.1.2"
DEFLATED = "1.2.840.10008.1.2.1.99"


def run(*args):
    return subprocess.run([tool, *args], capture_output=True, text=True)


def dcmdump_clean(path):
    result = subprocess.run(["dcmdump", "-q", "-dc", path], capture_output=True, text=True)
    assert result.returncode == 0 and result.stderr == "", (path, result.stderr)


def meta_group_is_valid(path, source):
    """PS3.10 7.1: version 00 01, the SOP Class and Instance UIDs of the body, the writer's UID."""
    meta = pydicom.dcmread(path).file_meta
    assert meta.FileMetaInformationVersion == b"\0\1", path
    assert meta.MediaStorageSOPClassUID == source.SOPClassUID, path
    assert meta.MediaStorageSOPInstanceUID == source.SOPInstanceUID, path
    assert meta.ImplementationClassUID.is_valid, (path, meta.ImplementationClassUID)


def meta_group_length_agrees(path):
    with open(path, "rb") as f:
        raw = f.read()
    assert raw[128:132] == b"DICM", path
    at = 132
    declared = None
    rest = 0
    while at + 8 <= len(raw):
        group, element = struct.unpack_from("<HH", raw, at)
        if group != 0x0002:
            break
        vr = raw[at + 4:at + 6]
        if vr in (b"OB", b"OW", b"OF", b"SQ", b"UT", b"UN"):
            length = struct.unpack_from("<I", raw, at + 8)[0]
            size = 12 + length
        else:
            length = struct.unpack_from("<H", raw, at + 6)[0]
            size = 8 + length
        if element == 0:
            declared = struct.unpack_from("<I", raw, at + 8)[0]
        else:
            rest += size
        at += size
    assert declared == rest, (path, declared, rest)


def elements(ds, private=True):
    """Every element but group 0002 and group lengths, as comparable values. Without VRs in the
    file pydicom guesses the VR of private elements, so those can be left out."""
    out = {}
    for elem in ds.iterall():
        if (elem.tag.is_private and not private) or elem.tag.group == 0x0002 or elem.tag.element == 0 or elem.tag == 0x7FE00010 or elem.VR == "SQ":
            continue
        value = elem.value
        if isinstance(value, bytes):
            value = value.rstrip(b"\0 ")
        elif isinstance(value, str):
            value = value.rstrip("\0 ")
        out.setdefault(elem.tag, []).append(repr(value))
    return out


def same_pixels(source, copy, name):
    if name in DECODED:
        assert numpy.array_equal(source.pixel_array, copy.pixel_array), name
    else:
        frames = int(source.get("NumberOfFrames", 1))
        a = list(generate_pixel_data_frame(source.PixelData, frames))
        b = list(generate_pixel_data_frame(copy.PixelData, frames))
        assert a == b, name


checked = 0
with tempfile.TemporaryDirectory() as scratch:
    for name in DECODED + FRAGMENTS:
        src = os.path.join(data, name)
        source = pydicom.dcmread(src)
        compressed = source.file_meta.TransferSyntaxUID.is_compressed

        # Options 0: the raw data set, read back as implicit VR little-endian.
        raw = os.path.join(scratch, "raw.dcm")
        result = run("save", src, raw)
        assert result.returncode == 0, (name, result.stderr)
        with open(raw, "rb") as f:
            head = f.read(132)
        assert head[128:132] != b"DICM" and struct.unpack_from("<H", head)[0] != 0x0002, name
        dcmdump_clean(raw)
        copy = pydicom.dcmread(raw, force=True)
        assert "TransferSyntaxUID" not in copy.file_meta, name
        assert elements(copy, False) == elements(source, False), name
        if not compressed:
            copy.file_meta.TransferSyntaxUID = IMPLICIT
            same_pixels(source, copy, name)

        for variant in VARIANTS:
            if compressed and ("--big-endian" in variant or "--deflated" in variant):
                continue  # no big-endian or deflated transfer syntax carries compressed pixel data
            out = os.path.join(scratch, "framed.dcm")
            result = run("save", src, out, "--file-format", *variant)
            assert result.returncode == 0, (name, variant, result.stderr)
            dcmdump_clean(out)
            meta_group_length_agrees(out)
            meta_group_is_valid(out, source)
            copy = pydicom.dcmread(out)  # no force: a file with preamble and meta group
            syntax = copy.file_meta.TransferSyntaxUID
            if compressed:
                assert syntax == source.file_meta.TransferSyntaxUID, (name, syntax)
            elif "--deflated" in variant:
                assert syntax == DEFLATED, (name, syntax)
            else:
                assert syntax == (BIG if "--big-endian" in variant else LITTLE), (name, variant, syntax)
            assert elements(copy) == elements(source), (name, variant)
            # OW is a string of 16-bit words: big-endian output swaps each word, which readers
            # do not undo for 8-bit or 32-bit samples kept in OW.
            if not ("--big-endian" in variant and source["PixelData"].VR == "OW" and source.BitsAllocated != 16):
                same_pixels(source, copy, name)
            checked += 1

    # No transfer syntax carries compressed pixel data big-endian, implicit or deflated.
    for variant in (["--big-endian"], ["--deflated"], []):
        options = ["--preamble", "--meta", "--explicit"] if variant else ["--preamble", "--meta"]
        refused = run("save", os.path.join(data, "JPEG2000.dcm"), os.path.join(scratch, "c.dcm"), *options, *variant)
        assert refused.returncode == 1 and refused.stderr.startswith("ERROR_DS_TRANSFER_SYNTAX:"), refused

    # Failures: nothing is left where the output would have gone; the message names the file
    # that failed, the source or the destination.
    missing = run("save", os.path.join(data, "no-such-file.dcm"), os.path.join(scratch, "a.dcm"))
    assert missing.returncode == 1 and missing.stderr.startswith("ERROR_FILE_OPEN:"), missing
    assert missing.stderr.endswith(" (%s)\n" % os.path.join(data, "no-such-file.dcm")), missing
    folder = run("save", os.path.join(data, "CT_small.dcm"), os.path.join(scratch, "no", "b.dcm"))
    assert folder.returncode == 1 and folder.stderr.startswith("ERROR_FILE_OPEN:"), folder
    assert folder.stderr.endswith(" (%s)\n" % os.path.join(scratch, "no", "b.dcm")), folder
    full = run("save", os.path.join(data, "CT_small.dcm"), "/dev/full")
    assert full.returncode == 1 and full.stderr.startswith("ERROR_FILE_WRITE:"), full
    assert full.stderr.endswith(" (/dev/full)\n"), full
    assert sorted(os.listdir(scratch)) == ["framed.dcm", "raw.dcm"], os.listdir(scratch)
    assert run("save", os.path.join(data, "CT_small.dcm")).returncode == 2
    assert run("save", "a", "b", "--no-such-option").returncode == 2

print("save ok:", checked, "framed files checked")

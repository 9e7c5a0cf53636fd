#!/usr/bin/python3
"""Files that break a rule of the standard but that the peers read, built byte by byte from
pydicom's test files: velmora-tool dump must read them as pydicom does (the same text values) and
say on stderr, one warning line each, what it tolerated; render must decode them.

- the body of SC_rgb_jpeg.dcm from pydicom is implicit VR under an explicit transfer syntax (its
  pixels must be the ones pydicom decodes);
- a Transfer Syntax UID of 19 bytes without its padding byte;
- a data set followed by zero bytes (DCMTK stops there, and so must we);
- a 4-frame JPEG lossless file (DCMTK's dcmcjpeg) whose last fragment has an odd length: frame 4
  must equal the frame pydicom reads from the uncompressed source.

Usage: tolerant_files.py VELMORA_TOOL
"""
import os
import struct
import subprocess
import sys
import tempfile

import numpy
import pydicom

TEST_FILES = os.path.join(os.path.dirname(pydicom.__file__), "data", "test_files")
ITEM = b"\xfe\xff\x00\xe0"
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL", message)


def dump(tool, path):
    run = subprocess.run([tool, "dump", path], capture_output=True)
    return run.returncode, run.stdout.decode("utf-8"), run.stderr.decode("utf-8")


def value_of(dump_text, tag):
    for line in dump_text.splitlines():
        if line.startswith(tag) and " = " in line:
            return line.split(" = ", 1)[1]
    return None


def warnings_in(stderr):
    return [line for line in stderr.splitlines() if line.startswith("warning: ")]


def implicit_body(tool, scratch):
    path = os.path.join(TEST_FILES, "SC_rgb_jpeg.dcm")
    code, out, err = dump(tool, path)
    check(code == 0, f"implicit body: dump exit {code}: {err}")
    warned = warnings_in(err)
    check(len(warned) == 1 and "implicit" in warned[0], f"implicit body: warnings {warned}")
    theirs = pydicom.dcmread(path)
    check(value_of(out, "(0028,0004)") == theirs.PhotometricInterpretation, "implicit body: photometric")
    check(value_of(out, "(0028,0010)") == str(theirs.Rows), "implicit body: rows")
    raw = os.path.join(scratch, "implicit.raw")
    check(subprocess.run([tool, "render", path, "--raw", raw]).returncode == 0, "implicit body: render")
    pixels = theirs.pixel_array
    ours = numpy.fromfile(raw, dtype=numpy.uint8)
    check(ours.size == pixels.size and numpy.array_equal(ours.reshape(pixels.shape), pixels), "implicit body: pixels")


def odd_transfer_syntax(tool, scratch):
    source = open(os.path.join(TEST_FILES, "CT_small.dcm"), "rb").read()
    padded = b"\x10\x00UI\x14\x001.2.840.10008.1.2.1\x00"
    at = source.index(padded)
    data = source[:at] + b"\x10\x00UI\x13\x001.2.840.10008.1.2.1" + source[at + len(padded):]
    # The group length counts one byte less.
    group_length = source.index(b"\x02\x00\x00\x00UL\x04\x00")
    value = struct.unpack("<I", data[group_length + 8:group_length + 12])[0] - 1
    data = data[:group_length + 8] + struct.pack("<I", value) + data[group_length + 12:]
    path = os.path.join(scratch, "odd_uid.dcm")
    open(path, "wb").write(data)
    code, out, err = dump(tool, path)
    check(code == 0, f"odd UID: dump exit {code}: {err}")
    warned = warnings_in(err)
    check(len(warned) == 1 and "odd length" in warned[0], f"odd UID: warnings {warned}")
    theirs = pydicom.dcmread(path)
    check(value_of(out, "(0002,0010)") == theirs.file_meta.TransferSyntaxUID, "odd UID: the UID")
    check(value_of(out, "(0010,0010)") == str(theirs.PatientName), "odd UID: the body is read")
    check(out.count("\n") == dump(tool, os.path.join(TEST_FILES, "CT_small.dcm"))[1].count("\n"), "odd UID: rows")


def trailing_zeros(tool, scratch):
    original = os.path.join(TEST_FILES, "MR_small.dcm")
    path = os.path.join(scratch, "zeros.dcm")
    open(path, "wb").write(open(original, "rb").read() + bytes(100000))
    code, out, err = dump(tool, path)
    check(code == 0, f"zeros: dump exit {code}: {err}")
    warned = warnings_in(err)
    check(len(warned) == 1 and "zero bytes" in warned[0], f"zeros: warnings {warned}")
    # dcmdump lists the same elements with and without the padding (besides one empty
    # (0000,0000) for the padding itself); we list exactly the original's.
    def dcmdump_rows(name):
        text = subprocess.run(["dcmdump", "-q", name], capture_output=True, text=True).stdout
        return [line for line in text.splitlines() if line.startswith("(") and not line.startswith("(0000,0000)")]
    check(dcmdump_rows(path) == dcmdump_rows(original), "zeros: dcmdump does not stop at the padding")
    check(out == dump(tool, original)[1], "zeros: the padded file does not dump as the original")


def odd_last_fragment(tool, scratch):
    dataset = pydicom.dcmread(os.path.join(TEST_FILES, "MR_small.dcm"))
    frame = dataset.pixel_array
    frames = numpy.stack([frame, frame[::-1], frame[:, ::-1], frame.T])
    dataset.PixelData = frames.tobytes()
    dataset.NumberOfFrames = 4
    source = os.path.join(scratch, "four.dcm")
    dataset.save_as(source)
    lossless = os.path.join(scratch, "four_jpeg.dcm")
    subprocess.run(["dcmcjpeg", "+e1", source, lossless], check=True)
    data = open(lossless, "rb").read()
    at = data.rindex(ITEM)
    length = struct.unpack("<I", data[at + 4:at + 8])[0]
    fragment = data[at + 8:at + 8 + length]
    if length % 2 == 0:
        # A comment segment of one byte after SOI makes the stream odd; the frame is unchanged.
        fragment = fragment[:2] + b"\xff\xfe\x00\x03X" + fragment[2:]
    odd = os.path.join(scratch, "odd_fragment.dcm")
    open(odd, "wb").write(data[:at] + ITEM + struct.pack("<I", len(fragment)) + fragment + data[at + 8 + length:])
    code, _, err = dump(tool, odd)
    warned = warnings_in(err)
    check(code == 0 and len(warned) == 1 and "odd length" in warned[0], f"odd fragment: dump {code} {warned}")
    raw = os.path.join(scratch, "frame4.raw")
    run = subprocess.run([tool, "render", odd, "--frame", "4", "--raw", raw], capture_output=True, text=True)
    check(run.returncode == 0, f"odd fragment: render frame 4: {run.stderr}")
    if run.returncode == 0:
        ours = numpy.fromfile(raw, dtype=frames.dtype.newbyteorder("<")).reshape(frame.shape)
        check(numpy.array_equal(ours, frames[3]), "odd fragment: frame 4 differs from the source")


def main():
    tool = sys.argv[1]
    with tempfile.TemporaryDirectory() as scratch:
        for case in (implicit_body, odd_transfer_syntax, trailing_zeros, odd_last_fragment):
            case(tool, scratch)
    print(f"tolerant files: {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""velmora-tool dump against DCMTK's dcmdump: for every file of pydicom's test set that the reader
accepts, and for DCMTK transcodes of a few of them (implicit, explicit little- and big-endian,
RLE and JPEG lossless), the sequence of (depth, tag, VR, value length) must agree.

Differences the reader decides for itself, and so allowed here:
- delimiters: our tree holds an item or sequence delimiter only where the file has one; dcmdump
  prints them for every item and sequence ("for re-encoding"), so both sides drop them;
- items and fragments: dcmdump gives them the pseudo-VR "na" or "pi", ours carry their parent's
  VR; their VR is not compared;
- encapsulated pixel data: dcmdump names every pixel sequence OB; ours keeps the file's VR;
- implicit VR: the VR of an implicit element comes from each program's own dictionary, so where
  the file is implicit the VR is compared only when both dictionaries know the tag and agree
  on more than "some binary"; dcmdump's "xs", "ox", "lt" and "UN"/"??" for unknown tags match any;
  a sequence our dictionary does not know is one UN value in an implicit file, a subtree there.
- a file where the reader stops early (an impossible length stops the parse; the tree stays
  as parsed): ours must then be a prefix of dcmdump's.
- a file whose body is implicit VR under an explicit transfer syntax (SC_rgb_jpeg.dcm): we read it
  as pydicom does and say so on stderr, dcmdump reads garbage; it is not compared here (the
  tolerant_files test compares it with pydicom).

Usage: dump_matches_dcmdump.py VELMORA_TOOL
"""
import os
import re
import subprocess
import sys
import tempfile

import pydicom

PYDICOM = os.path.join(os.path.dirname(pydicom.__file__), "data", "test_files")
LINE_OURS = re.compile(r"^( *)\(([0-9a-f]{4}),([0-9a-f]{4})\) (\S\S) (\d+|undefined)")
LINE_DCMTK = re.compile(r"^( *)\(([0-9a-f]{4}),([0-9a-f]{4})\) (\S\S) .* #\s*(\d+|u/l),\s*\d+ .+$")
NODE_START = re.compile(r"^ *\([0-9a-f]{4},[0-9a-f]{4}\) ")
DELIMITERS = {"fffe,e00d", "fffe,e0dd"}
ANY_VR = {"xs", "ox", "lt", "UN", "??", "na", "pi", "up"}
# DCMTK transcodes: output name suffix, converter and its arguments.
TRANSCODES = [
    ("implicit", "dcmconv", ["+ti"]),
    ("explicit", "dcmconv", ["+te"]),
    ("bigendian", "dcmconv", ["+tb"]),
    ("rle", "dcmcrle", []),
    ("jpeg_lossless", "dcmcjpeg", ["+e1"]),
]
TRANSCODE_SOURCES = ["CT_small.dcm", "MR_small.dcm", "rtplan.dcm", "SC_rgb.dcm", "nested_priv_SQ.dcm"]

failures = []


def ours(tool, path):
    """(depth, tag, vr, length) per node of velmora-tool dump, or None when it refuses the file."""
    run = subprocess.run([tool, "dump", path], capture_output=True, text=True, errors="replace")
    if run.returncode != 0 or "data set is implicit VR" in run.stderr:
        return None
    rows = []
    for line in run.stdout.splitlines():
        m = LINE_OURS.match(line)
        if not m:
            raise ValueError(f"unparsable dump line in {path}: {line!r}")
        length = -1 if m.group(5) == "undefined" else int(m.group(5))
        rows.append((len(m.group(1)) // 2, f"{m.group(2)},{m.group(3)}", m.group(4), length))
    return rows


def dcmtk(path):
    """The same rows from dcmdump, meta header and data set in file order. A text value with line
    breaks spreads over several lines; they are joined before parsing."""
    run = subprocess.run(["dcmdump", "-q", "+E", path], capture_output=True, text=True, errors="replace")
    records = []
    for line in run.stdout.splitlines():
        if NODE_START.match(line):
            records.append(line)
        elif records and not LINE_DCMTK.match(records[-1]):
            records[-1] += " " + line
    rows = []
    for record in records:
        m = LINE_DCMTK.match(record)
        if m:
            length = -1 if m.group(5) == "u/l" else int(m.group(5))
            rows.append((len(m.group(1)) // 2, f"{m.group(2)},{m.group(3)}", m.group(4), length))
    return rows


def is_implicit(path):
    try:
        return pydicom.dcmread(path, stop_before_pixels=True, force=True).is_implicit_VR
    except Exception:
        return False


def same_row(a, b, implicit):
    (depth_a, tag_a, vr_a, length_a), (depth_b, tag_b, vr_b, length_b) = a, b
    if (depth_a, tag_a, length_a) != (depth_b, tag_b, length_b):
        return False
    if tag_a.startswith("fffe") or vr_b in ANY_VR or vr_a == vr_b:
        return True
    # dcmdump calls every pixel sequence OB, whatever VR the file gives it.
    if tag_a == "7fe0,0010" and length_a == -1:
        return True
    return implicit and not tag_a.startswith("0002")


def compare(tool, path, label):
    mine = ours(tool, path)
    if mine is None:
        return False
    theirs = dcmtk(path)
    mine = [r for r in mine if r[1] not in DELIMITERS]
    theirs = [r for r in theirs if r[1] not in DELIMITERS]
    implicit = is_implicit(path)
    i = j = 0
    while i < len(mine):
        if j >= len(theirs) or not same_row(mine[i], theirs[j], implicit):
            other = theirs[j] if j < len(theirs) else "end of dcmdump"
            failures.append(f"{label}: node {i}: ours {mine[i]} dcmdump {other}")
            print("FAIL", failures[-1])
            return True
        if implicit and mine[i][2] == "UN" and theirs[j][2] == "SQ":
            # A sequence our dictionary does not know: one opaque value here, a subtree there.
            depth = theirs[j][0]
            j += 1
            while j < len(theirs) and theirs[j][0] > depth:
                j += 1
        else:
            j += 1
        i += 1
    if j < len(theirs) and not stops_early(theirs[j]):
        failures.append(f"{label}: ours ends after {len(mine)} nodes, dcmdump has {len(theirs)}")
        print("FAIL", failures[-1])
    return True


def stops_early(following):
    """The reader stops at an element it cannot place: the next dcmdump node has an odd length."""
    return following[3] != -1 and following[3] % 2 == 1


def main():
    tool = sys.argv[1]
    compared = 0
    for folder, _, names in sorted(os.walk(PYDICOM)):
        for name in sorted(names):
            path = os.path.join(folder, name)
            if compare(tool, path, os.path.relpath(path, PYDICOM)):
                compared += 1
    with tempfile.TemporaryDirectory() as folder:
        for source in TRANSCODE_SOURCES:
            for suffix, program, args in TRANSCODES:
                out = os.path.join(folder, f"{source}.{suffix}.dcm")
                made = subprocess.run([program, *args, os.path.join(PYDICOM, source), out], capture_output=True)
                if made.returncode == 0 and compare(tool, out, f"{source} ({suffix})"):
                    compared += 1
    print(f"{compared} files compared, {len(failures)} disagreements")
    if compared < 100:
        print("FAIL too few files compared")
        return 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

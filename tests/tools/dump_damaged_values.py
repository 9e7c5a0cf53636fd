#!/usr/bin/python3
"""velmora-tool dump on values a damaged or hostile file declares:

- a 300-byte file whose UT value declares 2 GB: dump finishes, prints the declared length, and
  its memory stays far below what the declaration would take;
- one DS element with 40,000 values: dump prints them all, equal to pydicom's reading, and
  `info`/`scan` of the same file still work.

Usage: dump_damaged_values.py VELMORA_TOOL
"""
import os
import resource
import struct
import subprocess
import sys
import tempfile

import pydicom

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def element(group, elem, vr, value, length=None):
    """One explicit VR little-endian element; `length` overrides the declared length."""
    declared = len(value) if length is None else length
    head = struct.pack("<HH", group, elem) + vr.encode()
    if vr in ("OB", "OW", "OF", "SQ", "UT", "UN", "UC", "UR", "OD", "OL", "OV", "SV", "UV"):
        return head + b"\0\0" + struct.pack("<I", declared) + value
    return head + struct.pack("<H", declared) + value


def part10(body):
    """Preamble, "DICM" and a meta header naming explicit VR little endian, then `body`."""
    syntax = b"1.2.840.10008.1.2.1\0"
    meta = element(0x0002, 0x0010, "UI", syntax)
    return b"\0" * 128 + b"DICM" + element(0x0002, 0x0000, "UL", struct.pack("<I", len(meta))) + meta + body


def filler(explicit=True):
    """Twenty short private elements: the reader wants at least 21 elements in a file."""
    out = b""
    for i in range(20):
        if explicit:
            out += element(0x0009, 0x1000 + i, "SH", b"AB")
        else:
            out += struct.pack("<HHI", 0x0009, 0x1000 + i, 2) + b"AB"
    return out


def run_measured(args):
    """Runs a command; returns (completed process, peak resident memory of it in MB)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    done = subprocess.run(args, capture_output=True, text=True, errors="replace")
    after = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    return done, max(before, after) / 1024.0


def main():
    tool = sys.argv[1]
    with tempfile.TemporaryDirectory() as folder:
        # A UT that declares 2 GB and holds 40 bytes.
        huge = os.path.join(folder, "huge_ut.dcm")
        body = filler() + element(0x0010, 0x0010, "PN", b"DOE^JOHN") + element(
            0x0040, 0xA160, "UT", b"only forty bytes are really here........", 0x80000000)
        with open(huge, "wb") as out:
            out.write(part10(body))
        done, peak = run_measured([tool, "dump", huge])
        check(done.returncode == 0, f"dump of the 2 GB UT failed: {done.stderr}")
        lines = [line for line in done.stdout.splitlines() if line.startswith("(0040,a160)")]
        check(len(lines) == 1 and " UT 2147483648 " in lines[0], f"UT line: {lines}")
        check(lines and lines[0].endswith("= only forty bytes are really here........"), f"UT value: {lines}")
        # Reading the declared length would show as 2 GB; a sanitizer build's own share stays far below 400 MB.
        check(peak < 400, f"dump of a 2 GB declaration took {peak:.0f} MB")

        # 40,000 DS values in one element.
        many = os.path.join(folder, "many_ds.dcm")
        values = "\\".join(f"{i * 0.5 - 7:g}" for i in range(40000))
        if len(values) % 2:
            values += " "
        # A DS value this long needs a 32-bit length: the file is implicit VR little endian.
        syntax = b"1.2.840.10008.1.2\0"
        meta = element(0x0002, 0x0010, "UI", syntax)
        implicit = filler(False) + struct.pack("<HHI", 0x0010, 0x0010, 8) + b"DOE^JOHN" + \
            struct.pack("<HHI", 0x0028, 0x1050, len(values)) + values.encode()
        with open(many, "wb") as out:
            out.write(b"\0" * 128 + b"DICM" + element(0x0002, 0x0000, "UL", struct.pack("<I", len(meta))) +
                      meta + implicit)
        expected = [str(v) for v in pydicom.dcmread(many).WindowCenter]
        done = subprocess.run([tool, "dump", many], capture_output=True, text=True, errors="replace")
        check(done.returncode == 0, f"dump of 40,000 values failed: {done.stderr}")
        lines = [line for line in done.stdout.splitlines() if line.startswith("(0028,1050)")]
        check(len(lines) == 1, f"DS lines: {len(lines)}")
        if lines:
            shown = lines[0].split(" = ", 1)[1].split("\\")
            check(shown == expected, f"DS values differ from pydicom's: {len(shown)} against {len(expected)}")

    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

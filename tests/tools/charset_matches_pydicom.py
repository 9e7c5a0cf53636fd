#!/usr/bin/python3
"""Text values against pydicom on its character-set files: for every file of
pydicom/data/charset_files, each PN, LO, SH, ST, LT, UT and UC value that velmora-tool dump prints
(sequences included) must equal pydicom's decoded value, and the patient label of velmora-tool info
must be pydicom's str(PatientName) without empty trailing components, "^" read as a blank.

The reader refuses files of fewer than 21 elements (two of the set); such a file is checked on a
copy with short private elements appended, which changes none of its text. Private elements are
not compared.
dump shows control characters as "."; pydicom's values are compared the same way.

Usage: charset_matches_pydicom.py VELMORA_TOOL
"""
import json
import os
import re
import struct
import subprocess
import sys
import tempfile

import pydicom

CHARSET_FILES = os.path.join(os.path.dirname(pydicom.__file__), "data", "charset_files")
TEXT_VRS = {"PN", "LO", "SH", "ST", "LT", "UT", "UC"}
LINE = re.compile(r"^( *)\(([0-9a-f]{4}),([0-9a-f]{4})\) (\S\S) (?:\d+|undefined) (.*)$")
CONTROL = re.compile(r"[\x00-\x1f\x7f]")


def pydicom_values(dataset, depth=0):
    """(depth, tag, text) of every character-set text element, in file order."""
    rows = []
    for elem in dataset:
        if elem.VR == "SQ":
            for item in elem.value:
                rows.extend(pydicom_values(item, depth + 2))
        elif elem.VR in TEXT_VRS:
            values = elem.value if elem.VM > 1 else [elem.value]
            text = "\\".join("" if v is None else str(v) for v in values)
            rows.append((depth, f"{elem.tag.group:04x},{elem.tag.element:04x}", CONTROL.sub(".", text)))
    return rows


def velmora_values(tool, path):
    run = subprocess.run([tool, "dump", path], capture_output=True)
    if run.returncode != 0:
        return None
    rows = []
    for line in run.stdout.decode("utf-8").splitlines():
        m = LINE.match(line)
        assert m, f"{path}: unparsable line {line!r}"
        indent, group, element, vr, rest = m.groups()
        if vr in TEXT_VRS and group != "0002":
            value = rest.split(" = ", 1)[1] if " = " in rest else ""
            # Items sit one level below their sequence, so an item's elements are two levels down.
            rows.append((len(indent) // 2, f"{group},{element}", value))
    return rows


def is_public(tag):
    """Private elements are left out: in an implicit file only pydicom's private dictionary knows
    their VR (the appended padding is private too)."""
    return int(tag[:4], 16) % 2 == 0


def padded_copy(path, dataset, folder):
    """`path` with twenty private LO elements appended in the file's own encoding."""
    order = "<" if dataset.is_little_endian else ">"
    extra = b""
    for i in range(20):
        header = struct.pack(order + "HH", 0x0099, 0x1000 + i)
        if dataset.is_implicit_VR:
            extra += header + struct.pack(order + "I", 2) + b"XX"
        else:
            extra += header + b"LO" + struct.pack(order + "H", 2) + b"XX"
    copy = os.path.join(folder, os.path.basename(path))
    with open(path, "rb") as source, open(copy, "wb") as target:
        target.write(source.read() + extra)
    return copy


def labels(tool, path, scratch):
    """The patient label of `path` from velmora-tool scan, and from info when the file has an image."""
    folder = tempfile.mkdtemp(dir=scratch)
    os.symlink(path, os.path.join(folder, os.path.basename(path)))
    scan = subprocess.run([tool, "scan", folder], capture_output=True, check=True).stdout.decode("utf-8")
    found = [("scan", scan.splitlines()[0])]
    info = subprocess.run([tool, "info", path], capture_output=True)
    if info.returncode == 0:
        found.append(("info", json.loads(info.stdout)["patient"]))
    return found


def main():
    tool = sys.argv[1]
    failures = []
    names = sorted(n for n in os.listdir(CHARSET_FILES) if n.endswith(".dcm"))
    with tempfile.TemporaryDirectory() as scratch:
        for name in names:
            path = os.path.join(CHARSET_FILES, name)
            dataset = pydicom.dcmread(path)
            ours = velmora_values(tool, path)
            if ours is None:
                path = padded_copy(path, dataset, scratch)
                dataset = pydicom.dcmread(path)
                ours = velmora_values(tool, path)
            expected = [r for r in pydicom_values(dataset) if is_public(r[1])]
            ours = [r for r in (ours or []) if is_public(r[1])]
            if ours != expected:
                failures.append(f"{name}: dump {ours} pydicom {expected}")
            if "PatientName" in dataset:
                label = str(dataset.PatientName).rstrip("^= ").replace("^", " ") or "Unknown Patient"
                for command, patient in labels(tool, path, scratch):
                    if patient != label:
                        failures.append(f"{name}: {command} patient {patient!r} pydicom {label!r}")
    for failure in failures:
        print("FAIL", failure)
    print(f"{len(names)} character-set files, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

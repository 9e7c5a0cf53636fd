#!/usr/bin/env python3
"""Writes tag-dictionary-newer.tsv: the attributes DICOM PS3.6 added after the edition of
tag-dictionary.tsv, so that dumps and the tags window name them and implicit-VR files read them
with their VR.

The facts (tag, VR, VM, name, retired) come from the data dictionary pydicom ships, which is
generated from PS3.6. Only single tags that no row of tag-dictionary.tsv matches are written.
Run it again after a pydicom upgrade to follow a newer edition; the build never runs it.

Usage: make_newer_tag_rows.py [OUTPUT.tsv]   (default: tag-dictionary-newer.tsv beside it)
"""

import sys
from pathlib import Path

from pydicom import __version__ as pydicom_version
from pydicom._dicom_dict import DicomDictionary

HERE = Path(__file__).resolve().parent

# The VRs the toolkit reads: the VR dictionary's and those added to the standard after its
# edition (VrDictionary::RowOf). Any other reads as UN, as an unknown attribute does.
KNOWN_VRS = {"AE", "AS", "AT", "CS", "DA", "DS", "DT", "FL", "FD", "IS", "LO", "LT", "OB", "OF", "OW",
             "PN", "SH", "SL", "SQ", "SS", "ST", "TM", "UI", "UL", "UN", "US", "UT",
             "OD", "OL", "OV", "SV", "UC", "UR", "UV"}
# Ambiguous VRs resolved as tag-dictionary.tsv resolves them.
AMBIGUOUS = {"US or SS": "US", "OB or OW": "OB", "US or SS or OW": "US", "US or OW": "US"}


def existing_rows():
    rows = []
    for line in (HERE / "tag-dictionary.tsv").read_text(encoding="ascii").splitlines():
        if not line or line.startswith("#") or line.startswith("tag\t"):
            continue
        tag, mask = line.split("\t")[:2]
        rows.append((int(tag, 16), int(mask, 16)))
    return rows


def main(argv):
    output = Path(argv[1]) if len(argv) > 1 else HERE / "tag-dictionary-newer.tsv"
    known = existing_rows()
    lines = [
        "# Tag dictionary, newer attributes: those DICOM PS3.6 added after the edition of",
        "# tag-dictionary.tsv (the Enhanced MR attributes of 2003 included), retired ones named \" (Retired)\".",
        f"# Written by make_newer_tag_rows.py from the dictionary of pydicom {pydicom_version}; do not edit.",
        "# The newer VRs (UC, UR, OD, OL, OV, SV, UV) are given as they are; ambiguous VRs as in",
        "# tag-dictionary.tsv. The rows are installed after the built-in ones, as a third ascending block.",
        "tag\tmask\tvr\tvm\tname",
    ]
    count = 0
    for tag in sorted(DicomDictionary):
        vr, vm, name, retired, _keyword = DicomDictionary[tag]
        # Group lengths (element 0000) all find the dictionary's first row.
        if vr == "NONE" or not name or tag & 0xFFFF == 0 or any((tag & mask) == row for row, mask in known):
            continue
        vr = AMBIGUOUS.get(vr, vr)
        if vr not in KNOWN_VRS:
            vr = "UN"
        if retired:
            name += " (Retired)"
        name = name.encode("ascii", "replace").decode("ascii")
        lines.append(f"{tag:08X}\tFFFFFFFF\t{vr}\t{vm}\t{name}")
        count += 1
    output.write_text("\n".join(lines) + "\n", encoding="ascii")
    print(f"{output}: {count} rows")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

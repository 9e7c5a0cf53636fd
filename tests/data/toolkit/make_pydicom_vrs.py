#!/usr/bin/python3
"""Writes pydicom-vrs.tsv: the VR that pydicom's data dictionary gives for each tag of
row (tag and mask) of toolkit/data/tag-dictionary.tsv that pydicom knows (masked rows through
pydicom's repeater keys), as an independent reference for the tag dictionary test.

Run from the repository root with Debian's python3-pydicom:
    /usr/bin/python3 tests/data/toolkit/make_pydicom_vrs.py > tests/data/toolkit/pydicom-vrs.tsv
"""
import pydicom
from pydicom.datadict import DicomDictionary, RepeatersDictionary

REPEATER_KEY = {
    "FF00FFFF": lambda t: t[:2] + "xx" + t[4:],
    "FFFFFF0F": lambda t: t[:6] + "x" + t[7:],
    "FFFFFF00": lambda t: t[:6] + "xx",
}

print(f"# VRs of pydicom {pydicom.__version__}'s dictionary; alternatives as pydicom writes them"
      " ('OB or OW', 'US or SS'). Made by make_pydicom_vrs.py.")
print("tag\tmask\tvr")
with open("toolkit/data/tag-dictionary.tsv", encoding="ascii") as data:
    rows = [line.rstrip("\n").split("\t") for line in data if not line.startswith("#")][1:]
for tag, mask, _vr, _vm, _name in rows:
    entry = DicomDictionary.get(int(tag, 16)) if mask == "FFFFFFFF" else RepeatersDictionary.get(REPEATER_KEY[mask](tag))
    if entry is not None:
        print(f"{tag}\t{mask}\t{entry[0]}")

#!/usr/bin/python3
"""Prints the element tree pydicom reads from each DICOM file named on the command line, the
shape data_set_reader_test compares with the toolkit's tree: a line "== PATH", then "refused"
when pydicom cannot read the file (without force; with --force first, force=True for every file), else one line per element or item in
pre-order: DEPTH TAG VR. Group 0002 first, then the body; sequence items as (fffe,e000) one level
below their sequence. Where pydicom's dictionary leaves the VR open ("US or SS", "OB or OW"),
that is printed, so that either choice agrees."""
import sys
import warnings

import pydicom
from pydicom.datadict import dictionary_VR

warnings.simplefilter("ignore")


def vr_of(elem):
    vr = str(getattr(elem.VR, "value", elem.VR))  # pydicom gives some VRs as enum members
    try:
        known = dictionary_VR(elem.tag)
    except KeyError:
        return vr
    return known.replace(" ", "_") if " or " in known else vr


def walk(ds, depth, out):
    for elem in ds:
        out.append(f"{depth} ({elem.tag.group:04x},{elem.tag.element:04x}) {vr_of(elem)}")
        if elem.VR == "SQ":
            for item in elem.value:
                out.append(f"{depth + 1} (fffe,e000) -")
                walk(item, depth + 2, out)


def main():
    paths = sys.argv[1:]
    force = paths[:1] == ["--force"]
    for path in paths[1:] if force else paths:
        print("==", path)
        out = []
        try:
            ds = pydicom.dcmread(path, defer_size=256, force=force)
            if getattr(ds, "file_meta", None) is not None:
                walk(ds.file_meta, 0, out)
            walk(ds, 0, out)
        except Exception:
            out = ["refused"]
        print("\n".join(out))


if __name__ == "__main__":
    main()

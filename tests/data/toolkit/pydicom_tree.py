#!/usr/bin/python3
"""Prints the element tree pydicom reads from a DICOM file, one line per element or item in
pre-order: DEPTH TAG VR, the shape data_set_reader_test compares with the toolkit's tree.
Group 0002 first, then the body; sequence items as (fffe,e000) one level below their sequence."""
import sys
import warnings

import pydicom

warnings.simplefilter("ignore")


def walk(ds, depth, out):
    for elem in ds:
        out.append(f"{depth} ({elem.tag.group:04x},{elem.tag.element:04x}) {elem.VR}")
        if elem.VR == "SQ":
            for item in elem.value:
                out.append(f"{depth + 1} (fffe,e000) -")
                walk(item, depth + 2, out)


def main():
    ds = pydicom.dcmread(sys.argv[1], force=True, defer_size=256)
    out = []
    if getattr(ds, "file_meta", None) is not None:
        walk(ds.file_meta, 0, out)
    walk(ds, 0, out)
    print("\n".join(out))


if __name__ == "__main__":
    main()

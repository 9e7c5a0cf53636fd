#!/usr/bin/python3
"""Writes the compressed frames of an encapsulated multi-frame file as one stream file for the
reference harnesses: for each frame a 4-byte little-endian length, then the frame's bytes.
Usage: extract_frames.py FILE.dcm OUT.streams"""
import struct
import sys

import pydicom
from pydicom.encaps import generate_pixel_data_frame

ds = pydicom.dcmread(sys.argv[1])
with open(sys.argv[2], "wb") as out:
    for frame in generate_pixel_data_frame(ds.PixelData, int(ds.NumberOfFrames)):
        out.write(struct.pack("<I", len(frame)))
        out.write(frame)

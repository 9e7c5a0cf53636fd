#!/usr/bin/python3
"""Reference: pydicom with its GDCM pixel handler decoding every frame of a file (the whole
pixel_array). Prints the frames and the wall and CPU milliseconds of the decoding (reading the
data set excluded). Usage: pydicom_gdcm_decode.py FILE.dcm"""
import sys
import time

import pydicom
from pydicom.pixel_data_handlers import gdcm_handler

if not gdcm_handler.is_available():
    sys.exit("pydicom's GDCM handler is not available (python3-gdcm)")
pydicom.config.pixel_data_handlers = [gdcm_handler]
ds = pydicom.dcmread(sys.argv[1])
wall, cpu = time.monotonic(), time.process_time()
frames = ds.pixel_array
wall, cpu = time.monotonic() - wall, time.process_time() - cpu
print(f"{frames.shape[0]} frames {wall * 1e3:.1f} ms {cpu * 1e3:.1f} ms-cpu")

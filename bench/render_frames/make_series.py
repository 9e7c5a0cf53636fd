#!/usr/bin/python3
"""Writes the benchmark's 200-frame 512 x 512 CT-like series as two native multi-frame files:
ct16.dcm (12 bits stored in 16, rescale -1024) and ct8.dcm (the same slices as 8-bit values, the
input of the baseline JPEG file). Every pixel carries Gaussian noise of 8 HU standard deviation
from a fixed seed, as a real CT slice does, so the codecs meet noise and not smooth phantoms.
Usage: make_series.py FOLDER [FRAMES] (fewer frames for instruction counts under callgrind)"""
import os
import sys

import numpy as np
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.uid import ExplicitVRLittleEndian

FRAMES, SIDE, SEED, NOISE_HU = 200, 512, 17, 8.0


def slices(frames):
    """HU values of each slice: air, a body ellipse of soft tissue with two lungs, a spine and a
    rib ring that change slowly along the series, plus the noise."""
    rng = np.random.default_rng(SEED)
    y, x = np.mgrid[0:SIDE, 0:SIDE].astype(np.float32)
    out = np.empty((frames, SIDE, SIDE), np.int16)
    for z in range(frames):
        t = z / FRAMES
        hu = np.full((SIDE, SIDE), -1000.0, np.float32)
        body = ((x - 256) / (200 + 15 * np.sin(3 * t))) ** 2 + ((y - 262) / 150) ** 2
        hu[body < 1] = 40 + 20 * np.sin(x[body < 1] / 17) * np.cos(y[body < 1] / 23)
        for cx in (180, 332):
            lung = ((x - cx) / (55 + 20 * t)) ** 2 + ((y - 240) / (80 + 10 * t)) ** 2
            hu[lung < 1] = -850
        hu[(body > 0.85) & (body < 0.93)] = 700
        hu[((x - 256) / 24) ** 2 + ((y - 360) / 22) ** 2 < 1] = 900
        hu += rng.normal(0.0, NOISE_HU, (SIDE, SIDE)).astype(np.float32)
        out[z] = np.clip(np.rint(hu), -1024, 3071)
    return out


def write(path, pixels, bits):
    meta = FileMetaDataset()
    meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.7.3" if bits == 16 else "1.2.840.10008.5.1.4.1.1.7.2"
    meta.MediaStorageSOPInstanceUID = f"1.2.826.0.1.3680043.9.7017.{bits}"
    meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds = Dataset()
    ds.file_meta = meta
    ds.SOPClassUID = meta.MediaStorageSOPClassUID
    ds.SOPInstanceUID = meta.MediaStorageSOPInstanceUID
    ds.PatientName, ds.PatientID = "BENCH^CT", "BENCH"
    ds.StudyInstanceUID = "1.2.826.0.1.3680043.9.7017.1"
    ds.SeriesInstanceUID = f"1.2.826.0.1.3680043.9.7017.1.{bits}"
    ds.Modality = "CT"
    ds.SamplesPerPixel, ds.PhotometricInterpretation = 1, "MONOCHROME2"
    ds.NumberOfFrames, ds.Rows, ds.Columns = len(pixels), SIDE, SIDE
    ds.BitsAllocated, ds.BitsStored, ds.HighBit = bits, 12 if bits == 16 else 8, 11 if bits == 16 else 7
    ds.PixelRepresentation = 0
    if bits == 16:
        ds.RescaleIntercept, ds.RescaleSlope = -1024, 1
        ds.WindowCenter, ds.WindowWidth = 40, 400
    ds.PixelData = pixels.tobytes()
    ds.is_little_endian, ds.is_implicit_VR = True, False
    ds.save_as(path, write_like_original=False)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    hu = slices(int(sys.argv[2]) if len(sys.argv) > 2 else FRAMES)
    stored = (hu.astype(np.int32) + 1024).astype("<u2")
    write(os.path.join(folder, "ct16.dcm"), stored, 16)
    write(os.path.join(folder, "ct8.dcm"), (stored >> 4).astype(np.uint8), 8)


if __name__ == "__main__":
    main()

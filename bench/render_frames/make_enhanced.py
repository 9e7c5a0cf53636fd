#!/usr/bin/python3
"""Writes an enhanced multi-frame CT for timing `velmora-tool render FILE --frame all` on a file
whose frames take their position, rescale, window and pixel spacing from per-frame functional
groups (five macros per frame item), as enhanced CT and MR files from scanners do.

Usage: make_enhanced.py OUTPUT.dcm [--frames N]   (2,000 frames of 64 x 64 by default)
"""
import argparse

import numpy as np
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.sequence import Sequence
from pydicom.uid import ExplicitVRLittleEndian

ENHANCED_CT = "1.2.840.10008.5.1.4.1.1.2.1"


def macro(**values):
    item = Dataset()
    for keyword, value in values.items():
        setattr(item, keyword, value)
    return Sequence([item])


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("output")
    parser.add_argument("--frames", type=int, default=2000)
    args = parser.parse_args()
    n = args.frames

    ds = Dataset()
    ds.file_meta = FileMetaDataset()
    ds.file_meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds.file_meta.MediaStorageSOPClassUID = ENHANCED_CT
    ds.file_meta.MediaStorageSOPInstanceUID = "1.2.826.0.1.3680043.8.498.1"
    ds.SOPClassUID = ENHANCED_CT
    ds.SOPInstanceUID = ds.file_meta.MediaStorageSOPInstanceUID
    ds.PatientName = "Bench^Enhanced"
    ds.PatientID = "1"
    ds.StudyInstanceUID = "1.2.826.0.1.3680043.8.498.2"
    ds.SeriesInstanceUID = "1.2.826.0.1.3680043.8.498.3"
    ds.Modality = "CT"
    ds.Rows = ds.Columns = 64
    ds.BitsAllocated, ds.BitsStored, ds.HighBit = 16, 12, 11
    ds.PixelRepresentation = 0
    ds.SamplesPerPixel = 1
    ds.PhotometricInterpretation = "MONOCHROME2"
    ds.NumberOfFrames = n
    shared = Dataset()
    shared.PlaneOrientationSequence = macro(ImageOrientationPatient=[1, 0, 0, 0, 1, 0])
    ds.SharedFunctionalGroupsSequence = Sequence([shared])
    frames = []
    for k in range(n):
        item = Dataset()
        item.PlanePositionSequence = macro(ImagePositionPatient=[0, 0, float(k)])
        item.PixelValueTransformationSequence = macro(RescaleIntercept=-1024, RescaleSlope=1, RescaleType="HU")
        item.FrameVOILUTSequence = macro(WindowCenter=40, WindowWidth=400)
        item.PixelMeasuresSequence = macro(PixelSpacing=[0.5, 0.5], SliceThickness=1)
        item.FrameContentSequence = macro(StackID="1", InStackPositionNumber=k + 1)
        frames.append(item)
    ds.PerFrameFunctionalGroupsSequence = Sequence(frames)
    ds.PixelData = np.random.default_rng(1).integers(0, 4096, (n, 64, 64)).astype("<u2").tobytes()
    ds.is_little_endian = True
    ds.is_implicit_VR = False
    ds.save_as(args.output, write_like_original=False)


if __name__ == "__main__":
    main()

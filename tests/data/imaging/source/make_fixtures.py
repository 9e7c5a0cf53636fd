#!/usr/bin/python3
"""Builds the small DICOM files the ImageSource and FrameLoader tests read.

Run from this folder with Debian's python3-pydicom: /usr/bin/python3 make_fixtures.py
Each file is written explicit VR little-endian unless its name says otherwise.
"""
import struct

import numpy as np
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.sequence import Sequence
from pydicom.uid import ExplicitVRLittleEndian, ImplicitVRLittleEndian, RLELossless, generate_uid


def base(rows, columns, bits=8, samples=1, photometric="MONOCHROME2", frames=None):
    ds = Dataset()
    ds.file_meta = FileMetaDataset()
    ds.file_meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.7"
    ds.file_meta.MediaStorageSOPInstanceUID = "1.2.3.4"
    ds.file_meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds.SOPClassUID = ds.file_meta.MediaStorageSOPClassUID
    ds.SOPInstanceUID = "1.2.3.4"
    # Enough ordinary elements that the smallest fixture passes the reader's 21-element check.
    ds.StudyDate = "20240102"
    ds.Modality = "OT"
    ds.PatientName = "Doe^Jane"
    ds.PatientID = "42"
    ds.StudyDescription = "Head"
    ds.StudyInstanceUID = "1.2.3"
    ds.SeriesInstanceUID = "1.2.3.1"
    ds.SeriesNumber = 1
    ds.InstanceNumber = 1
    ds.Rows = rows
    ds.Columns = columns
    ds.BitsAllocated = bits
    ds.BitsStored = bits
    ds.HighBit = bits - 1
    ds.PixelRepresentation = 0
    ds.SamplesPerPixel = samples
    if samples > 1:
        ds.PlanarConfiguration = 0
    if photometric is not None:
        ds.PhotometricInterpretation = photometric
    if frames is not None:
        ds.NumberOfFrames = frames
    return ds


def save(ds, name, pixels=None, vr="OB"):
    if pixels is not None:
        ds.PixelData = pixels
        ds["PixelData"].VR = vr
    ds.is_little_endian = True
    ds.is_implicit_VR = False
    ds.save_as(name, write_like_original=False)


def ramp(n, mod=256):
    return bytes(i % mod for i in range(n))


# Geometry and photometric cases.
save(base(2, 3, photometric=None), "no_photometric.dcm", ramp(6))
save(base(2, 3, bits=16, photometric=None), "no_photometric_16.dcm", ramp(12), "OW")
save(base(2, 3, photometric="monochrome2"), "lower_case_photometric.dcm", ramp(6))
save(base(2, 3, photometric="MONOCHROME3"), "unknown_photometric.dcm", ramp(6))
ds = base(2, 2, samples=3, photometric=None)
save(ds, "colour_without_photometric.dcm", ramp(12))
ds = base(2, 3)
del ds.Rows
save(ds, "no_rows.dcm", ramp(6))
ds = base(2, 3)
ds.SamplesPerPixel = 0
save(ds, "samples_zero.dcm", ramp(6))
save(base(0, 3), "zero_rows.dcm", ramp(6))
save(base(2, 3, bits=32), "bits_32.dcm", ramp(24))
save(base(60000, 60000, bits=16), "huge_frame.dcm", ramp(16), "OW")
save(base(4, 4, bits=16), "short_pixel_data.dcm", ramp(10), "OW")

# Window and rescale cases.
ds = base(2, 2, bits=16)
ds.WindowCenter = 100
ds.WindowWidth = 0
save(ds, "window_width_zero.dcm", ramp(8), "OW")
ds = base(2, 2, bits=16)
ds.WindowWidth = 300
ds.RescaleSlope = 2
save(ds, "width_without_center.dcm", ramp(8), "OW")
ds = base(2, 2, bits=16)
ds.WindowCenter = "40\\400"
ds.WindowWidth = "400\\2000"
ds.RescaleIntercept = -1024
ds.RescaleSlope = 1
save(ds, "ct_window.dcm", ramp(8), "OW")

# Palettes.
def palette(ds, count_descriptor, first, entries_r, entries_g, entries_b):
    for colour, entries in (("Red", entries_r), ("Green", entries_g), ("Blue", entries_b)):
        setattr(ds, f"{colour}PaletteColorLookupTableDescriptor", [count_descriptor, first, 16])
        setattr(ds, f"{colour}PaletteColorLookupTableData", struct.pack(f"<{len(entries)}H", *entries))


ds = base(2, 2, photometric="PALETTE COLOR")
palette(ds, 4, 0, [0, 65535, 0, 0], [0, 0, 65535, 0], [0, 0, 0, 65535])
save(ds, "palette_4.dcm", bytes([0, 1, 2, 3]))
ds = base(2, 2, bits=16, photometric="PALETTE COLOR")
big = [i * 200 for i in range(300)]
palette(ds, 300, 0, big, big[::-1], [0] * 300)
save(ds, "palette_300.dcm", struct.pack("<4H", 0, 100, 200, 299), "OW")
ds = base(2, 2, photometric="PALETTE COLOR")
palette(ds, 0, 0, [0], [0], [0])  # count 0 means 65,536 entries; the data is short
save(ds, "palette_count_0.dcm", bytes([0, 1, 2, 3]))
ds = base(1, 4, photometric="PALETTE COLOR")
palette(ds, 8, 0, [0] * 4, [0] * 8, [0] * 8)  # red data shorter than its descriptor
save(ds, "palette_short_data.dcm", bytes([0, 1, 2, 3]))
ds = base(2, 2, photometric="PALETTE COLOR")  # 8-bit entries stored one byte each
for colour, entries in (("Red", range(256)), ("Green", range(255, -1, -1)), ("Blue", (i * 3 % 256 for i in range(256)))):
    setattr(ds, f"{colour}PaletteColorLookupTableDescriptor", [256, 0, 8])
    setattr(ds, f"{colour}PaletteColorLookupTableData", bytes(entries))
    ds[f"{colour}PaletteColorLookupTableData"].VR = "OW"
save(ds, "palette_8bit_entries.dcm", bytes([0, 1, 128, 255]))
ds = base(1, 4, photometric="PALETTE COLOR")
for colour in ("Red", "Green", "Blue"):
    setattr(ds, f"{colour}PaletteColorLookupTableDescriptor", [8, 0, 16])
# discrete 0, 10 then linear to 70 in 6 steps
segments = struct.pack("<7H", 0, 2, 0, 10, 1, 6, 70)
ds.SegmentedRedPaletteColorLookupTableData = segments
ds.SegmentedGreenPaletteColorLookupTableData = segments
ds.SegmentedBluePaletteColorLookupTableData = segments
save(ds, "palette_segmented.dcm", bytes([0, 1, 2, 7]))
ds = base(1, 4, photometric="PALETTE COLOR")
for colour in ("Red", "Green", "Blue"):
    setattr(ds, f"{colour}PaletteColorLookupTableDescriptor", [8, 0, 16])
save(ds, "palette_without_data.dcm", bytes([0, 1, 2, 7]))

# Modality and VOI LUTs.
ds = base(1, 4, bits=16)
item = Dataset()
item.LUTDescriptor = [4, 10, 16]
item.LUTData = [100, 200, 300, 400]
item["LUTData"].VR = "US"
ds.ModalityLUTSequence = Sequence([item])
save(ds, "modality_lut.dcm", struct.pack("<4H", 0, 11, 12, 99), "OW")
ds = base(1, 4, bits=16)
item = Dataset()
item.LUTDescriptor = [16, 0, 16]
item.LUTData = [1, 2, 3, 4]
item["LUTData"].VR = "US"
ds.VOILUTSequence = Sequence([item])
save(ds, "voi_lut_past_data.dcm", struct.pack("<4H", 0, 1, 2, 3), "OW")

# Frames.
ds = base(2, 3, frames=3)
save(ds, "native_3_frames.dcm", ramp(18) + b"\x00\x00")
ds = base(2, 4, samples=3, photometric="YBR_FULL_422")
save(ds, "ybr_full_422.dcm", bytes([16, 236, 128, 128, 100, 100, 90, 200] * 2))

# An icon image in a sequence before the main Pixel Data; then the icon alone.
ds = base(4, 4)
icon = Dataset()
icon.Rows = 1
icon.Columns = 2
icon.BitsAllocated = 8
icon.BitsStored = 8
icon.HighBit = 7
icon.PixelRepresentation = 0
icon.SamplesPerPixel = 1
icon.PhotometricInterpretation = "MONOCHROME1"
icon.PixelData = bytes([7, 9])
icon["PixelData"].VR = "OB"
ds.IconImageSequence = Sequence([icon])
save(ds, "icon_first.dcm", ramp(16))
del ds.PixelData
save(ds, "icon_only.dcm")

# Encapsulated (RLE) frames, built item by item.
def item_bytes(value):
    return struct.pack("<HHI", 0xFFFE, 0xE000, len(value)) + value


def encapsulated(name, offset_table, fragments, frames=None, trailer=b""):
    ds = base(1, 2, frames=frames)
    ds.file_meta.TransferSyntaxUID = RLELossless
    value = item_bytes(offset_table) + b"".join(item_bytes(f) for f in fragments) + trailer
    ds.PixelData = value
    ds["PixelData"].VR = "OB"
    ds["PixelData"].is_undefined_length = True
    ds.is_little_endian = True
    ds.is_implicit_VR = False
    ds.save_as(name, write_like_original=False)


def rle_frame(a, b):
    header = struct.pack("<16I", 1, 64, *([0] * 14))
    return header + bytes([1, a, b, 0x80])  # literal run of two bytes; pad


encapsulated("rle_empty_table_1_fragment.dcm", b"", [rle_frame(5, 6)])
frames3 = [rle_frame(1, 2), rle_frame(3, 4), rle_frame(5, 6)]
offsets = struct.pack("<3I", 0, 76, 152)
encapsulated("rle_table_3_fragments.dcm", offsets, frames3, frames=3)

# CT_small shown as MONOCHROME1 (a golden image of the inverted grey path).
import os
import pydicom
ct = pydicom.dcmread(os.path.join(os.path.dirname(pydicom.__file__), "data", "test_files", "CT_small.dcm"))
ds = base(ct.Rows, ct.Columns, bits=16, photometric="MONOCHROME1")
ds.PixelRepresentation = 1
save(ds, "ct_monochrome1.dcm", ct.PixelData, "OW")

# Enhanced multi-frame images: per-image values in the functional groups (PS3.3 C.7.6.16).
def macro(keyword, **values):
    item = Dataset()
    for name, value in values.items():
        setattr(item, name, value)
    group = Dataset()
    setattr(group, keyword, Sequence([item]))
    return group


def groups(*macros):
    item = Dataset()
    for m in macros:
        item.update(m)
    return item


def enhanced(frames, shared, per_frame, bits=16, signed=False, modality="MR"):
    ds = base(2, 2, bits=bits, frames=frames)
    ds.Modality = modality
    ds.PixelRepresentation = 1 if signed else 0
    ds.SharedFunctionalGroupsSequence = Sequence([shared])
    ds.PerFrameFunctionalGroupsSequence = Sequence(per_frame)
    return ds


ds = enhanced(3, groups(macro("PixelValueTransformationSequence", RescaleIntercept=-1024, RescaleSlope=1,
                                  RescaleType="HU"),
                            macro("FrameVOILUTSequence", WindowCenter=40, WindowWidth=400),
                            macro("PixelMeasuresSequence", PixelSpacing=[0.5, 0.25], SliceThickness=1)),
              [groups(macro("FrameContentSequence", FrameAcquisitionNumber=k),
                      macro("PlanePositionSequence", ImagePositionPatient=[1, 2, 10 + k])) for k in range(3)],
              signed=True, modality="CT")
save(ds, "enhanced_ct.dcm", ramp(24), "OW")
ds = enhanced(3, groups(macro("PixelMeasuresSequence", PixelSpacing=[0.8, 0.8])),
              [groups(macro("FrameContentSequence", FrameAcquisitionNumber=k),
                      macro("FrameVOILUTSequence", WindowCenter=c, WindowWidth=w),
                      macro("PixelValueTransformationSequence", RescaleIntercept=i, RescaleSlope=s,
                            RescaleType="US"))
               for k, (c, w, i, s) in enumerate(((500, 1000, 0, 1), (2000, 800, 10, 2), (1000, 3000, -5, 0.5)))])
save(ds, "enhanced_mr.dcm", ramp(24), "OW")
# Top-level values win over the groups'; a Rescale Type in a group counts (an MR in HU); a per-frame
# sequence shorter than the frames gives the later frames nothing.
ds = enhanced(2, groups(macro("FrameVOILUTSequence", WindowCenter=40, WindowWidth=400)),
              [groups(macro("PixelValueTransformationSequence", RescaleIntercept=5, RescaleSlope=3,
                            RescaleType="HU"))])
ds.WindowCenter = 100
ds.WindowWidth = 200
save(ds, "enhanced_top_level.dcm", ramp(16), "OW")

# CT_small as an Enhanced CT of two frames (the second its pixels plus 100): rescale, Rescale Type,
# window 40 / 400 and pixel spacing in the shared group, each frame's position in its own.
ds = enhanced(2, groups(macro("PixelValueTransformationSequence", RescaleIntercept=ct.RescaleIntercept,
                              RescaleSlope=ct.RescaleSlope, RescaleType="HU"),
                        macro("FrameVOILUTSequence", WindowCenter=40, WindowWidth=400),
                        macro("PixelMeasuresSequence", PixelSpacing=ct.PixelSpacing,
                              SliceThickness=ct.SliceThickness)),
              [groups(macro("PlanePositionSequence", ImagePositionPatient=[*ct.ImagePositionPatient[:2], z]))
               for z in (-75.7, -70.7)], signed=True, modality="CT")
ds.SOPClassUID = ds.file_meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.2.1"
ds.Rows, ds.Columns = ct.Rows, ct.Columns
save(ds, "enhanced_ct_small.dcm", ct.PixelData + (ct.pixel_array + 100).astype("<i2").tobytes(), "OW")

# VOI LUTs per frame, in the Frame VOI LUT macro of each per-frame group.
def voi_lut(entries):
    item = Dataset()
    item.LUTDescriptor = [len(entries), 0, 16]
    item.LUTData = struct.pack(f"<{len(entries)}H", *entries)
    item["LUTData"].VR = "OW"
    return item


ds = enhanced(2, groups(), [Dataset(), Dataset()])
for frame_group, entries in zip(ds.PerFrameFunctionalGroupsSequence, ((0, 10, 20, 30), (5, 6, 7, 8))):
    lut = Dataset()
    lut.VOILUTSequence = Sequence([voi_lut(entries)])
    frame_group.FrameVOILUTSequence = Sequence([lut])
save(ds, "enhanced_voi_lut.dcm", ramp(16), "OW")

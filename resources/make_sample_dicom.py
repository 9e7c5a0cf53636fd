#!/usr/bin/python3
"""Writes the bundled sample folder resources/DICOM: small synthetic images the viewer shows on
its first start. Run with Debian's python3 (python3-pydicom, python3-numpy) and DCMTK on the
path; the output is committed, so a build never needs this script.

    /usr/bin/python3 resources/make_sample_dicom.py resources/DICOM

Contents: a CT series of five slices of a phantom with window values (one slice each as RLE,
JPEG lossless, JPEG-LS lossless), an MR pair, an RGB image and an eight-frame cine loop
(JPEG baseline)."""

import datetime
import os
import shutil
import subprocess
import sys
import tempfile

import numpy as np
from pydicom.dataset import Dataset, FileMetaDataset
from pydicom.uid import ExplicitVRLittleEndian, ImplicitVRLittleEndian, generate_uid

CT_STORAGE = "1.2.840.10008.5.1.4.1.1.2"
MR_STORAGE = "1.2.840.10008.5.1.4.1.1.4"
SC_STORAGE = "1.2.840.10008.5.1.4.1.1.7"
US_MULTIFRAME = "1.2.840.10008.5.1.4.1.1.3.1"
UID_ROOT = "1.2.826.0.1.3680043.10.1338."  # fixed root so reruns give stable study/series UIDs


def uid(name):
    # Deterministic per name, so rerunning the script leaves the files unchanged.
    return generate_uid(prefix=UID_ROOT, entropy_srcs=[name])


def base(sop_class, patient, patient_id, study, series, series_number, instance, modality, key):
    ds = Dataset()
    ds.file_meta = FileMetaDataset()
    ds.file_meta.MediaStorageSOPClassUID = sop_class
    ds.file_meta.MediaStorageSOPInstanceUID = uid(key)
    ds.file_meta.TransferSyntaxUID = ExplicitVRLittleEndian
    ds.file_meta.ImplementationClassUID = UID_ROOT + "1"
    ds.SpecificCharacterSet = "ISO_IR 100"
    ds.SOPClassUID = sop_class
    ds.SOPInstanceUID = uid(key)
    ds.StudyDate = "20240315"
    ds.StudyTime = "101500"
    ds.Modality = modality
    ds.PatientName = patient
    ds.PatientID = patient_id
    ds.PatientBirthDate = "19700101"
    ds.PatientSex = "O"
    ds.StudyDescription = study
    ds.SeriesDescription = series
    ds.StudyInstanceUID = uid(patient_id + study)
    ds.SeriesInstanceUID = uid(patient_id + study + series)
    ds.StudyID = "1"
    ds.SeriesNumber = series_number
    ds.InstanceNumber = instance
    return ds


def monochrome(ds, pixels, bits_stored, signed):
    ds.SamplesPerPixel = 1
    ds.PhotometricInterpretation = "MONOCHROME2"
    ds.Rows, ds.Columns = pixels.shape[-2:]
    ds.BitsAllocated = 16 if bits_stored > 8 else 8
    ds.BitsStored = bits_stored
    ds.HighBit = bits_stored - 1
    ds.PixelRepresentation = 1 if signed else 0
    ds.PixelData = pixels.tobytes()


def ct_phantom(size, z):
    """A head-like phantom in Hounsfield units + 1024: skull ring, brain, ventricles, a lesion
    that grows with z."""
    y, x = np.mgrid[0:size, 0:size].astype(np.float64)
    c = (size - 1) / 2.0
    r = np.hypot((x - c) / (size * 0.40), (y - c) / (size * 0.46))
    hu = np.full((size, size), -1000.0)
    hu[r < 1.0] = 1000.0  # bone
    hu[r < 0.90] = 35.0  # brain
    ventricle = np.hypot((x - c - size * 0.08) / (size * 0.05), (y - c) / (size * 0.12)) < 1.0
    ventricle |= np.hypot((x - c + size * 0.08) / (size * 0.05), (y - c) / (size * 0.12)) < 1.0
    hu[ventricle] = 5.0
    lesion = np.hypot(x - c - size * 0.18, y - c + size * 0.20) < size * (0.03 + 0.012 * z)
    hu[lesion] = 70.0
    rng = np.random.default_rng(1000 + z)
    hu += rng.normal(0.0, 4.0, hu.shape)
    return np.clip(hu + 1024.0, 0, 4095).astype(np.uint16)


def write(ds, path, implicit=False):
    if implicit:
        ds.file_meta.TransferSyntaxUID = ImplicitVRLittleEndian
    ds.is_implicit_VR = implicit
    ds.is_little_endian = True
    ds.save_as(path, write_like_original=False)


def compress(tool, options, path):
    with tempfile.NamedTemporaryFile(suffix=".dcm", delete=False) as out:
        target = out.name
    subprocess.run([tool, *options, path, target], check=True)
    shutil.move(target, path)
    os.chmod(path, 0o644)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "DICOM")
    if os.path.isdir(folder):
        shutil.rmtree(folder)
    ct_dir = os.path.join(folder, "CT_HEAD")
    mr_dir = os.path.join(folder, "MR_BRAIN")
    misc_dir = os.path.join(folder, "OTHER")
    for d in (ct_dir, mr_dir, misc_dir):
        os.makedirs(d)

    # CT: five slices, 12 bits stored, rescale to HU, brain window.
    for z in range(5):
        ds = base(CT_STORAGE, "DOE^JANE", "VEL0001", "CT Head", "Axial 5 mm", 2, z + 1, "CT", f"ct{z}")
        monochrome(ds, ct_phantom(128, z), 12, False)
        ds.RescaleIntercept = -1024
        ds.RescaleSlope = 1
        ds.WindowCenter = 40
        ds.WindowWidth = 120
        ds.SliceThickness = 5
        ds.ImagePositionPatient = [0, 0, 5 * z]
        ds.PixelSpacing = [1.8, 1.8]
        path = os.path.join(ct_dir, f"CT{z + 1:03d}.dcm")
        write(ds, path, implicit=(z == 0))
        if z == 1:
            compress("dcmcrle", [], path)
        elif z == 2:
            compress("dcmcjpeg", ["+e1"], path)  # JPEG lossless, first-order prediction
        elif z == 3:
            compress("dcmcjpls", ["+el"], path)  # JPEG-LS lossless

    # MR: two slices of 8-bit-ish soft tissue contrast, signed 16-bit with its own window.
    for z in range(2):
        size = 96
        y, x = np.mgrid[0:size, 0:size].astype(np.float64)
        c = (size - 1) / 2.0
        r = np.hypot((x - c) / 38.0, (y - c) / 44.0)
        signal = np.where(r < 1.0, 600.0 - 300.0 * r ** 2, 0.0)
        signal += np.where(np.hypot(x - c, y - c - 8 + 6 * z) < 9, 500.0, 0.0)
        signal += np.random.default_rng(50 + z).normal(0.0, 12.0, signal.shape)
        ds = base(MR_STORAGE, "ROE^RICHARD", "VEL0002", "MR Brain", "T2 axial", 3, z + 1, "MR", f"mr{z}")
        monochrome(ds, np.clip(signal, 0, 2000).astype(np.int16), 16, True)
        ds.WindowCenter = 500
        ds.WindowWidth = 1000
        write(ds, os.path.join(mr_dir, f"MR{z + 1:03d}.dcm"))

    # RGB: a colour wheel, secondary capture.
    size = 96
    y, x = np.mgrid[0:size, 0:size].astype(np.float64)
    c = (size - 1) / 2.0
    angle = np.arctan2(y - c, x - c)
    radius = np.clip(np.hypot(x - c, y - c) / c, 0, 1)
    rgb = np.stack([0.5 + 0.5 * np.cos(angle + k * 2.0944) for k in range(3)], axis=-1)
    rgb = (rgb * radius[..., None] + (1 - radius[..., None])) * 255.0
    rgb[np.hypot(x - c, y - c) > c] = 0
    ds = base(SC_STORAGE, "ROE^RICHARD", "VEL0002", "Photos", "Colour chart", 9, 1, "OT", "rgb")
    ds.SamplesPerPixel = 3
    ds.PhotometricInterpretation = "RGB"
    ds.PlanarConfiguration = 0
    ds.Rows = ds.Columns = size
    ds.BitsAllocated = 8
    ds.BitsStored = 8
    ds.HighBit = 7
    ds.PixelRepresentation = 0
    ds.PixelData = rgb.astype(np.uint8).tobytes()
    write(ds, os.path.join(misc_dir, "RGB001.dcm"))

    # Cine: eight frames of a beating ring, 8-bit, JPEG baseline.
    size, frames = 96, 8
    y, x = np.mgrid[0:size, 0:size].astype(np.float64)
    c = (size - 1) / 2.0
    cine = np.zeros((frames, size, size), dtype=np.uint8)
    for f in range(frames):
        radius = 22 + 8 * np.sin(2 * np.pi * f / frames)
        d = np.hypot(x - c, y - c)
        cine[f] = np.clip(40 + 200 * np.exp(-((d - radius) / 4.0) ** 2), 0, 255).astype(np.uint8)
    ds = base(US_MULTIFRAME, "SMITH^ALEX", "VEL0003", "Echo", "Cine loop", 4, 1, "US", "cine")
    monochrome(ds, cine, 8, False)
    ds.NumberOfFrames = frames
    ds.FrameTime = 100.0
    ds.CineRate = 10
    path = os.path.join(misc_dir, "CINE001.dcm")
    write(ds, path)
    compress("dcmcjpeg", ["+eb"], path)  # JPEG baseline (8-bit lossy)


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""velmora-tool scan against pydicom: the bundled sample folder gives one line per patient,
study, series and frame, labelled from the files as pydicom reads them; a missing folder fails
with ERROR_FILE_OPEN and wrong usage exits 2."""
import os
import subprocess
import sys

import pydicom

tool = sys.argv[1]
folder = sys.argv[2]
out = subprocess.run([tool, "scan", folder], capture_output=True, text=True, check=True).stdout.splitlines()

expected = {}
for root, dirs, files in os.walk(folder):
    for name in files:
        path = os.path.join(root, name)
        ds = pydicom.dcmread(path, stop_before_pixels=True)
        key = (str(ds.PatientName).replace("^", " "), ds.get("StudyDescription", ""), ds.get("SeriesDescription", ""))
        expected.setdefault(key, []).extend((path, f) for f in range(1, int(ds.get("NumberOfFrames", 1)) + 1))

found = {}
patient = study = series = None
for line in out:
    depth = (len(line) - len(line.lstrip(" "))) // 2
    text = line.strip(" ")
    if depth == 0:
        patient = text
    elif depth == 1:
        study = text
    elif depth == 2:
        series = text
    else:
        label, path, frame = text.split("\t")
        images = found.setdefault((patient, study, series), [])
        assert label == "Image %2d" % (len(images) + 1), line
        images.append((path, int(frame)))

assert {k: sorted(v) for k, v in found.items()} == {k: sorted(v) for k, v in expected.items()}, (found, expected)
missing = subprocess.run([tool, "scan", os.path.join(folder, "missing")], capture_output=True, text=True)
assert missing.returncode == 1 and missing.stderr.startswith("ERROR_FILE_OPEN:"), missing
assert subprocess.run([tool, "scan"], capture_output=True).returncode == 2
print("scan ok:", len(out), "lines")

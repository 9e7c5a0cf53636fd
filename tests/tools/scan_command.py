#!/usr/bin/python3
"""velmora-tool scan against pydicom: the bundled sample folder gives one line per patient,
study, series and frame, labelled from the files as pydicom reads them; a missing folder fails
with ERROR_FILE_OPEN and wrong usage exits 2. A hostile copy of the folder (symbolic links
that loop, a FIFO, a link to /dev/zero, a name that is not UTF-8) gives the same images, each
once, under the paths the walk met, and finishes."""
import os
import shutil
import subprocess
import sys
import tempfile

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

with tempfile.TemporaryDirectory() as scratch:
    root = os.path.join(scratch.encode(), b"hostile")
    shutil.copytree(folder.encode(), root)
    # One file renamed to Latin-1 bytes, loops up and onto itself, a FIFO and an endless device.
    first = sorted(expected.values())[0][0][0]
    renamed = os.path.join(os.path.dirname(first.encode()).replace(folder.encode(), root, 1), b"caf\xe9.dcm")
    os.rename(first.encode().replace(folder.encode(), root, 1), renamed)
    os.symlink(b".", os.path.join(root, b"self"))
    os.symlink(b"..", os.path.join(root, b"up"))
    os.mkfifo(os.path.join(root, b"fifo.dcm"))
    os.symlink(b"/dev/zero", os.path.join(root, b"zero.dcm"))
    run = subprocess.run([tool, "scan", root], capture_output=True, timeout=120)
    assert run.returncode == 0, run
    paths = sorted(line.split(b"\t")[1] for line in run.stdout.splitlines() if line.startswith(b"      Image"))
    want = sorted(p.encode().replace(folder.encode(), root, 1) for images in expected.values() for p, _ in images)
    want = sorted(renamed if p == first.encode().replace(folder.encode(), root, 1) else p for p in want)
    assert paths == want, (paths, want)
print("scan ok:", len(out), "lines")

#!/usr/bin/python3
"""velmora-tool scan against pydicom, line for line and in order: the bundled sample folder and a
scratch folder laid out so that a folder's files come before its later-sorting subfolders and
studies arrive out of alphabetical order. Expected lines: the files in walk order (entries by
name; a folder's files all at the place of its first file), labelled from the files as pydicom
reads them, filed under the patient, study and series where each was first seen. A missing folder
fails with ERROR_FILE_OPEN and wrong usage exits 2. A hostile copy of the folder (symbolic links
that loop, a FIFO, a link to /dev/zero, a name that is not UTF-8) gives the same images, each
once, under the paths the walk met, and finishes."""
import os
import shutil
import subprocess
import sys
import tempfile

import pydicom

tool = sys.argv[1]
samples = sys.argv[2]


def walk_order(folder):
    """DICOM files of `folder` in the order the scan takes them."""
    entries = sorted(os.listdir(folder))
    out, files_done = [], False
    for name in entries:
        path = os.path.join(folder, name)
        if os.path.isdir(path):
            out += walk_order(path)
        elif not files_done:
            files_done = True
            out += [os.path.join(folder, n) for n in entries
                    if not os.path.isdir(os.path.join(folder, n)) and not n.lower().endswith((".jpg", "jpeg"))]
    return out


def expected_lines(folder):
    tree = {}  # dicts keep insertion order: first seen first
    for path in walk_order(folder):
        ds = pydicom.dcmread(path, stop_before_pixels=True)
        patient = str(ds.get("PatientName", "")).rstrip("^= ").replace("^", " ") or "Unknown Patient"
        study = ds.get("StudyDescription", "") or "Unknown Study"
        series = ds.get("SeriesDescription", "") or "Unknown Series"
        images = tree.setdefault(patient, {}).setdefault(study, {}).setdefault(series, [])
        images += [(path, frame) for frame in range(1, int(ds.get("NumberOfFrames", 1) or 1) + 1)]
    lines = []
    for patient, studies in tree.items():
        lines.append(patient)
        for study, series_items in studies.items():
            lines.append("  " + study)
            for series, images in series_items.items():
                lines.append("    " + series)
                lines += [f"      Image {number:2d}\t{path}\t{frame}" for number, (path, frame) in enumerate(images, 1)]
    return lines


def check(folder):
    out = subprocess.run([tool, "scan", folder], capture_output=True, text=True, check=True).stdout.splitlines()
    want = expected_lines(folder)
    assert out == want, "\n".join(["scan of " + folder, "got:", *out, "expected:", *want])
    return len(out)


count = check(samples)
with tempfile.TemporaryDirectory() as scratch:
    # a_sub/ b.dcm c.dcm d_sub/ z.dcm: the root's files (b, c, z) come before d_sub/, and the
    # second patient's "Photos" study is filed before his "MR Brain".
    layout = {"a_sub/x.dcm": "CT_HEAD/CT001.dcm", "b.dcm": "OTHER/RGB001.dcm", "c.dcm": "MR_BRAIN/MR001.dcm",
              "d_sub/y.dcm": "OTHER/CINE001.dcm", "z.dcm": "CT_HEAD/CT002.dcm"}
    for target, source in layout.items():
        os.makedirs(os.path.dirname(os.path.join(scratch, target)), exist_ok=True)
        shutil.copy(os.path.join(samples, source), os.path.join(scratch, target))
    count += check(scratch)
    order = [line.split("\t")[1] for line in subprocess.run([tool, "scan", scratch], capture_output=True, text=True,
                                                            check=True).stdout.splitlines() if "\t" in line]
    assert order.index(os.path.join(scratch, "z.dcm")) < order.index(os.path.join(scratch, "d_sub/y.dcm")), order

missing = subprocess.run([tool, "scan", os.path.join(samples, "missing")], capture_output=True, text=True)
assert missing.returncode == 1 and missing.stderr.startswith("ERROR_FILE_OPEN:"), missing
assert subprocess.run([tool, "scan"], capture_output=True).returncode == 2

with tempfile.TemporaryDirectory() as scratch:
    folder = samples
    root = os.path.join(scratch.encode(), b"hostile")
    shutil.copytree(folder.encode(), root)
    # One file renamed to Latin-1 bytes, loops up and onto itself, a FIFO and an endless device.
    images = [line.split("\t")[1] for line in expected_lines(folder) if "\t" in line]
    first = sorted(images)[0]
    renamed = os.path.join(os.path.dirname(first.encode()).replace(folder.encode(), root, 1), b"caf\xe9.dcm")
    os.rename(first.encode().replace(folder.encode(), root, 1), renamed)
    os.symlink(b".", os.path.join(root, b"self"))
    os.symlink(b"..", os.path.join(root, b"up"))
    os.mkfifo(os.path.join(root, b"fifo.dcm"))
    os.symlink(b"/dev/zero", os.path.join(root, b"zero.dcm"))
    run = subprocess.run([tool, "scan", root], capture_output=True, timeout=120)
    assert run.returncode == 0, run
    paths = sorted(line.split(b"\t")[1] for line in run.stdout.splitlines() if line.startswith(b"      Image"))
    want = sorted(p.encode().replace(folder.encode(), root, 1) for p in images)
    want = sorted(renamed if p == first.encode().replace(folder.encode(), root, 1) else p for p in want)
    assert paths == want, (paths, want)
print("scan ok:", count, "lines")

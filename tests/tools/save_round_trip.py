#!/usr/bin/python3
"""velmora-tool save against pydicom and DCMTK, element by element. Each source is saved in the
encodings of VARIANTS; the copy is read by pydicom and dcmdump (+E) and compared with the source:
every element, VR (explicit copies of explicit sources), value (numbers as numbers across byte
orders, text as decoded, odd values with their pad byte), sequence and item, pixel data and its
fragments. Group 0002 must be valid: (0002,0000) counts the rest of the group, the transfer
syntax says the encoding (or the source's, for compressed pixel data), the SOP UIDs are the
body's, the implementation UID is there.

Differences by design, not reported as failures:
- compressed pixel data cannot be saved big-endian, implicit or deflated: refused with
  ERROR_DS_TRANSFER_SYNTAX;
- a DICOMDIR's record offsets point into the source's layout (pydicom cannot follow them);
- a sequence our dictionary does not know, read from an implicit file, is kept as one UN value
  (implicit little-endian inside, PS3.5 6.2.2, as DCMTK reads it); pydicom reads such a value, and
  UN numbers, big-endian in a big-endian copy;
- a copy without VRs (implicit) loses the VR of elements our dictionary does not know;
- a copy with --explicit alone (explicit VR, no group 0002) that dcmdump reads and pydicom
  misjudges.

Usage: save_round_trip.py VELMORA_TOOL [--all]
Without --all a small set of sources is checked (a CI test); with it every file of pydicom's
test_files and charset_files that velmora-tool loads, and DCMTK transcodes of each (dcmconv
+ti/+te/+tb/+td, dcmcrle, dcmcjpeg, dcmcjpeg +eb, dcmcjpls), in every encoding.
"""
import collections
import os
import re
import struct
import subprocess
import sys
import tempfile
import warnings

import pydicom
from pydicom.encaps import generate_pixel_data_fragment
from pydicom.filebase import DicomBytesIO

warnings.simplefilter("ignore")
DATA = os.path.join(os.path.dirname(pydicom.__file__), "data")
SUBSET = ["test_files/CT_small.dcm", "test_files/MR_small_bigendian.dcm", "test_files/MR_small_implicit.dcm",
          "test_files/ExplVR_BigEndNoMeta.dcm", "test_files/image_dfl.dcm", "test_files/rtplan.dcm",
          "test_files/JPEG2000.dcm", "test_files/SC_rgb_rle_2frame.dcm", "test_files/UN_sequence.dcm",
          "test_files/MR_truncated.dcm", "test_files/SC_rgb_jpeg.dcm", "charset_files/chrH31.dcm",
          "charset_files/chrJapMulti.dcm", "test_files/liver_1frame.dcm", "test_files/DICOMDIR"]
SUBSET_TRANSCODES = [("ti", "dcmconv", ["+ti"]), ("tb", "dcmconv", ["+tb"])]
ALL_TRANSCODES = [("ti", "dcmconv", ["+ti"]), ("te", "dcmconv", ["+te"]), ("tb", "dcmconv", ["+tb"]),
                  ("td", "dcmconv", ["+td"]), ("rle", "dcmcrle", []), ("jpeg", "dcmcjpeg", []),
                  ("jpegb", "dcmcjpeg", ["+eb"]), ("jls", "dcmcjpls", [])]
ALL_VARIANTS = [[], ["--file-format"], ["--file-format", "--big-endian"], ["--file-format", "--deflated"],
                ["--file-format", "--defined-lengths"], ["--file-format", "--all-group-lengths"],
                ["--file-format", "--defined-lengths", "--all-group-lengths", "--big-endian"],
                ["--preamble", "--meta"], ["--meta"], ["--memory-mode"], ["--explicit"]]
SUBSET_VARIANTS = [[], ["--file-format", "--big-endian"], ["--file-format", "--deflated", "--all-group-lengths"],
                   ["--preamble", "--meta"]]
BY_DESIGN = {"refused-by-design", "dicomdir-offsets", "pydicom-un-sequence-big-endian", "pydicom-guess"}
EXPLICIT_LE, BIG, IMPLICIT, DEFLATED = "1.2.840.10008.1.2.1", "1.2.840.10008.1.2.2", "1.2.840.10008.1.2", "1.2.840.10008.1.2.1.99"
UNIT = {"OW": 2, "OF": 4, "OL": 4, "OD": 8, "OV": 8}
findings = collections.defaultdict(list)


def note(kind, detail):
    findings[kind].append(detail)


def norm_bytes(value, vr, little):
    if little or vr not in UNIT:
        return value
    u = UNIT[vr]
    return b"".join(value[i:i + u][::-1] for i in range(0, len(value) - len(value) % u, u)) + value[len(value) - len(value) % u:]


def as_comparable(elem, little, other_vr=None):
    vr = elem.VR
    v = elem.value
    if other_vr and other_vr != vr and vr == "UN" and isinstance(v, bytes):
        # implicit output of an element with a VR pydicom does not know: convert by the source's VR
        try:
            raw = pydicom.dataelem.RawDataElement(elem.tag, other_vr, len(v), v, 0, True, True)
            v = pydicom.dataelem.DataElement_from_raw(raw).value
            vr = other_vr
        except Exception:
            pass
    if isinstance(v, bytes):
        return norm_bytes(v, vr, little)
    if isinstance(v, (list, pydicom.multival.MultiValue)):
        return [repr(x) for x in v]
    return repr(v)


def strip_pad(a, b):
    """Odd values gain one pad byte."""
    if isinstance(a, bytes) and isinstance(b, bytes) and len(b) == len(a) + 1 and len(a) % 2 == 1 and b.startswith(a) and b[-1:] in (b"\0", b" "):
        return b[:-1]
    if isinstance(a, str) and isinstance(b, str):
        if b.rstrip(" \0") == a.rstrip(" \0"):
            return a
    if isinstance(a, list) and isinstance(b, list) and len(a) == len(b) and a and a[-1] != b[-1]:
        last_a, last_b = eval(a[-1]) if a[-1].startswith("'") else a[-1], eval(b[-1]) if b[-1].startswith("'") else b[-1]
        if isinstance(last_a, str) and isinstance(last_b, str) and last_b.rstrip(" \0") == last_a.rstrip(" \0"):
            return a
    return b


def compare_ds(a, b, path, little_a, little_b, vrs_meaningful, label):
    tags_a = [t for t in a.keys() if t.group != 2 and t.element != 0]
    tags_b = [t for t in b.keys() if t.group != 2 and t.element != 0]
    if tags_a != tags_b:
        note("elements", f"{label} {path}: tags differ: only source {sorted(set(tags_a)-set(tags_b))[:5]} only copy {sorted(set(tags_b)-set(tags_a))[:5]}")
        return
    for t in tags_a:
        try:
            raw_b = b._dict.get(t)
            raw_a = a._dict.get(t)
            ea = a[t]
            if not vrs_meaningful and isinstance(raw_b, pydicom.dataelem.RawDataElement) and raw_b.VR is None and ea.VR not in ("SQ",) and raw_b.length != 0xFFFFFFFF:
                eb = pydicom.dataelem.DataElement_from_raw(raw_b._replace(VR=ea.VR), b._character_set if hasattr(b, "_character_set") else None)
            else:
                eb = b[t]
        except Exception as e:
            note("pydicom-read", f"{label} {path}{t}: {e}")
            continue
        where = f"{path}{t}"
        if vrs_meaningful and ea.VR != eb.VR and not (t == 0x7FE00010 and {ea.VR, eb.VR} <= {"OB", "OW"} and ea.is_undefined_length):
            note("vr", f"{label} {where}: {ea.VR} -> {eb.VR}")
        if ea.VR == "SQ" and not little_b and isinstance(raw_b, pydicom.dataelem.RawDataElement) and raw_b.VR == "UN":
            # A sequence our dictionary does not know, kept as UN (implicit little-endian inside,
            # PS3.5 6.2.2, as DCMTK reads it); pydicom parses it big-endian in a big-endian file.
            note("pydicom-un-sequence-big-endian", f"{label} {where}")
            continue
        if ea.VR == "SQ" or eb.VR == "SQ":
            if ea.VR != eb.VR:
                note("sq", f"{label} {where}: {ea.VR} vs {eb.VR}")
                continue
            if len(ea.value) != len(eb.value):
                note("items", f"{label} {where}: {len(ea.value)} items -> {len(eb.value)}")
                continue
            for i, (ia, ib) in enumerate(zip(ea.value, eb.value)):
                compare_ds(ia, ib, f"{where}[{i}]", little_a, little_b, vrs_meaningful, label)
            continue
        if t == 0x7FE00010 and ea.is_undefined_length:
            if not eb.is_undefined_length:
                note("pixel", f"{label}: encapsulated pixel data became defined length")
                continue
            ba, bb = DicomBytesIO(ea.value), DicomBytesIO(eb.value)
            ba.is_little_endian = little_a
            bb.is_little_endian = little_b
            fa = list(generate_pixel_data_fragment(ba))
            fb = list(generate_pixel_data_fragment(bb))
            fa = [f + b"\0" if len(f) % 2 else f for f in fa]
            if fa != fb:
                note("pixel", f"{label}: fragments differ ({len(fa)} vs {len(fb)})")
            continue
        raw_un_a = isinstance(raw_a, pydicom.dataelem.RawDataElement) and raw_a.VR == "UN" and raw_a.value is not None
        raw_un_b = isinstance(raw_b, pydicom.dataelem.RawDataElement) and raw_b.VR == "UN" and raw_b.value is not None
        if (raw_un_a or raw_un_b) and not (little_a and little_b) and ea.VR != "SQ":
            # pydicom reads a UN value of a big-endian file by its dictionary's VR in big-endian;
            # PS3.5 6.2.2 (and DCMTK) keep UN little-endian: compare the bytes.
            def le_bytes(raw, elem):
                if isinstance(raw, pydicom.dataelem.RawDataElement) and raw.value is not None and (raw.VR == "UN" or raw.VR is None):
                    return raw.value
                fp = DicomBytesIO()
                fp.is_little_endian, fp.is_implicit_VR = True, True
                pydicom.filewriter.write_data_element(fp, elem)
                return fp.getvalue()[8:]
            if le_bytes(raw_a, ea).rstrip(b"\0 ") != le_bytes(raw_b, eb).rstrip(b"\0 "):
                note("value", f"{label} {where} UN beside big-endian: bytes differ")
            continue
        va = as_comparable(ea, little_a, None)
        vb = as_comparable(eb, little_b, ea.VR if not vrs_meaningful else None)
        if va != vb:
            vb2 = strip_pad(va, vb)
            if va != vb2:
                sa, sb = str(va)[:80], str(vb)[:80]
                note("value", f"{label} {where} {ea.VR}/{eb.VR}: {sa} -> {sb}")


def dcmdump(path):
    r = subprocess.run(["dcmdump", "-q", "+E", "-dc", path], capture_output=True, text=True, errors="replace")
    return r


LINE = re.compile(r"^( *)\(([0-9a-f]{4}),([0-9a-f]{4})\) (\S\S) (.*?)\s*#\s*(\d+|u/l),\s*(\d+) (.+)$")


def dcm_rows(text):
    rows = []
    for line in text.splitlines():
        m = LINE.match(line)
        if not m:
            continue
        depth, g, e, vr, value, length, vm, name = m.groups()
        if g == "0002" or e == "0000" or (g, e) in (("fffe", "e00d"), ("fffe", "e0dd")):
            continue
        if g == "fffe" or vr == "SQ":
            value = re.sub(r"(explicit|undefined) length ", "", value)
            value = re.sub(r"#=\d+", "#", value)  # item lengths change with the encoding
        rows.append((len(depth), g, e, vr, value, vm))
    return rows


def same_rows(ref, rows):
    """An unknown sequence that one side holds as one opaque value ('??' or UN) and the other as
    a sequence: the subtree is skipped on the side that has it."""
    i = j = 0
    while i < len(ref) and j < len(rows):
        a, b = ref[i], rows[j]
        if a == b:
            i += 1; j += 1; continue
        if a[:3] == b[:3] and {a[3], b[3]} & {"??", "UN"} and "SQ" in (a[3], b[3]):
            if a[3] == "SQ":
                i += 1
                while i < len(ref) and ref[i][0] > a[0]: i += 1
                j += 1
            else:
                j += 1
                while j < len(rows) and rows[j][0] > b[0]: j += 1
                i += 1
            continue
        return False
    return i == len(ref) and j == len(rows)


def check_meta(path, variant, src_ds, label):
    with open(path, "rb") as f:
        raw = f.read()
    at = 132 if "--preamble" in variant or "--file-format" in variant else 0
    if at and raw[128:132] != b"DICM":
        note("meta", f"{label}: no DICM")
        return
    declared, rest, seen = None, 0, {}
    while at + 8 <= len(raw):
        group, element = struct.unpack_from("<HH", raw, at)
        if group != 2:
            break
        vr = raw[at + 4:at + 6]
        if vr in (b"OB", b"OW", b"OF", b"SQ", b"UT", b"UN", b"UC", b"UR", b"OV", b"OD", b"OL", b"SV", b"UV"):
            length = struct.unpack_from("<I", raw, at + 8)[0]
            size = 12 + length
            value = raw[at + 12:at + size]
        else:
            length = struct.unpack_from("<H", raw, at + 6)[0]
            size = 8 + length
            value = raw[at + 8:at + size]
        if element == 0:
            declared = struct.unpack_from("<I", raw, at + 8)[0]
        else:
            rest += size
        seen[element] = value
        at += size
    if declared != rest:
        note("meta", f"{label}: (0002,0000) {declared} but group holds {rest}")
    for element, name in ((1, "version"), (2, "SOP class"), (3, "SOP instance"), (0x10, "syntax"), (0x12, "implementation")):
        if element not in seen or not seen[element].strip(b"\0 "):
            note("meta", f"{label}: (0002,{element:04x}) {name} missing or empty")
    def uid(v):
        return v.rstrip(b"\0 ").decode("ascii", "replace")
    if 2 in seen and "SOPClassUID" in src_ds and uid(seen[2]) != src_ds.SOPClassUID:
        note("meta", f"{label}: (0002,0002) {uid(seen[2])} vs (0008,0016) {src_ds.SOPClassUID}")
    if 3 in seen and "SOPInstanceUID" in src_ds and uid(seen[3]) != src_ds.SOPInstanceUID:
        note("meta", f"{label}: (0002,0003) {uid(seen[3])} vs (0008,0018) {src_ds.SOPInstanceUID}")
    return uid(seen.get(0x10, b""))


def expected_syntax(variant, src_syntax):
    compressed = src_syntax is not None and src_syntax.is_compressed and src_syntax != DEFLATED
    if compressed:
        return src_syntax
    if "--deflated" in variant:
        return DEFLATED
    if "--big-endian" in variant:
        return BIG
    return EXPLICIT_LE if ("--file-format" in variant or "--explicit" in variant) else IMPLICIT


def run(tool, *args):
    return subprocess.run([tool, *args], capture_output=True, text=True, errors="replace")


def corpus(tool, everything, scratch):
    """The sources velmora-tool loads, and DCMTK transcodes of them."""
    if everything:
        names = [os.path.relpath(os.path.join(folder, name), DATA)
                 for sub in ("test_files", "charset_files")
                 for folder, _, files in sorted(os.walk(os.path.join(DATA, sub))) for name in sorted(files)]
    else:
        names = SUBSET
    sources = [os.path.join(DATA, n) for n in names if run(tool, "dump", os.path.join(DATA, n)).returncode == 0]
    made = []
    for source in sources if everything else sources[:1]:
        stem = os.path.relpath(source, DATA).replace("/", "__")
        for suffix, program, args in ALL_TRANSCODES if everything else SUBSET_TRANSCODES:
            out = os.path.join(scratch, f"{stem}.{suffix}.dcm")
            if subprocess.run([program, *args, source, out], capture_output=True).returncode == 0 \
                    and run(tool, "dump", out).returncode == 0:
                made.append(out)
    return sources + made


def check_file(tool, src, variants, scratch):
    try:
        source = pydicom.dcmread(src, force=True)
    except Exception as e:
        note("source-unreadable-by-pydicom", f"{src}: {e}")
        return 0
    src_syntax = source.file_meta.get("TransferSyntaxUID") if hasattr(source, "file_meta") else None
    src_dump = dcmdump(src)
    src_rows = dcm_rows(src_dump.stdout)
    src_dcmdump_errors = src_dump.returncode != 0 or src_dump.stderr.strip() != ""
    # The reference of a copy without VRs: DCMTK's own implicit transcode.
    ti = os.path.join(scratch, "reference.dcm")
    ti_rows = None
    if subprocess.run(["dcmconv", "+ti", src, ti], capture_output=True).returncode == 0:
        ti_rows = dcm_rows(dcmdump(ti).stdout)
    checked = 0
    for variant in variants:
        label = f"{os.path.basename(src)} {' '.join(variant) or 'raw'}"
        out = os.path.join(scratch, "out.dcm")
        if os.path.exists(out):
            os.remove(out)
        r = run(tool, "save", src, out, *variant)
        if re.search(r"AddressSanitizer|LeakSanitizer|runtime error", r.stderr):
            note("sanitizer", f"{label}: {r.stderr[:400]}")
        if r.returncode != 0:
            compressed = src_syntax is not None and src_syntax.is_compressed and src_syntax != DEFLATED
            wants_other = "--big-endian" in variant or "--deflated" in variant or ("--meta" in variant and "--explicit" not in variant)
            if compressed and wants_other and r.stderr.startswith("ERROR_DS_TRANSFER_SYNTAX"):
                note("refused-by-design", label)
            else:
                note("save-failed", f"{label}: {r.stderr.strip()[:200]}")
            continue
        checked += 1
        meta = "--meta" in variant or "--file-format" in variant
        if meta:
            syntax = check_meta(out, variant, source, label)
            want = expected_syntax(variant, src_syntax)
            if syntax != want and not ("--meta" in variant and "--explicit" not in variant and syntax == IMPLICIT):
                note("syntax", f"{label}: (0002,0010) {syntax!r}, expected {want}")
        d = dcmdump(out)
        if d.returncode != 0 or d.stderr.strip():
            note("dcmdump-error", f"{label}: rc {d.returncode} {d.stderr.strip()[:300]}")
        explicit_out = "--file-format" in variant or "--explicit" in variant
        src_implicit = source.is_implicit_VR
        ref = src_rows if (explicit_out or src_implicit) else ti_rows
        # dcmdump reads a body that is implicit under an explicit syntax as garbage (pydicom and we
        # read it); VRs of an implicit source come from each program's dictionary.
        # A source DCMTK complains about (a truncated file, whose cut values it fills with NULs) is
        # compared by pydicom only.
        if ref is not None and not (explicit_out and src_implicit) and not src_dcmdump_errors \
                and "implicit" not in run(tool, "dump", src).stderr:
            rows = dcm_rows(d.stdout)
            if not same_rows(ref, rows):
                diff = next(((i, x, y) for i, (x, y) in enumerate(zip(ref, rows)) if x != y), (len(ref), len(rows)))
                note("dcmdump-diff", f"{label}: {str(diff)[:300]}")
        try:
            source = pydicom.dcmread(src, force=True)
            copy = pydicom.dcmread(out, force=True)
            if not meta and "--explicit" not in variant:
                copy.is_implicit_VR, copy.is_little_endian = True, True
            compare_ds(source, copy, "", source.is_little_endian, copy.is_little_endian,
                       explicit_out and not src_implicit, label)
        except Exception as e:
            if "DICOMDIR" in label and isinstance(e, KeyError):
                note("dicomdir-offsets", label)
            elif variant == ["--explicit"] and d.returncode == 0:
                note("pydicom-guess", label)  # explicit VR without group 0002: pydicom guesses wrong
            else:
                note("pydicom-read", f"{label}: {type(e).__name__}: {str(e)[:150]}")
    return checked


def main():
    tool = sys.argv[1]
    everything = "--all" in sys.argv[2:]
    with tempfile.TemporaryDirectory() as scratch:
        files = corpus(tool, everything, scratch)
        checked = sum(check_file(tool, f, ALL_VARIANTS if everything else SUBSET_VARIANTS, scratch) for f in files)
    failures = 0
    for kind, items in sorted(findings.items()):
        print(f"{'by design' if kind in BY_DESIGN else 'FAIL'} {kind}: {len(items)}")
        for item in items[:10]:
            print("  ", item)
        failures += 0 if kind in BY_DESIGN else len(items)
    print(f"{len(files)} files, {checked} saves compared, {failures} failures")
    return 1 if failures or checked < (1000 if everything else 40) else 0


if __name__ == "__main__":
    sys.exit(main())

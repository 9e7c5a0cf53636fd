#!/usr/bin/env python3
"""Generates the built-in rows of the VR, UID and tag dictionaries as C++ arrays.

Reads the tab-separated files in toolkit/data (lines starting with '#' are comments, the first
other line is the column header) and writes one C++ source file that defines
BuiltInVrRows(), BuiltInUidRows(), BuiltInTagRows() (tag-dictionary.tsv), NewerTagRows()
(tag-dictionary-newer.tsv) and AllTagRows() (both, in one array). The build runs this script; its output
lives in the build directory and is never edited by hand.

Usage: generate_dictionaries.py DATA_DIR OUTPUT.cpp
"""

import sys
from pathlib import Path

VR_KINDS = ["AGE", "NAME", "DATE", "TIME", "DATE_TIME", "STRING", "TAG", "SINT1", "UINT1", "SINT2",
            "UINT2", "SINT4", "UINT4", "FLOAT4", "FLOAT8", "SEQUENCE", "SINT8", "UINT8"]
VR_FLAGS = {"DELIMITER": 0x01, "FIXED": 0x02, "SWAP": 0x04, "BINARY": 0x08, "LEFT_20": 0x10,
            "RIGHT_20": 0x20, "RIGHT_00": 0x40}
UID_KINDS = ["NONE", "TRANSFER", "CLASS", "CLASS_META", "CLASS_STORE", "CLASS_COMMAND", "INSTANCE",
             "APPLICATION"]
# VRs added to the standard after the VR dictionary's edition: VrDictionary::RowOf reads them, so
# tag rows may give them.
NEWER_VRS = ["OD", "OL", "OV", "SV", "UC", "UR", "UV"]
CLASS_KINDS = {"CLASS", "CLASS_META", "CLASS_STORE", "CLASS_COMMAND"}
TRANSFER_FLAGS = {"BIG": 0x02, "EXPLICIT": 0x04, "DEFLATE": 0x08}
COMPRESSION_KINDS = ["NONE", "JPEG_LOSSY_1", "JPEG_LOSSY_2_4", "JPEG_LOSSY_3_5", "JPEG_LOSSY_6_8",
                     "JPEG_LOSSY_7_9", "JPEG_LOSSY_10_12", "JPEG_LOSSY_11_13", "JPEG_LOSSLESS_14",
                     "JPEG_LOSSLESS_15", "JPEG_LOSSY_16_18", "JPEG_LOSSY_17_19", "JPEG_LOSSY_20_22",
                     "JPEG_LOSSY_21_23", "JPEG_LOSSY_24_26", "JPEG_LOSSY_25_27", "JPEG_LOSSLESS_28",
                     "JPEG_LOSSLESS_29", "JPEG_LOSSLESS", "JPEG_LS_LOSSY", "JPEG_LS_LOSSLESS",
                     "RLE_LOSSLESS", "JPEG_2000_LOSSLESS", "JPEG_2000_ANY"]


class DataError(Exception):
    pass


def read_table(path, columns):
    """Rows of a data file as dicts, checking the header and the number of fields."""
    rows = []
    header = None
    for number, line in enumerate(path.read_text(encoding="ascii").splitlines(), 1):
        if not line or line.startswith("#"):
            continue
        fields = line.split("\t")
        if header is None:
            header = fields
            if header != columns:
                raise DataError(f"{path}:{number}: columns {header}, expected {columns}")
            continue
        if len(fields) != len(columns):
            raise DataError(f"{path}:{number}: {len(fields)} fields, expected {len(columns)}")
        row = dict(zip(columns, fields))
        row["line"] = f"{path.name}:{number}"
        rows.append(row)
    return rows


def parse_flags(text, names, where):
    if text == "none":
        return 0
    value = 0
    for name in text.split("|"):
        if name not in names:
            raise DataError(f"{where}: unknown flag {name}")
        value |= names[name]
    return value


def c_string(text):
    if any(ord(c) < 0x20 or ord(c) > 0x7E for c in text):
        raise DataError(f"not printable ASCII: {text!r}")
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def vr_code(letters, where):
    if len(letters) != 2 or not letters.isalpha() or not letters.isupper():
        raise DataError(f"{where}: bad VR {letters!r}")
    return (ord(letters[0]) << 8) | ord(letters[1])


def generate_vr_rows(data_dir):
    rows = read_table(data_dir / "vr-dictionary.tsv", ["vr", "name", "unit", "kind", "flags"])
    out = []
    codes = set()
    for row in rows:
        where = row["line"]
        code = vr_code(row["vr"], where)
        if code in codes:
            raise DataError(f"{where}: VR {row['vr']} twice")
        codes.add(code)
        if row["kind"] not in VR_KINDS:
            raise DataError(f"{where}: unknown kind {row['kind']}")
        unit = int(row["unit"])
        if unit < 1:
            raise DataError(f"{where}: unit size {unit}")
        flags = parse_flags(row["flags"], VR_FLAGS, where)
        out.append(f"    {{ 0x{code:04X}, {c_string(row['name'])}, {unit}, VrKind::{row['kind']}, "
                   f"static_cast<VrFlags>(0x{flags:02X}) }}, // {row['vr']} {row['flags']}")
    return out, codes


def generate_uid_rows(data_dir):
    rows = read_table(data_dir / "uid-dictionary.tsv", ["uid", "name", "kind"])
    transfer = {t["uid"]: t for t in read_table(data_dir / "transfer-syntaxes.tsv",
                                                  ["uid", "flags", "compression"])}
    out = []
    class_number = 0
    used_transfer = set()
    for row in rows:
        where = row["line"]
        uid, kind = row["uid"], row["kind"]
        if kind not in UID_KINDS or kind == "NONE":
            raise DataError(f"{where}: unknown kind {kind}")
        if not uid or len(uid) > 64 or any(c not in "0123456789." for c in uid):
            raise DataError(f"{where}: bad UID {uid!r}")
        if kind == "TRANSFER":
            if uid not in transfer:
                raise DataError(f"{where}: transfer syntax {uid} has no properties")
            t = transfer[uid]
            if t["compression"] not in COMPRESSION_KINDS:
                raise DataError(f"{t['line']}: unknown compression {t['compression']}")
            properties = parse_flags(t["flags"], TRANSFER_FLAGS, t["line"])
            properties |= COMPRESSION_KINDS.index(t["compression"]) << 20
            used_transfer.add(uid)
            comment = f"{t['flags']} {t['compression']}"
        elif kind in CLASS_KINDS:
            properties = class_number
            class_number += 1
            comment = f"class {properties}"
        else:
            properties = 0
            comment = ""
        out.append(f"    {{ {c_string(uid)}, {c_string(row['name'])}, UidKind::{kind}, 0x{properties:08X}u }},"
                   + (f" // {comment}" if comment else ""))
    unused = set(transfer) - used_transfer
    if unused:
        raise DataError(f"transfer-syntaxes.tsv: {sorted(unused)} are not TRANSFER rows")
    return out


def generate_tag_rows(data_dir, file_name, vr_codes):
    rows = read_table(data_dir / file_name, ["tag", "mask", "vr", "vm", "name"])
    out = []
    for row in rows:
        where = row["line"]
        tag, mask = int(row["tag"], 16), int(row["mask"], 16)
        if len(row["tag"]) != 8 or len(row["mask"]) != 8:
            raise DataError(f"{where}: tag and mask are 8 hex digits")
        if tag & ~mask & 0xFFFFFFFF:
            raise DataError(f"{where}: tag {row['tag']} has digits outside its mask {row['mask']}")
        code = vr_code(row["vr"], where)
        if code not in vr_codes and row["vr"] not in NEWER_VRS:
            raise DataError(f"{where}: VR {row['vr']} is not one the toolkit reads")
        if not row["vm"] or not row["name"]:
            raise DataError(f"{where}: empty VM or name")
        out.append(f"    {{ 0x{tag:08X}u, 0x{mask:08X}u, 0x{code:04X}, {c_string(row['vm'])}, "
                   f"{c_string(row['name'])} }}, // {row['vr']}")
    return out


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    data_dir, output = Path(argv[1]), Path(argv[2])
    try:
        vr_rows, vr_codes = generate_vr_rows(data_dir)
        uid_rows = generate_uid_rows(data_dir)
        tag_rows = generate_tag_rows(data_dir, "tag-dictionary.tsv", vr_codes)
        newer_tag_rows = generate_tag_rows(data_dir, "tag-dictionary-newer.tsv", vr_codes)
    except (DataError, ValueError) as error:
        print(f"generate_dictionaries.py: {error}", file=sys.stderr)
        return 1

    lines = [
        "// Generated by toolkit/generate_dictionaries.py from toolkit/data/*.tsv; do not edit.",
        '#include "toolkit/built_in_tables.h"',
        "",
        "namespace velmora {",
        "namespace {",
        "",
        f"constexpr VrRow kVrRows[{len(vr_rows)}] = {{",
        *vr_rows,
        "};",
        "",
        f"constexpr UidRow kUidRows[{len(uid_rows)}] = {{",
        *uid_rows,
        "};",
        "",
        "// The edition's rows, then the newer attributes: one array, installed as one table.",
        f"constexpr TagRow kTagRows[{len(tag_rows) + len(newer_tag_rows)}] = {{",
        *tag_rows,
        *newer_tag_rows,
        "};",
        f"constexpr size_t kEditionTagRows = {len(tag_rows)};",
        "",
        "} // namespace",
        "",
        "std::span<const VrRow> BuiltInVrRows() { return kVrRows; }",
        "std::span<const UidRow> BuiltInUidRows() { return kUidRows; }",
        "std::span<const TagRow> BuiltInTagRows() { return std::span(kTagRows).first(kEditionTagRows); }",
        "std::span<const TagRow> NewerTagRows() { return std::span(kTagRows).subspan(kEditionTagRows); }",
        "std::span<const TagRow> AllTagRows() { return kTagRows; }",
        "",
        "} // namespace velmora",
        "",
    ]
    text = "\n".join(lines)
    output.parent.mkdir(parents=True, exist_ok=True)
    # Leave an unchanged file alone so that the build does not recompile it.
    if not output.exists() or output.read_text() != text:
        output.write_text(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

#!/usr/bin/env bash
# Time and peak memory (/usr/bin/time -v) of velmora-tool on the large inputs a hostile or merely
# big folder holds:
#   - scan of a folder of 20,000 small DICOM files (200 folders of 100, 20 patients, 50 series),
#     with symbolic links that loop (self -> ., up -> ..), a FIFO and a link to /dev/zero in it;
#   - dump of one DS element of 40,000 values;
#   - dump of a 300-byte file whose UT value declares 2 GB;
#   - dump of a sequence of 20,000 items, sequence and items of defined length.
# Usage (Release build):
#   bench/tools/hostile_inputs.sh build-rel/tools/velmora-tool
set -euo pipefail
tool=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

/usr/bin/python3 - "$work" <<'PY'
import os, struct, sys
work = sys.argv[1]

def element(group, elem, vr, value, length=None):
    declared = len(value) if length is None else length
    head = struct.pack("<HH", group, elem) + vr.encode()
    if vr in ("OB", "OW", "SQ", "UT", "UN"):
        return head + b"\0\0" + struct.pack("<I", declared) + value
    return head + struct.pack("<H", declared) + value

def text(s):
    b = s.encode()
    return b + b" " if len(b) % 2 else b

def part10(body, syntax=b"1.2.840.10008.1.2.1\0"):
    meta = element(0x0002, 0x0010, "UI", syntax)
    return b"\0" * 128 + b"DICM" + element(0x0002, 0x0000, "UL", struct.pack("<I", len(meta))) + meta + body

# The reader wants at least 21 elements in a file.
filler = b"".join(element(0x0009, 0x1000 + i, "SH", b"AB") for i in range(20))
filler_implicit = b"".join(struct.pack("<HHI", 0x0009, 0x1000 + i, 2) + b"AB" for i in range(20))

folder = os.path.join(work, "scan20000")
for f in range(200):
    sub = os.path.join(folder, f"F{f:03d}")
    os.makedirs(sub)
    for i in range(100):
        n = f * 100 + i
        body = (element(0x0008, 0x0018, "UI", text(f"1.2.3.{n}").replace(b" ", b"\0"))
                + element(0x0008, 0x103E, "LO", text(f"Series {n % 50}"))
                + filler
                + element(0x0010, 0x0010, "PN", text(f"PAT^{n % 20}"))
                + element(0x0028, 0x0002, "US", struct.pack("<H", 1))
                + element(0x0028, 0x0004, "CS", text("MONOCHROME2"))
                + element(0x0028, 0x0010, "US", struct.pack("<H", 16))
                + element(0x0028, 0x0011, "US", struct.pack("<H", 16))
                + element(0x0028, 0x0100, "US", struct.pack("<H", 16))
                + element(0x0028, 0x0101, "US", struct.pack("<H", 12))
                + element(0x0028, 0x0102, "US", struct.pack("<H", 11))
                + element(0x0028, 0x0103, "US", struct.pack("<H", 0))
                + element(0x7FE0, 0x0010, "OW", bytes(512)))
        with open(os.path.join(sub, f"IM{i:03d}.dcm"), "wb") as out:
            out.write(part10(body))
os.symlink(".", os.path.join(folder, "self"))
os.symlink("..", os.path.join(folder, "F000", "up"))
os.symlink("/dev/zero", os.path.join(folder, "zero.dcm"))
os.mkfifo(os.path.join(folder, "fifo.dcm"))

values = "\\".join(f"{i * 0.5 - 7:g}" for i in range(40000))
values += " " * (len(values) % 2)
implicit = filler_implicit + struct.pack("<HHI", 0x0010, 0x0010, 8) + b"DOE^JOHN" + struct.pack("<HHI", 0x0028, 0x1050, len(values)) + values.encode()
with open(os.path.join(work, "many_ds.dcm"), "wb") as out:
    out.write(part10(implicit, b"1.2.840.10008.1.2\0"))

body = filler + element(0x0010, 0x0010, "PN", b"DOE^JOHN") + element(0x0040, 0xA160, "UT", b"x" * 40, 0x80000000)
with open(os.path.join(work, "huge_ut.dcm"), "wb") as out:
    out.write(part10(body))

item_body = element(0x0008, 0x0100, "SH", b"CODE01") + element(0x0008, 0x0104, "LO", b"Meaning ")
items = b"".join(struct.pack("<HHI", 0xFFFE, 0xE000, len(item_body)) + item_body for _ in range(20000))
body = filler + element(0x0010, 0x0010, "PN", b"DOE^JOHN") + element(0x0040, 0x0275, "SQ", items)
with open(os.path.join(work, "long_sequence.dcm"), "wb") as out:
    out.write(part10(body))
PY

measure() {
  local label=$1
  shift
  /usr/bin/time -v "$@" > "$work/out.txt" 2> "$work/time.txt"
  local seconds rss
  seconds=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time.txt")
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time.txt")
  echo "$label: $seconds (m:ss), peak $((rss / 1024)) MB, $(wc -l < "$work/out.txt") lines"
}
for run in 1 2 3; do
  measure "scan of 20,000 files" "$tool" scan "$work/scan20000"
  measure "dump of 40,000 DS values" "$tool" dump "$work/many_ds.dcm"
  measure "dump of a UT declaring 2 GB" "$tool" dump "$work/huge_ut.dcm"
  measure "dump of a sequence of 20,000 items" "$tool" dump "$work/long_sequence.dcm"
done

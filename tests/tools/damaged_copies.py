#!/usr/bin/python3
"""Damaged copies of real DICOM files through velmora-tool: none may crash, hang, trip a sanitizer,
exhaust memory, end with anything but a documented result code, or change the file it reads.

Sources: pydicom's test_files and charset_files, the repository's DICOM files (resources/DICOM,
tests/data/imaging/source) and DCMTK transcodes of a few of them made on the fly (dcmconv,
dcmcjpeg, dcmcjpls, dcmcrle). Each source is walked element by element, and copies are made with
a fixed seed (the same copies on every run):

- cut short at many offsets: in the preamble, inside the meta group, at and inside element
  headers, inside sequences and items, inside pixel data and its fragments, at random;
- bytes flipped, at random and in element headers;
- a length field set to 0xFFFFFFFF, a huge value, an odd value or 0 (meta group length, sequences,
  items, pixel data, fragments, others);
- runs of zero bytes;
- an element duplicated in place or copied after a later one;
- the two VR bytes swapped, or the VR replaced by another one (which changes the header's size).

Each copy goes through `dump`, `info`, `render --frame all --png` and `save` (into a scratch
folder), and all copies of a source together through `scan` of their folder, each command under
a timeout and a 2 GB address-space limit (under ASan, whose shadow memory needs more, its own
max_allocation_size_mb instead). Flagged as a failure: a signal, a sanitizer report, a timeout,
an exit status other than 0 or 1, a failure without a documented `ERROR_...: message` line on
stderr, a change of a copy's bytes (SHA-256 before and after), and a copy that `save` reports as
written but `dump` cannot read back. Failing copies (and folders) are kept in a folder printed at
the end, named after the source and the damage, for replaying by hand.

Usage: damaged_copies.py VELMORA_TOOL [--quick | --all] [--jobs N] [--keep DIR] [--seed N]
  --quick  (the default) a few hundred copies of a dozen sources: a minute or less on a Release
           build
  --all    every source and every transcode, about forty copies each (several thousand)
Exit status: 0 when nothing was flagged, 1 otherwise.
"""
import argparse
import collections
import concurrent.futures
import hashlib
import os
import random
import re
import resource
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
NOT_DICOM = (".txt", ".json", ".dump", ".gz", ".md", ".py", ".png", ".raw", ".bin")
LONG_VRS = {b"OB", b"OW", b"OF", b"SQ", b"UT", b"UN", b"UC", b"UR", b"OD", b"OL", b"OV", b"SV", b"UV"}
IMPLICIT_LE, EXPLICIT_BE = "1.2.840.10008.1.2", "1.2.840.10008.1.2.2"
DEFLATED = ("1.2.840.10008.1.2.1.99", "1.2.840.10008.1.2.8.1")
QUICK_SOURCES = ["test_files/CT_small.dcm", "test_files/MR_small_bigendian.dcm", "test_files/MR_small_implicit.dcm",
                 "test_files/image_dfl.dcm", "test_files/JPEG2000.dcm", "test_files/SC_rgb_rle_2frame.dcm",
                 "test_files/rtplan.dcm", "test_files/MR_small_jpeg_ls_lossless.dcm", "test_files/JPEG-lossy.dcm",
                 "test_files/nested_priv_SQ.dcm", "test_files/ExplVR_BigEndNoMeta.dcm", "charset_files/chrH31.dcm",
                 "resources/DICOM/CT_HEAD/CT001.dcm", "tests/data/imaging/source/palette_segmented.dcm"]
# (name, program, arguments) of the DCMTK transcodes made of each transcoded source.
TRANSCODES = [("te", "dcmconv", ["+te"]), ("tb", "dcmconv", ["+tb"]), ("ti", "dcmconv", ["+ti"]),
              ("td", "dcmconv", ["+td"]), ("rle", "dcmcrle", []), ("jpeg", "dcmcjpeg", []),
              ("jpegl", "dcmcjpeg", ["+e1"]), ("jls", "dcmcjpls", [])]
QUICK_TRANSCODED = ["test_files/CT_small.dcm"]
ALL_TRANSCODED = ["test_files/CT_small.dcm", "test_files/MR_small.dcm", "test_files/ExplVR_BigEnd.dcm",
                  "test_files/SC_rgb_small_odd.dcm", "test_files/rtdose.dcm", "test_files/liver_1frame.dcm",
                  "resources/DICOM/MR_BRAIN/MR001.dcm", "tests/data/imaging/source/native_3_frames.dcm",
                  "tests/data/imaging/source/palette_4.dcm"]
DOCUMENTED_ERROR = re.compile(r"^ERROR_[A-Z0-9_]+: ")
SANITIZER = re.compile(r"AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer|runtime error:")


def pydicom_data():
    try:
        import pydicom  # only to find its test files; everything else is the standard library
        return os.path.join(os.path.dirname(pydicom.__file__), "data")
    except ImportError:
        return "/usr/lib/python3/dist-packages/pydicom/data"


# --- where the structure of a file lies -------------------------------------------------------

class Node:
    """One element header: where it is, what it declares, and what kind of node it is."""

    def __init__(self, offset, tag, vr, vr_at, length_at, length_size, value_at, length, kind):
        self.offset, self.tag, self.vr, self.vr_at = offset, tag, vr, vr_at
        self.length_at, self.length_size, self.value_at, self.length = length_at, length_size, value_at, length
        self.kind = kind  # "meta", "element", "sequence", "item", "delimiter", "pixel", "fragment"

    def end(self):
        return self.value_at + (0 if self.length == 0xFFFFFFFF else self.length)


def walk(data, pos, end, explicit, little, nodes, depth=0, in_pixel=False):
    """Appends the nodes of data[pos:end] to `nodes`; returns where the walk stopped. Stops quietly
    at anything it cannot follow: the copies need landmarks, not a validating reader."""
    order = "<" if little else ">"
    while pos + 8 <= end and len(nodes) < 20000 and depth < 32:
        group, element = struct.unpack_from(order + "HH", data, pos)
        tag = (group << 16) | element
        if group == 0xFFFE:
            length = struct.unpack_from(order + "I", data, pos + 4)[0]
            kind = "delimiter" if element in (0xE00D, 0xE0DD) else ("fragment" if in_pixel else "item")
            node = Node(pos, tag, None, None, pos + 4, 4, pos + 8, length, kind)
            nodes.append(node)
            pos += 8
            if element == 0xE0DD or (element == 0xE00D and depth > 0):
                return pos
            if kind == "item":
                stop = end if length == 0xFFFFFFFF else min(end, pos + length)
                after = walk(data, pos, stop, explicit, little, nodes, depth + 1)
                pos = after if length == 0xFFFFFFFF else stop
            elif kind == "fragment":
                if length == 0xFFFFFFFF:
                    return pos
                pos += length
            continue
        vr = data[pos + 4:pos + 6] if explicit else None
        if explicit and not (vr.isalpha() and vr.isupper()):
            return pos
        if explicit and vr in LONG_VRS:
            length_at, length_size, value_at = pos + 8, 4, pos + 12
            if value_at > end:
                return pos
            length = struct.unpack_from(order + "I", data, length_at)[0]
        elif explicit:
            length_at, length_size, value_at = pos + 6, 2, pos + 8
            length = struct.unpack_from(order + "H", data, length_at)[0]
        else:
            length_at, length_size, value_at = pos + 4, 4, pos + 8
            length = struct.unpack_from(order + "I", data, length_at)[0]
        starts_item = data[value_at:value_at + 4] in (b"\xfe\xff\x00\xe0", b"\xff\xfe\xe0\x00")
        if tag == 0x7FE00010:
            kind = "pixel"
        elif vr == b"SQ" or (length == 0xFFFFFFFF and not explicit) or (not explicit and starts_item and length >= 8):
            kind = "sequence"
        else:
            kind = "element"
        node = Node(pos, tag, vr, pos + 4 if explicit else None, length_at, length_size, value_at, length, kind)
        nodes.append(node)
        pos = value_at
        if kind == "sequence" or (kind == "pixel" and length == 0xFFFFFFFF):
            stop = end if length == 0xFFFFFFFF else min(end, pos + length)
            after = walk(data, pos, stop, explicit, little, nodes, depth + 1, kind == "pixel")
            pos = after if length == 0xFFFFFFFF else stop
        elif length == 0xFFFFFFFF:
            return pos
        else:
            pos += length
    return pos


def structure(data, inflated=False):
    """(nodes, body offset, transfer syntax): group 0002 (kind "meta") and the body as far as it can
    be followed. A deflated body is walked when `inflated` says the copy holds it inflated."""
    nodes = []
    pos = 132 if data[128:132] == b"DICM" else 0
    syntax = None
    while pos + 8 <= len(data) and data[pos:pos + 2] == b"\x02\x00":
        vr = data[pos + 4:pos + 6]
        if vr in LONG_VRS:
            length_at, size, value_at = pos + 8, 4, pos + 12
            length = struct.unpack_from("<I", data, length_at)[0] if value_at <= len(data) else 0
        else:
            length_at, size, value_at = pos + 6, 2, pos + 8
            length = struct.unpack_from("<H", data, length_at)[0]
        tag = 0x00020000 | struct.unpack_from("<H", data, pos + 2)[0]
        nodes.append(Node(pos, tag, vr, pos + 4, length_at, size, value_at, length, "meta"))
        if tag == 0x00020010:
            syntax = data[value_at:value_at + length].rstrip(b"\0 ").decode("ascii", "replace")
        if length == 0xFFFFFFFF:
            return nodes, pos, syntax
        pos = value_at + length
    body = pos
    if syntax in DEFLATED and not inflated:
        return nodes, body, syntax
    if syntax is None:  # no meta group: guess as readers do
        explicit = data[body + 4:body + 6].isalpha()
        little = body + 2 <= len(data) and data[body + 1] == 0
    else:
        explicit, little = syntax != IMPLICIT_LE, syntax != EXPLICIT_BE
    walk(data, body, len(data), explicit, little, nodes)
    return nodes, body, syntax


# --- the damage -----------------------------------------------------------------------------

def put_length(data, node, value, order):
    size = node.length_size
    value &= (1 << (8 * size)) - 1
    packed = struct.pack(order + ("I" if size == 4 else "H"), value)
    return data[:node.length_at] + packed + data[node.length_at + size:]


def byte_order(data, nodes, body):
    """'<' or '>' for the body's length fields (meta lengths are always little-endian)."""
    for node in nodes:
        if node.kind != "meta" and node.length_size == 4 and node.tag >> 16 != 0xFFFE:
            group_le = struct.unpack_from("<H", data, node.offset)[0]
            return "<" if group_le == node.tag >> 16 else ">"
    if body + 2 <= len(data) and data[body] == 0 and data[body + 1] != 0:
        return ">"
    return "<"


def damaged_copies(data, rng, budget):
    """About `budget` (label, bytes) pairs: damaged copies of `data`. A deflated file gets half of
    them in its compressed bytes, half in its inflated body, deflated again."""
    nodes, body, syntax = structure(data)
    if syntax not in DEFLATED:
        return damage(data, nodes, body, rng, budget)
    copies = damage(data, nodes, body, rng, budget // 2)
    try:
        plain = data[:body] + zlib.decompressobj(-15).decompress(data[body:])
    except zlib.error:
        return copies
    inner = [node for node in structure(plain, inflated=True)[0] if node.kind != "meta"]
    for label, copy in damage(plain, inner, body, rng, budget // 2, low=body):
        packer = zlib.compressobj(9, zlib.DEFLATED, -15)
        copies.append((f"inflated-{label}", copy[:body] + packer.compress(copy[body:]) + packer.flush()))
    return copies


def damage(data, nodes, body, rng, budget, low=0):
    """About `budget` (label, bytes) pairs: copies of `data` damaged at or after offset `low`, most
    of them at the landmarks `nodes`."""
    order = byte_order(data, nodes, body)
    size = len(data)
    by_kind = collections.defaultdict(list)
    for node in nodes:
        by_kind[node.kind].append(node)
    landmarks = [n for kind in ("meta", "sequence", "item", "delimiter", "pixel", "fragment") for n in by_kind[kind][:6]]
    landmarks += rng.sample(by_kind["element"], min(8, len(by_kind["element"])))
    made = set()

    def fresh(label, copy):
        if copy != data and copy not in made:
            made.add(copy)
            return [(label, copy)]
        return []

    out = []
    # Cuts: the preamble and magic, every landmark's header and value, then random offsets.
    cuts = {1, 64, 128, 130, 132, 134, body, body + 1, size - 1, size - 2, size // 2}
    if by_kind["meta"]:
        meta_end = by_kind["meta"][-1].end()
        cuts |= {(132 + meta_end) // 2, meta_end - 1}
    for node in landmarks:
        cuts |= {node.offset + 2, node.offset + 5, node.value_at - 1, node.value_at + 1}
        if node.length not in (0, 0xFFFFFFFF):
            cuts |= {node.value_at + node.length // 2, node.end() - 1}
    cuts = sorted(c for c in cuts if max(low, 0) < c < size)
    cut_share = max(4, budget * 2 // 5)
    if len(cuts) > cut_share:
        cuts = sorted(rng.sample(cuts, cut_share))
    for cut in cuts:
        out += fresh(f"cut@{cut}", data[:cut])
    while len(out) < cut_share + 2 and size > low + 2:
        cut = rng.randrange(low + 1, size)
        out += fresh(f"cut@{cut}", data[:cut])

    # Length fields: the values readers trip on.
    length_share = max(4, budget // 5)
    for _ in range(length_share * 3 if landmarks else 0):
        if len(out) >= cut_share + 2 + length_share:
            break
        node = rng.choice(landmarks)
        node_order = "<" if node.kind == "meta" else order
        choice = rng.choice(["undefined", "huge", "max", "odd", "zero", "past-end"])
        value = {"undefined": 0xFFFFFFFF, "huge": 0x7FFFFFF0, "max": 0xFFFFFFFE,
                 "odd": node.length + 1 if node.length != 0xFFFFFFFF else 7, "zero": 0,
                 "past-end": size - node.value_at + 2}[choice]
        tag = f"{node.tag >> 16:04x},{node.tag & 0xFFFF:04x}"
        out += fresh(f"length-{choice}-({tag})@{node.offset}", put_length(data, node, value, node_order))

    # Flipped bytes: half in headers, half anywhere.
    for i in range(max(3, budget // 6)):
        copy = bytearray(data)
        for _ in range(rng.randint(1, 4)):
            if landmarks and rng.random() < 0.5:
                node = rng.choice(landmarks)
                at = rng.randrange(node.offset, min(node.value_at, size))
            else:
                at = rng.randrange(low, size)
            copy[at] ^= 1 << rng.randrange(8) if rng.random() < 0.7 else rng.randrange(1, 256)
        out += fresh(f"flip-{i}", bytes(copy))

    # Zero runs.
    for i in range(max(2, budget // 12)):
        at = rng.choice(landmarks).offset if landmarks and rng.random() < 0.5 else rng.randrange(low, size)
        run = rng.choice([2, 4, 8, 16, 64, 1024])
        out += fresh(f"zeros-{run}@{at}", data[:at] + bytes(min(run, size - at)) + data[at + run:])

    # Duplicated elements: in place (the same tag twice) and after a later element (out of order).
    small = [n for n in nodes if n.length != 0xFFFFFFFF and n.length < 4096 and n.end() <= size]
    for i in range(max(2, budget // 12) if small else 0):
        node = rng.choice(small)
        whole = data[node.offset:node.end()]
        if rng.random() < 0.5:
            out += fresh(f"duplicate@{node.offset}", data[:node.end()] + whole + data[node.end():])
        else:
            later = [n for n in small if n.offset > node.offset] or [node]
            at = rng.choice(later).end()
            out += fresh(f"duplicate@{node.offset}-to@{at}", data[:at] + whole + data[at:])

    # VR bytes swapped, or another VR in their place (a long VR moves the length field).
    explicit = [n for n in nodes if n.vr_at is not None]
    for i in range(max(2, budget // 12) if explicit else 0):
        node = rng.choice(explicit)
        at = node.vr_at
        vr = data[at:at + 2]
        other = rng.choice([vr[::-1], b"SQ", b"UN", b"OB", b"UT", b"US", b"XX", b"ox", b"\0\0"])
        out += fresh(f"vr-{other.hex()}@{node.offset}", data[:at] + other + data[at + 2:])
    return out


# --- the sources ----------------------------------------------------------------------------

def source_files(everything):
    data = pydicom_data()
    found = []
    for base, folders in ((data, ["test_files", "charset_files"]),
                          (ROOT, ["resources/DICOM", "tests/data/imaging/source"])):
        for folder in folders:
            for dirpath, dirs, files in os.walk(os.path.join(base, folder)):
                dirs.sort()
                for name in sorted(files):
                    path = os.path.join(dirpath, name)
                    if not name.endswith(NOT_DICOM):
                        found.append((os.path.relpath(path, base), path))
    if everything:
        return found
    return [(name, path) for name, path in found if name in QUICK_SOURCES]


def transcodes(everything, scratch):
    """DCMTK transcodes of a few sources; those DCMTK refuses are left out."""
    wanted = ALL_TRANSCODED if everything else QUICK_TRANSCODED
    paths = dict(source_files(True))
    made = []
    for name in wanted:
        if name not in paths or not shutil.which("dcmconv"):
            continue
        for label, program, arguments in TRANSCODES if everything else TRANSCODES[4:]:
            out = os.path.join(scratch, f"{os.path.basename(name)}.{label}.dcm")
            done = subprocess.run([program, *arguments, paths[name], out], capture_output=True)
            if done.returncode == 0 and os.path.exists(out):
                made.append((f"dcmtk/{os.path.basename(name)}.{label}", out))
    return made


# --- running the tool -----------------------------------------------------------------------

class Runner:
    def __init__(self, tool, timeout):
        self.tool = tool
        with open(tool, "rb") as binary:
            self.asan = b"__asan_init" in binary.read()
        self.timeout = timeout or (120 if self.asan else 30)
        self.env = dict(os.environ)
        # Reports end the process (a signal) and sizes past 2 GB are refused loudly under ASan.
        self.env.setdefault("ASAN_OPTIONS", "detect_leaks=0:abort_on_error=1")
        self.env["ASAN_OPTIONS"] += ":max_allocation_size_mb=2048:allocator_may_return_null=0"
        self.env.setdefault("UBSAN_OPTIONS", "print_stacktrace=1:halt_on_error=1")

    def limit(self):
        limit = 2 << 30
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
        resource.setrlimit(resource.RLIMIT_CORE, (0, 0))

    def run(self, args):
        """(outcome, detail): outcome "success" (detail: the standard output), an ERROR_ name, or a
        failure starting with "!" (detail: the end of the standard error)."""
        try:
            done = subprocess.run([self.tool, *args], capture_output=True, timeout=self.timeout, env=self.env,
                                  preexec_fn=None if self.asan else self.limit)
        except subprocess.TimeoutExpired:
            return "!timeout", ""
        err = done.stderr.decode("utf-8", "replace")
        if SANITIZER.search(err):
            return "!sanitizer", err[-3000:]
        if done.returncode < 0:
            return f"!signal {-done.returncode}", err[-3000:]
        if done.returncode == 0:
            return "success", done.stdout
        codes = [line.split(":", 1)[0] for line in err.splitlines() if DOCUMENTED_ERROR.match(line)]
        if done.returncode != 1 or not codes:
            return f"!exit {done.returncode} without a result code", err[-3000:]
        return codes[-1], ""


def digest(path):
    with open(path, "rb") as file:
        return hashlib.sha256(file.read()).hexdigest()


def kept_by_save(dump_lines):
    """How many of the dumped nodes the viewer's save keeps for sure. It writes no group 0002, and
    drops group lengths (a damaged one that is a sequence, with its items) and delimiters, writing
    its own where needed; a copy left with fewer than the 21 elements a file needs is refused
    when read back, as it should be."""
    kept, skip_deeper = 0, None
    for line in dump_lines.splitlines():
        depth = len(line) - len(line.lstrip(b" "))
        if skip_deeper is not None and depth > skip_deeper:
            continue
        skip_deeper = None
        tag = line.strip()[:11]
        if tag.startswith(b"(0002,") or tag.endswith(b",0000)"):
            skip_deeper = depth
        elif tag not in (b"(fffe,e00d)", b"(fffe,e0dd)"):
            kept += 1
    return kept


def check_copy(runner, path, scratch):
    """Runs every command on one copy; returns ({command: outcome}, [failure texts])."""
    outcomes, failures = {}, []
    before = digest(path)
    png = os.path.join(scratch, "frame.png")
    saved = os.path.join(scratch, "saved.dcm")
    commands = [("dump", ["dump", path]), ("info", ["info", path]),
                ("render", ["render", path, "--frame", "all", "--png", png]), ("save", ["save", path, saved])]
    body_nodes = 0
    for name, args in commands:
        outcome, detail = runner.run(args)
        outcomes[name] = outcome
        if outcome.startswith("!"):
            failures.append(f"{name}: {outcome[1:]}\n{detail}".rstrip())
        elif name == "dump" and outcome == "success":
            body_nodes = kept_by_save(detail)
    if outcomes["save"] == "success" and body_nodes >= 21:
        outcome, detail = runner.run(["dump", saved])
        if outcome != "success":
            failures.append(f"dump of the saved copy: {outcome.lstrip('!')}\n{detail}".rstrip())
    if digest(path) != before:
        failures.append("the copy's bytes changed")
    for leftover in (png, saved):
        if os.path.exists(leftover):
            os.remove(leftover)
    return outcomes, failures


def check_folder(runner, folder):
    """`scan` of a folder of copies; returns (outcome, [failure texts])."""
    names = sorted(os.listdir(folder))
    before = [digest(os.path.join(folder, name)) for name in names]
    outcome, detail = runner.run(["scan", folder])
    failures = [f"scan: {outcome[1:]}\n{detail}".rstrip()] if outcome.startswith("!") else []
    if [digest(os.path.join(folder, name)) for name in names] != before:
        failures.append("scan changed a copy's bytes")
    return outcome, failures


def reproducer_name(keep, text):
    return os.path.join(keep, re.sub(r"[^A-Za-z0-9_.@()-]+", "_", text))


def main():
    parser = argparse.ArgumentParser(description="velmora-tool on damaged copies of real DICOM files")
    parser.add_argument("tool")
    mode = parser.add_mutually_exclusive_group()
    mode.add_argument("--quick", action="store_true", help="a few hundred copies (the default)")
    mode.add_argument("--all", action="store_true", help="every source and transcode")
    parser.add_argument("--jobs", type=int, default=1, help="copies checked at once (default 1)")
    parser.add_argument("--keep", help="folder for failing copies (default: a new one under /tmp)")
    parser.add_argument("--seed", type=int, default=20261210)
    parser.add_argument("--timeout", type=float, default=None, help="seconds per command")
    options = parser.parse_args()
    runner = Runner(os.path.abspath(options.tool), options.timeout)
    budget = 40 if options.all else 22

    with tempfile.TemporaryDirectory(prefix="damaged-") as scratch:
        sources = source_files(options.all)
        sources += transcodes(options.all, scratch)
        copies = []
        for name, path in sources:
            with open(path, "rb") as file:
                data = file.read()
            rng = random.Random(options.seed ^ zlib.crc32(name.encode()))
            copies += [(name, label, copy) for label, copy in damaged_copies(data, rng, budget)]

        def one_copy(index):
            folder = os.path.join(scratch, f"copy{index}")
            os.mkdir(folder)
            path = os.path.join(folder, "copy.dcm")
            with open(path, "wb") as file:
                file.write(copies[index][2])
            outcomes, failures = check_copy(runner, path, folder)
            shutil.rmtree(folder)
            return outcomes, failures

        # Every copy of a source in one folder, as a user's folder of damaged files would hold them.
        def one_folder(name):
            folder = os.path.join(scratch, f"folder{zlib.crc32(name.encode())}")
            os.mkdir(folder)
            for source, label, copy in copies:
                if source == name:
                    with open(reproducer_name(folder, label + ".dcm"), "wb") as file:
                        file.write(copy)
            outcome, failures = check_folder(runner, folder)
            if not failures:
                shutil.rmtree(folder)
            return {"scan": outcome}, failures, folder

        counts = collections.defaultdict(collections.Counter)
        failed = []
        with concurrent.futures.ThreadPoolExecutor(max(1, options.jobs)) as pool:
            for index, (outcomes, failures) in enumerate(pool.map(one_copy, range(len(copies)))):
                for command, outcome in outcomes.items():
                    counts[command][outcome] += 1
                if failures:
                    failed.append((copies[index], failures))
                if (index + 1) % 1000 == 0:
                    print(f"{index + 1} of {len(copies)} copies, {len(failed)} failing", file=sys.stderr, flush=True)
            failed_folders = []
            for name, (outcomes, failures, folder) in zip(sources, pool.map(one_folder, [n for n, _ in sources])):
                counts["scan"][outcomes["scan"]] += 1
                if failures:
                    failed_folders.append((name[0], folder, failures))

        print(f"{len(copies)} damaged copies of {len(sources)} sources (seed {options.seed}, "
              f"{'ASan build, no rlimit' if runner.asan else 'address space limited to 2 GB'})")
        for command in ("dump", "info", "render", "save", "scan"):
            shown = ", ".join(f"{outcome} {n}" for outcome, n in sorted(counts[command].items(), key=lambda x: -x[1]))
            print(f"  {command}: {shown}" + (" (one folder per source)" if command == "scan" else ""))
        if not failed and not failed_folders:
            print("no crash, hang, sanitizer report, undocumented failure or changed input")
            return 0
        keep = options.keep or tempfile.mkdtemp(prefix="damaged-failures-")
        os.makedirs(keep, exist_ok=True)
        for (name, label, copy), failures in failed:
            reproducer = reproducer_name(keep, f"{name}.{label}.dcm")
            with open(reproducer, "wb") as file:
                file.write(copy)
            print(f"FAIL {reproducer}")
            print("    " + "\n".join(failures).replace("\n", "\n    "))
        for name, folder, failures in failed_folders:
            reproducer = reproducer_name(keep, f"{name}.folder")
            shutil.copytree(folder, reproducer, dirs_exist_ok=True)
            print(f"FAIL {reproducer}")
            print("    " + "\n".join(failures).replace("\n", "\n    "))
        print(f"{len(failed)} failing copies and {len(failed_folders)} failing folders kept in {keep}")
        return 1


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""Whole-process `velmora-tool render FILE --frame all` on 200-frame 512 x 512 16-bit files (native,
JPEG baseline 8-bit, JPEG-LS lossless, JPEG lossless SV1) beside a reference for each: `cat` of
the native file, libjpeg-turbo and CharLS decoding the same streams in memory, pydicom with GDCM
decoding the lossless JPEG file. Prints medians of wall and CPU time over the runs and the ratios.

Usage: render_benchmark.py BUILD_DIR [--runs N] [--data DIR] [--frames N]
  BUILD_DIR  a Release build configured with -DVELMORA_BENCH=ON (velmora-tool and the harnesses)
  --data     keep the generated files in DIR and reuse them on later runs (making them takes a
             minute); without it they go to a temporary folder
  --frames   frames of the series (200); with --runs 0 the files are only made, for instance a
             short series to count instructions under callgrind
"""
import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON = "/usr/bin/python3"  # the Debian interpreter, which has pydicom, numpy and gdcm


def make_files(folder, frames):
    """The series as four files, and the compressed frames as stream files for the harnesses."""
    if not os.path.exists(os.path.join(folder, "jpegll.streams")):
        print(f"making the benchmark files in {folder} ...", file=sys.stderr)
        subprocess.run([PYTHON, os.path.join(HERE, "make_series.py"), folder, str(frames)], check=True)
        transcode = [
            ["dcmcjpeg", "+eb", "ct8.dcm", "jpeg8.dcm"],
            ["dcmcjpls", "+el", "ct16.dcm", "jls.dcm"],
            ["dcmcjpeg", "+e1", "ct16.dcm", "jpegll.dcm"],
        ]
        for command in transcode:
            subprocess.run(command, cwd=folder, check=True)
        for name in ("jpeg8", "jls", "jpegll"):
            subprocess.run([PYTHON, os.path.join(HERE, "extract_frames.py"), f"{name}.dcm", f"{name}.streams"],
                cwd=folder, check=True)


def run_process(command, capture=True):
    """Wall and CPU seconds of a whole process and its output (or "" when it goes to /dev/null)."""
    start = time.monotonic()
    stdout = subprocess.PIPE if capture else subprocess.DEVNULL
    with subprocess.Popen(command, stdout=stdout, stderr=subprocess.DEVNULL, text=True) as process:
        output = process.stdout.read() if capture else ""
        _, status, usage = os.wait4(process.pid, 0)
        process.returncode = os.waitstatus_to_exitcode(status)
    wall = time.monotonic() - start
    if process.returncode != 0:
        sys.exit(f"failed: {' '.join(command)}")
    return wall, usage.ru_utime + usage.ru_stime, output


def peak_memory(command):
    """Peak resident memory in MB, as /usr/bin/time reports it (a child of this Python process
    would report Python's own size if that were larger)."""
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, stdout=subprocess.DEVNULL,
        stderr=subprocess.PIPE, text=True, check=True)
    return int(result.stderr.strip().splitlines()[-1]) / 1024


def run_harness(command, frames):
    """Wall and CPU seconds of the decoding, as the harness reports them."""
    output = run_process(command)[2]
    match = re.search(r"(\d+) frames ([\d.]+) ms ([\d.]+) ms-cpu", output)
    if not match or int(match.group(1)) != frames:
        sys.exit(f"unexpected output of {' '.join(command)}: {output!r}")
    return float(match.group(2)) / 1e3, float(match.group(3)) / 1e3


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("build")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--data")
    parser.add_argument("--frames", type=int, default=200)
    args = parser.parse_args()
    tool = os.path.join(args.build, "tools", "velmora-tool")
    harnesses = os.path.join(args.build, "bench", "render_frames")
    scratch = None
    folder = args.data
    if folder is None:
        scratch = tempfile.TemporaryDirectory(prefix="velmora-render-")
        folder = scratch.name
    os.makedirs(folder, exist_ok=True)
    make_files(folder, args.frames)
    if args.runs < 1:
        return
    path = lambda name: os.path.join(folder, name)

    # (label, our file, reference label, reference command, whole process?, target ratio)
    rows = [
        ("native", "ct16.dcm", "cat of the file", ["cat", path("ct16.dcm")], True, 4.0),
        ("JPEG baseline 8-bit", "jpeg8.dcm", "libjpeg-turbo in memory",
            [os.path.join(harnesses, "turbo_decode"), path("jpeg8.streams")], False, 1.5),
        ("JPEG-LS lossless", "jls.dcm", "CharLS in memory",
            [os.path.join(harnesses, "charls_decode"), path("jls.streams")], False, 1.0),
        ("JPEG lossless SV1", "jpegll.dcm", "pydicom + GDCM",
            [PYTHON, os.path.join(HERE, "pydicom_gdcm_decode.py"), path("jpegll.dcm")], False, 0.5),
    ]
    ours = {row[0]: [] for row in rows}
    theirs = {row[0]: [] for row in rows}
    for run in range(args.runs):
        # Interleaved, so that a change of load on the machine touches both sides alike.
        for label, name, _, reference, whole, _ in rows:
            ours[label].append(run_process([tool, "render", path(name), "--frame", "all"], capture=False)[:2])
            if whole:
                theirs[label].append(run_process(reference, capture=False)[:2])
            else:
                theirs[label].append(run_harness(reference, args.frames))

    load = os.getloadavg()
    print(f"{args.runs} runs, medians; load average {load[0]:.1f} / {load[1]:.1f} / {load[2]:.1f} "
          f"on {os.cpu_count()} CPUs")
    print(f"{'file':<20} {'ours wall':>9} {'cpu':>7}  {'reference':<24} {'wall':>7} {'cpu':>7}"
          f"  {'ratio wall':>10} {'cpu':>6}  {'target':>6}  {'peak RSS':>8}")
    for label, name, reference_label, _, _, target in rows:
        our_wall = statistics.median(w for w, _ in ours[label])
        our_cpu = statistics.median(c for _, c in ours[label])
        ref_wall = statistics.median(w for w, _ in theirs[label])
        ref_cpu = statistics.median(c for _, c in theirs[label])
        print(f"{label:<20} {our_wall * 1e3:7.0f}ms {our_cpu * 1e3:5.0f}ms  {reference_label:<24} "
              f"{ref_wall * 1e3:5.0f}ms {ref_cpu * 1e3:5.0f}ms  {our_wall / ref_wall:9.2f}x "
              f"{our_cpu / ref_cpu:5.2f}x  {target:5.1f}x  "
              f"{peak_memory([tool, 'render', path(name), '--frame', 'all']):6.1f}MB")


if __name__ == "__main__":
    main()

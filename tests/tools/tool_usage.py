#!/usr/bin/python3
"""velmora-tool's own arguments: --help and -h print the usage on stdout and exit 0, --version
prints the project's version (from the top CMakeLists.txt) and exits 0; no command, or an
unknown one, prints the usage on stderr and exits 2.

Usage: tool_usage.py VELMORA_TOOL
"""
import os
import re
import subprocess
import sys

SOURCE = os.environ.get("VELMORA_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))


def main():
    tool = sys.argv[1]
    project = open(os.path.join(SOURCE, "CMakeLists.txt")).read()
    version = re.search(r"project\(Velmora VERSION (\S+)", project).group(1)
    failures = []
    cases = (
        (["--help"], 0, "stdout"),
        (["-h"], 0, "stdout"),
        ([], 2, "stderr"),
        (["--bogus"], 2, "stderr"),
        (["bogus"], 2, "stderr"),
    )
    for args, status, stream in cases:
        result = subprocess.run([tool, *args], capture_output=True, text=True)
        text = result.stdout if stream == "stdout" else result.stderr
        other = result.stderr if stream == "stdout" else result.stdout
        if result.returncode != status or not text.startswith("usage: velmora-tool COMMAND") or other:
            failures.append(f"{args}: exit {result.returncode} (expected {status}), usage on {stream} expected")
    result = subprocess.run([tool, "--version"], capture_output=True, text=True)
    if result.returncode != 0 or result.stdout != f"velmora-tool {version}\n" or result.stderr:
        failures.append(f"--version: exit {result.returncode}, {result.stdout!r} {result.stderr!r}")
    for failure in failures:
        print("FAIL", failure)
    print(f"{len(cases) + 1 - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

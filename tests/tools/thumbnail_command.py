"""velmora-tool thumbnail: the first frame as render shows it (render is checked against pydicom
elsewhere), scaled nearest-neighbour so the longer side is N, each pixel taking the source pixel
floor((x + 0.5) * source / target), computed here independently; and its error answers."""
import os
import subprocess
import sys
import tempfile

import numpy as np

sys.path.insert(0, os.path.dirname(__file__))
from render_and_info import PYDICOM, read_png  # noqa: E402

SOURCE = os.environ.get("VELMORA_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
SAMPLES = os.path.join(SOURCE, "resources", "DICOM")


def expected(full, size):
    h, w = full.shape[:2]
    longer = max(w, h)
    tw, th = max(1, (w * size + longer // 2) // longer), max(1, (h * size + longer // 2) // longer)
    xs = ((np.arange(tw) + 0.5) * w / tw).astype(int)
    ys = ((np.arange(th) + 0.5) * h / th).astype(int)
    return full[ys][:, xs]


def main():
    tool = sys.argv[1]
    failures = 0
    with tempfile.TemporaryDirectory() as work:
        full_png, thumb_png = os.path.join(work, "full.png"), os.path.join(work, "thumb.png")
        # The samples are square; pydicom's big-endian file is wider than tall, its JPEG one taller.
        paths = [os.path.join(SAMPLES, name)
                 for name in ["CT_HEAD/CT001.dcm", "MR_BRAIN/MR001.dcm", "OTHER/RGB001.dcm", "OTHER/CINE001.dcm"]]
        paths += [os.path.join(PYDICOM, name) for name in ["ExplVR_BigEnd.dcm", "JPEG-lossy.dcm"]]
        for path in paths:
            name = os.path.basename(path)
            subprocess.run([tool, "render", path, "--png", full_png], check=True)
            full = read_png(full_png)
            for size in [None, 64, 37, 700]:
                args = [tool, "thumbnail", path, thumb_png] + ([] if size is None else ["--size", str(size)])
                subprocess.run(args, check=True)
                got = read_png(thumb_png)
                want = expected(full, size or 256)
                if want.ndim == 2:  # a grey render: the thumbnail is RGB with equal channels
                    want = np.repeat(want[:, :, None], 3, axis=2)
                if got.shape != want.shape or not (got == want).all():
                    print("FAIL", name, size, got.shape, want.shape)
                    failures += 1
        for args, status in [(["/nonexistent.dcm", thumb_png], 1), ([os.path.join(SAMPLES, "CT_HEAD/CT001.dcm")], 2),
                             (["a", "b", "--size", "0"], 2), (["a", "b", "--size", "x"], 2)]:
            code = subprocess.run([tool, "thumbnail", *args], capture_output=True).returncode
            if code != status:
                print("FAIL", args, code)
                failures += 1
    print(f"{failures} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

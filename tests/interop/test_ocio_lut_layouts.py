"""Our LUT layouts as OpenColorIO reads them.

lut_layouts_tool writes one smooth non-linear LUT in each layout and prints our ApplyLut
results; here OpenColorIO evaluates the same colours through a FileTransform with linear
interpolation, and both must agree within half a quantisation step of the layout (plus a little
for OpenColorIO's single-precision arithmetic). Every file must also read back through our own
reader to the values that were written. Run: python3 test_ocio_lut_layouts.py <build folder of
tests/interop>.
"""
import os
import subprocess
import sys
import tempfile

import PyOpenColorIO as OCIO

# Layouts OpenColorIO has a reader for; the others are only read back by ourselves.
OCIO_READS = {
    "cube_iridas", "cube_davinci", "cube_truelight", "cube_truelight_cub", "fsi_cfe",
    "3dl_scratch", "3dl_fusion", "dolby_dd3", "lustre_3d", "pandora_m3d", "pandora_mga",
    "codex_3d", "luther_3d", "quantel_3d", "cube_1d", "truelight_1d", "codex_1d", "codex_1d_lut",
}
FLOAT_SLACK = 2e-6  # OpenColorIO computes in single precision


def read_triples(path):
    with open(path) as f:
        return [tuple(float(v) for v in line.split()) for line in f if line.strip()]


def max_difference(a, b):
    return max(abs(x - y) for p, q in zip(a, b) for x, y in zip(p, q))


def main():
    build = sys.argv[1]
    tool = os.path.join(build, "lut_layouts_tool")
    failures = []
    with tempfile.TemporaryDirectory(prefix="tintavo-ocio-") as folder:
        run = subprocess.run([tool, folder], capture_output=True, text=True)
        if run.stderr:
            print(run.stderr, file=sys.stderr)
        rows = [line.split("\t") for line in run.stdout.splitlines() if line.strip()]
        if not rows:
            print("lut_layouts_tool printed no layouts")
            return 1
        inputs = read_triples(os.path.join(folder, "inputs.txt"))
        config = OCIO.Config.CreateRaw()
        seen = set()
        for layout, file_name, step, status in rows:
            seen.add(layout)
            step = float(step)
            if status != "ok":
                failures.append(f"{layout}: {status}")
                continue
            ours = read_triples(os.path.join(folder, f"ours-{layout}.txt"))
            back = read_triples(os.path.join(folder, f"back-{layout}.txt"))
            if len(ours) != len(inputs) or len(back) != len(inputs):
                failures.append(f"{layout}: result count differs")
                continue
            back_diff = max_difference(ours, back)
            line = f"{layout:18} {file_name:16} step {step:.3g}  our reader {back_diff:.3g}"
            if back_diff > step / 2 + 1e-9:
                failures.append(f"{layout}: our reader differs by {back_diff:.3g}")
            if layout in OCIO_READS:
                transform = OCIO.FileTransform(src=os.path.join(folder, file_name),
                                               interpolation=OCIO.INTERP_LINEAR)
                try:
                    processor = config.getProcessor(transform).getDefaultCPUProcessor()
                except Exception as e:  # OpenColorIO raises its own exception type
                    failures.append(f"{layout}: OpenColorIO cannot read {file_name}: {e}")
                    print(line + "  OpenColorIO: not read")
                    continue
                theirs = [tuple(processor.applyRGB(list(c))) for c in inputs]
                ocio_diff = max_difference(ours, theirs)
                line += f"  OpenColorIO {ocio_diff:.3g}"
                if ocio_diff > step / 2 + FLOAT_SLACK:
                    failures.append(f"{layout}: OpenColorIO differs by {ocio_diff:.3g} (step {step:.3g})")
            print(line)
        missing = OCIO_READS - seen
        if missing:
            failures.append("layouts not written: " + ", ".join(sorted(missing)))
    for failure in failures:
        print("FAIL", failure)
    print(f"{len(rows)} layouts, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

"""Applying a 3D LUT to a 16-bit picture, ours beside OpenColorIO's CPU processor.

A 33-point cube of a curved, channel-mixing transform and a 16-bit PNG of random colours (with
the corners of the cube among them) are written here; apply_tool runs our apply with each
interpolation and writes the corrected picture as float OpenEXR, and OpenColorIO applies the
same cube file to the same samples with the same interpolation. Every sample must agree within
1e-4. Run: python3 test_ocio_apply.py <build folder of tests/interop>.
"""
import os
import struct
import subprocess
import sys
import tempfile
import zlib

import numpy as np
import PyOpenColorIO as OCIO

TOLERANCE = 1e-4
WIDTH, HEIGHT = 257, 129


def write_cube(path, size):
    with open(path, "w") as f:
        f.write("LUT_3D_SIZE %d\n" % size)
        for b in range(size):  # red fastest
            for g in range(size):
                for r in range(size):
                    x, y, z = r / (size - 1), g / (size - 1), b / (size - 1)
                    out = (0.9 * x ** 0.8 + 0.1 * z, 0.05 + 0.9 * y * y + 0.05 * x, 0.5 * (z + y * x) ** 1.3)
                    f.write("%.6f %.6f %.6f\n" % out)


def write_png16(path, samples):
    """samples: HEIGHT x WIDTH x 3 uint16."""
    raw = b"".join(b"\0" + samples[y].astype(">u2").tobytes() for y in range(samples.shape[0]))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    header = struct.pack(">IIBBBBB", samples.shape[1], samples.shape[0], 16, 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def main():
    tool = os.path.join(sys.argv[1], "apply_tool")
    rng = np.random.default_rng(7)
    samples = rng.integers(0, 65536, size=(HEIGHT, WIDTH, 3), dtype=np.uint16)
    for i, corner in enumerate([(0, 0, 0), (65535, 65535, 65535), (65535, 0, 32768), (0, 65535, 0)]):
        samples[0, i] = corner
    failures = []
    with tempfile.TemporaryDirectory(prefix="tintavo-ocio-apply-") as folder:
        cube, picture = os.path.join(folder, "curve.cube"), os.path.join(folder, "picture.png")
        write_cube(cube, 33)
        write_png16(picture, samples)
        config = OCIO.Config.CreateRaw()
        results = {}
        for ours, theirs in (("trilinear", OCIO.INTERP_LINEAR), ("tetrahedral", OCIO.INTERP_TETRAHEDRAL)):
            run = subprocess.run([tool, cube, picture, ours, folder], capture_output=True, text=True)
            if run.returncode != 0:
                failures.append("%s: apply_tool failed: %s" % (ours, run.stderr))
                continue
            width, height = (int(v) for v in run.stdout.split())
            read = np.fromfile(os.path.join(folder, "input.f32"), dtype="<f4").reshape(height, width, 3)
            got = np.fromfile(os.path.join(folder, "output.f32"), dtype="<f4").reshape(height, width, 3)
            if not np.array_equal(read, (samples / 65535.0).astype(np.float32)):
                failures.append("%s: the 16-bit samples were not read as v / 65535" % ours)
            transform = OCIO.FileTransform(src=cube, interpolation=theirs)
            cpu = config.getProcessor(transform).getDefaultCPUProcessor()
            want = read.copy()
            cpu.applyRGB(want)
            want = np.clip(want, 0.0, 1.0)
            results[ours] = got
            worst = float(np.max(np.abs(got - want)))
            print("%s: largest difference from OpenColorIO %.3g" % (ours, worst))
            if len(results) == 2:
                print("trilinear and tetrahedral differ by up to %.3g" % np.max(np.abs(results["trilinear"] - got)))
            if worst > TOLERANCE:
                failures.append("%s: differs from OpenColorIO by %.3g" % (ours, worst))
        # The cube is curved enough for the two interpolations to differ beyond the tolerance.
        if len(results) == 2 and np.max(np.abs(results["trilinear"] - results["tetrahedral"])) < 2 * TOLERANCE:
            failures.append("trilinear and tetrahedral results do not differ")
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

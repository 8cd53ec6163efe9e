"""ASC CDL against OpenColorIO.

Writes one .cc file, loads it with our ASC CDL reader (through the cdl_tool helper, which prints
the 33-point table) and with OpenColorIO (a CDLTransform built from the same numbers and a
FileTransform reading the same file, both in the no-clamp style), and compares at every grid
node.

Two documented differences are accounted for, not tolerated:
- Where in * slope + offset is negative, OpenColorIO's no-clamp style passes the value through,
  while our reader gives 0 (the power is applied only above 0). The expected value there is 0.
- Saturation: OpenColorIO weights by Rec. 709 luma, ours uses the plain mean of the three
  channels. The comparison therefore runs at saturation 1, where both are the identity; a second
  file with saturation 0.6 is checked against OpenColorIO's slope-offset-power result with the
  plain-mean saturation applied here.

Tolerance 1e-6 absolute: both sides compute in single precision (OpenColorIO's powf path); the
outputs lie in 0..1.3, where one single-precision step is at most 1.2e-7, and the observed
differences stay below 1e-7.

Usage: /usr/bin/python3 test_ocio_cdl.py <build dir of tests/interop>
"""
import os
import subprocess
import sys
import tempfile

import numpy as np
import PyOpenColorIO as OCIO

TOLERANCE = 1e-6
SLOPE = [1.15, 0.92, 1.04]
OFFSET = [0.012, -0.031, 0.0]
POWER = [1.1, 0.87, 1.23]

CC_TEXT = """<?xml version="1.0" encoding="UTF-8"?>
<ColorCorrection id="interop_1">
  <SOPNode>
    <Description>interop check</Description>
    <Slope>{slope}</Slope>
    <Offset>{offset}</Offset>
    <Power>{power}</Power>
  </SOPNode>
  <SATNode>
    <Saturation>{sat}</Saturation>
  </SATNode>
</ColorCorrection>
"""


def write_cc(folder, name, saturation):
    path = os.path.join(folder, name)
    join = lambda values: " ".join(repr(v) for v in values)
    with open(path, "w", newline="\n") as f:
        f.write(CC_TEXT.format(slope=join(SLOPE), offset=join(OFFSET), power=join(POWER), sat=saturation))
    return path


def read_ours(tool, path):
    run = subprocess.run([tool, path], capture_output=True, text=True,
                         env=dict(os.environ, ASAN_OPTIONS="detect_leaks=0"))
    if run.returncode != 0:
        raise AssertionError("cdl_tool failed on %s: %s" % (path, run.stderr.strip()))
    lines = run.stdout.splitlines()
    assert lines[0] == "size 33", lines[0]
    assert "comment Name: interop_1" in lines[1:3], lines[1:3]
    rows = [l.split() for l in lines if l[:1].isdigit()]
    assert len(rows) == 33 ** 3, len(rows)
    index = np.array([[int(v) for v in row[:3]] for row in rows])
    values = np.array([[float(v) for v in row[3:]] for row in rows])
    # Blue fastest.
    expected_index = np.array([(r, g, b) for r in range(33) for g in range(33) for b in range(33)])
    assert (index == expected_index).all(), "grid order"
    return index, values


def apply_ocio(transform, index):
    config = OCIO.Config.CreateRaw()
    processor = config.getProcessor(transform).getDefaultCPUProcessor()
    pixels = (index.astype(np.float32) / np.float32(32.0)).reshape(-1)
    return np.array(processor.applyRGB(pixels.tolist()), dtype=np.float64).reshape(-1, 3)


def compare(label, ours, expected):
    diff = np.abs(ours - expected)
    worst = int(diff.max(axis=1).argmax())
    print("%-32s max |diff| %.3g (node %d)" % (label, diff.max(), worst))
    if not diff.max() <= TOLERANCE:
        raise AssertionError("%s: node %d ours %s, expected %s" % (label, worst, ours[worst], expected[worst]))


def main():
    tool = os.path.join(sys.argv[1], "cdl_tool")
    with tempfile.TemporaryDirectory() as folder:
        plain = write_cc(folder, "grade.cc", "1.0")
        index, ours = read_ours(tool, plain)

        cdl = OCIO.CDLTransform()
        cdl.setSlope(SLOPE)
        cdl.setOffset(OFFSET)
        cdl.setPower(POWER)
        cdl.setSat(1.0)
        cdl.setStyle(OCIO.CDLStyle.CDL_NO_CLAMP)
        from_values = apply_ocio(cdl, index)

        from_file = OCIO.FileTransform(src=plain)
        from_file.setCDLStyle(OCIO.CDLStyle.CDL_NO_CLAMP)
        from_file_values = apply_ocio(from_file, index)

        negative = int((from_values < 0).sum())
        assert negative > 0, "the offsets should drive some nodes below 0"
        print("nodes below 0 in OpenColorIO (expected 0 in ours): %d" % negative)
        compare("CDLTransform, saturation 1", ours, np.maximum(from_values, 0.0))
        compare("FileTransform, saturation 1", ours, np.maximum(from_file_values, 0.0))

        # Saturation around the plain mean, on top of OpenColorIO's slope-offset-power.
        s = np.float32(0.6)
        _, ours_sat = read_ours(tool, write_cc(folder, "sat.cc", "0.6"))
        sop = np.maximum(from_values, 0.0).astype(np.float32)
        mean = sop.sum(axis=1, dtype=np.float32) / np.float32(3.0)
        expected_sat = sop * s + ((np.float32(1.0) - s) * mean)[:, None]
        compare("saturation 0.6, plain mean", ours_sat, expected_sat.astype(np.float64))
    print("OK")


if __name__ == "__main__":
    main()

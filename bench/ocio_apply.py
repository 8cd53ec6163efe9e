"""OpenColorIO's CPU processor on the 6000 x 4000 picture of bench/compare_ocio.sh.

Usage: /usr/bin/python3 ocio_apply.py CUBE INPUT.f32 OUTPUT_TRILINEAR.f32 OUTPUT_TETRAHEDRAL.f32
INPUT.f32 holds our decoded samples (float32 RGB, 6000 x 4000), the outputs our corrected ones
(apply_tool). For each interpolation: the best of 3 timings (wall and processor time) of applyRGB on a fresh copy of the
samples (one thread: the processor's own), and the largest difference from our output.
"""
import sys
import time

import numpy as np
import PyOpenColorIO as OCIO


def main():
    cube, source, ours_linear, ours_tetra = sys.argv[1:5]
    samples = np.fromfile(source, dtype="<f4").reshape(4000, 6000, 3)
    config = OCIO.Config.CreateRaw()
    for name, interp, ours in (("trilinear", OCIO.INTERP_LINEAR, ours_linear),
                               ("tetrahedral", OCIO.INTERP_TETRAHEDRAL, ours_tetra)):
        cpu = config.getProcessor(OCIO.FileTransform(src=cube, interpolation=interp)).getDefaultCPUProcessor()
        best = best_cpu = float("inf")
        for _ in range(3):
            work = samples.copy()
            start, start_cpu = time.perf_counter(), time.process_time()
            cpu.applyRGB(work)
            best = min(best, time.perf_counter() - start)
            best_cpu = min(best_cpu, time.process_time() - start_cpu)
        theirs = np.clip(work, 0.0, 1.0)
        got = np.fromfile(ours, dtype="<f4").reshape(4000, 6000, 3)
        print("OCIO %-11s wall %7.1f ms (%6.1f Mpix/s), processor %7.1f ms; largest difference from ours %.3g"
              % (name, best * 1000, 24.0 / best, best_cpu * 1000, float(np.max(np.abs(got - theirs)))))


if __name__ == "__main__":
    main()

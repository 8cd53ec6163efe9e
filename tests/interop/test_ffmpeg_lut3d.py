"""Our 3D LUT files through ffmpeg's lut3d filter, against tintavo-cli apply.

A smooth non-linear 33-point cube is converted by tintavo-cli into every 3D output profile;
each file then corrects the same picture twice, once by `tintavo-cli apply` and once by ffmpeg
(`-vf lut3d=file=...:interp=trilinear`, the interpolation our apply uses). For the profiles in
FFMPEG_READS both pictures must agree to within one 8-bit level plus half the file's
quantisation step. Every other profile must fail in ffmpeg or give a visibly different
picture, so that the list (and the README's table made from it) stays true when ffmpeg
changes. Files of two profiles are also tried under the extension of the layout they share
(Dolby DD3 is a 3dl file, Technicolor mga a Pandora m3d one). Where ffmpeg reads a file
otherwise than we do, the test says how when it can (red and blue exchanged).

    python3 test_ffmpeg_lut3d.py TINTAVO_CLI
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

SKIP = 77
# Profile numbers (as `tintavo-cli profiles` lists them) whose files ffmpeg reads as we do.
FFMPEG_READS = {
    1,   # 3DL Scratch, Autodesk, Blackmagic, Cine-tal (.3dl; ffmpeg's 3dl reader takes 17 points only)
    7,   # Cube 3D Iridas, Nuke, AfterEffects (.cube)
    8,   # Cube 3D Davinci (.cube)
}
# Davinci DAT files list red fastest with the values in the order blue, green, red; ffmpeg reads
# .dat blue fastest with red, green, blue, i.e. with red and blue exchanged on both sides.
FFMPEG_EXCHANGES_RED_AND_BLUE = {10}
# Profiles tried again under the extension of the layout they share, and read as we do.
RENAMED_READS = {(11, "3dl")}
# ... and tried again but not read as we do (the Pandora lines start with an index, which
# ffmpeg's m3d reader takes for the red value).
RENAMED_OTHERWISE = {(19, "m3d")}
SIZE = 33


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, **kwargs)


def source_cube(path):
    """A smooth, clearly non-linear colour change, red fastest."""
    lines = [f"LUT_3D_SIZE {SIZE}"]
    n = SIZE - 1
    for b in range(SIZE):
        for g in range(SIZE):
            for r in range(SIZE):
                x, y, z = r / n, g / n, b / n
                out = (0.05 + 0.9 * x ** 0.8 * (1 - 0.15 * z),
                       0.02 + 0.9 * (0.7 * y + 0.3 * y * y) + 0.05 * x,
                       0.9 * z ** 1.2 + 0.08 * y * (1 - x))
                lines.append(" ".join(f"{min(1.0, max(0.0, v)):.10f}" for v in out))
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def test_picture(folder):
    """A 64 x 128 PNG: every combination of 16 levels per channel, then 4096 scattered colours."""
    width, height = 64, 128
    pixels = bytearray()
    for i in range(4096):
        pixels += bytes(((i % 16) * 17, (i // 16 % 16) * 17, (i // 256) * 17))
    state = 12345
    for _ in range(4096):
        for _ in range(3):
            state = (state * 1103515245 + 12345) % 2 ** 31
            pixels.append(state >> 23)
    ppm = os.path.join(folder, "colours.ppm")
    with open(ppm, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (width, height) + bytes(pixels))
    png = os.path.join(folder, "colours.png")
    run(["ffmpeg", "-v", "error", "-y", "-i", ppm, png], check=True)
    swapped = bytes(exchange_red_and_blue(bytes(pixels)))
    with open(ppm, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (width, height) + swapped)
    swapped_png = os.path.join(folder, "colours-swapped.png")
    run(["ffmpeg", "-v", "error", "-y", "-i", ppm, swapped_png], check=True)
    return png, swapped_png, bytes(pixels)


def exchange_red_and_blue(rgb):
    out = bytearray(rgb)
    out[0::3], out[2::3] = rgb[2::3], rgb[0::3]
    return out


def raw_rgb(png):
    out = run(["ffmpeg", "-v", "error", "-i", png, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"])
    return out.stdout if out.returncode == 0 else None


def main():
    cli = sys.argv[1]
    if shutil.which("ffmpeg") is None:
        print("ffmpeg is not installed")
        return SKIP
    failures = []
    profiles = json.loads(run([cli, "profiles", "--json"], check=True).stdout)
    with tempfile.TemporaryDirectory(prefix="tintavo-ffmpeg-") as folder:
        source = os.path.join(folder, "source.cube")
        source_cube(source)
        picture, swapped_picture, original = test_picture(folder)

        cases = []
        for number, profile in enumerate(profiles, start=1):
            if profile["number"] != number:
                failures.append(f"profile {profile['number']} listed as number {number}")
            if profile["dimension"] != "3D":
                continue
            cases.append((number, profile, profile["extension"].lower(), number in FFMPEG_READS))
        for number, extension in sorted(RENAMED_READS | RENAMED_OTHERWISE):
            cases.append((number, profiles[number - 1], extension, (number, extension) in RENAMED_READS))
        if len(cases) < 19:
            failures.append(f"only {len(cases)} 3D profile cases")

        for number, profile, extension, expected in cases:
            name = f"p{number}.{profile['extension'].lower()}"
            lut = os.path.join(folder, name)
            if not os.path.exists(lut):
                made = run([cli, "convert", source, lut, "--profile", str(number)])
                if made.returncode != 0:
                    failures.append(f"profile {number}: convert failed: {made.stderr.decode().strip()}")
                    continue
            fed = lut
            if extension != profile["extension"].lower():
                fed = os.path.join(folder, f"p{number}-renamed.{extension}")
                shutil.copyfile(lut, fed)
            ours_png = os.path.join(folder, f"ours-{number}-{extension}.png")
            ours_swapped_png = os.path.join(folder, f"ours-swapped-{number}-{extension}.png")
            applied = [run([cli, "apply", lut, source_picture, "-o", out, "--from", str(profile["formatIndex"])])
                       for source_picture, out in ((picture, ours_png), (swapped_picture, ours_swapped_png))]
            if any(a.returncode != 0 for a in applied):
                failures.append(f"profile {number}: tintavo-cli apply failed: {applied[0].stderr.decode().strip()}")
                continue
            ours = raw_rgb(ours_png)
            ours_exchanged = exchange_red_and_blue(raw_rgb(ours_swapped_png))
            theirs_png = os.path.join(folder, f"theirs-{number}-{extension}.png")
            filtered = run(["ffmpeg", "-v", "error", "-y", "-i", picture, "-vf",
                            f"lut3d=file='{fed}':interp=trilinear", "-pix_fmt", "rgb24", theirs_png])
            theirs = raw_rgb(theirs_png) if filtered.returncode == 0 else None

            bits = profile.get("defaultBits") or 0
            step = 1 / (2 ** bits - 1) if bits else 0
            tolerance = 1 + 255 * step / 2
            if theirs is None or len(theirs) != len(ours):
                diff = None
                verdict = "not read"
            else:
                diff = max(abs(a - b) for a, b in zip(ours, theirs))
                verdict = "same" if diff <= tolerance else "different"
                if verdict == "different" and max(abs(a - b) for a, b in zip(ours_exchanged, theirs)) <= tolerance:
                    verdict = "red and blue exchanged"
            # The correction must change the picture, or agreeing would prove nothing.
            changed = max(abs(a - b) for a, b in zip(ours, original))
            if changed < 20:
                failures.append(f"profile {number}: the LUT hardly changes the picture ({changed} levels)")
            line = f"{number:2} {profile['name'][:44]:44} as .{extension:6} ffmpeg: {verdict}"
            if diff is not None:
                line += f" (max difference {diff} levels, allowed {tolerance:.2f})"
            print(line)
            wanted = "same" if expected else (
                "red and blue exchanged" if number in FFMPEG_EXCHANGES_RED_AND_BLUE and
                extension == profile["extension"].lower() else None)
            if wanted and verdict != wanted:
                err = filtered.stderr.decode().strip().splitlines()
                failures.append(f"profile {number} as .{extension}: ffmpeg {verdict}, expected {wanted}"
                                + (f": {err[-1]}" if err and verdict == "not read" else ""))
            if not wanted and verdict == "same":
                failures.append(f"profile {number} as .{extension}: ffmpeg now reads it; add it to FFMPEG_READS")

    for failure in failures:
        print("FAIL", failure)
    print(f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

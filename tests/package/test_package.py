"""The Debian package made from this build, checked the way a user and Debian's tools see it.

    python3 test_package.py build      SOURCE BUILD DEBDIR   # package the build into DEBDIR
    python3 test_package.py contents   SOURCE BUILD DEBDIR   # what it installs, and that it runs
    python3 test_package.py desktop    SOURCE BUILD DEBDIR   # desktop-file-validate
    python3 test_package.py appstream  SOURCE BUILD DEBDIR   # appstreamcli validate
    python3 test_package.py lintian    SOURCE BUILD DEBDIR   # lintian: no errors

A validator that is not installed makes its test exit with 77, which CTest reports as skipped.
"""
import glob
import gzip
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

SKIP = 77
APP_ID = "com.vornsoft.Tintavo"
# LUT file extensions that other kinds of file share; the package claims no type for them.
GENERIC_EXTENSIONS = {"txt", "dat", "lut"}


class Failures:
    def __init__(self):
        self.items = []

    def check(self, condition, message):
        if not condition:
            self.items.append(message)
        return condition

    def finish(self, what):
        for item in self.items:
            print("FAIL", item)
        print(f"{what}: {len(self.items)} failures")
        return 1 if self.items else 0


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, **kwargs)


def project_version(build):
    with open(os.path.join(build, "CMakeCache.txt")) as f:
        for line in f:
            if line.startswith("CMAKE_PROJECT_VERSION:"):
                return line.split("=", 1)[1].strip()
    raise RuntimeError("no project version in CMakeCache.txt")


def the_package(debdir):
    debs = glob.glob(os.path.join(debdir, "tintavo_*.deb"))
    if len(debs) != 1:
        raise RuntimeError(f"expected one package in {debdir}, found {debs}")
    return debs[0]


def unpack(deb, root):
    subprocess.run(["dpkg-deb", "-x", deb, root], check=True)


def build(source, build_dir, debdir):
    shutil.rmtree(debdir, ignore_errors=True)
    result = run(["bash", os.path.join(source, "scripts", "package.sh"), build_dir, debdir])
    print(result.stdout + result.stderr)
    if result.returncode != 0:
        return 1
    deb = the_package(debdir)
    arch = run(["dpkg", "--print-architecture"]).stdout.strip()
    expected = f"tintavo_{project_version(build_dir)}_{arch}.deb"
    if os.path.basename(deb) != expected:
        print(f"FAIL the package is called {os.path.basename(deb)}, not {expected}")
        return 1
    return 0


def needed_libraries(binary):
    out = run(["readelf", "-d", binary]).stdout
    return re.findall(r"\(NEEDED\)\s+Shared library: \[(.+?)\]", out)


def owning_package(library):
    """The Debian package that holds the library this machine's loader finds."""
    out = run(["ldconfig", "-p"]).stdout
    for line in out.splitlines():
        m = re.match(r"\s*(\S+) \(libc6,x86-64.*\) => (\S+)", line)
        if m and m.group(1) == library:
            path = os.path.realpath(m.group(2))
            for candidate in (m.group(2), path):
                owner = run(["dpkg", "-S", candidate])
                if owner.returncode == 0:
                    return owner.stdout.split(":", 1)[0].strip()
    return None


def desktop_entry(path):
    entry = {}
    with open(path) as f:
        for line in f:
            if "=" in line and not line.startswith("#"):
                key, value = line.rstrip("\n").split("=", 1)
                entry[key] = value
    return entry


def cli_types(build_dir):
    """Picture and LUT file extensions as the programs' own tables list them."""
    out = run([os.path.join(build_dir, "packaging", "tintavo-cli-docs"), "types"]).stdout
    types = {"picture": set(), "lut": set()}
    for line in out.splitlines():
        kind, ext = line.split()
        types[kind].add(ext)
    return types


def mime_type_of_extension(ext):
    """The type shared-mime-info gives to files named *.ext on this machine."""
    for globs in ("/usr/share/mime/globs2",):
        with open(globs) as f:
            for line in f:
                if line.startswith("#"):
                    continue
                parts = line.rstrip("\n").split(":")
                if len(parts) >= 3 and parts[2].lower() == "*." + ext:
                    return parts[1]
    return None


def contents(source, build_dir, debdir):
    fails = Failures()
    version = project_version(build_dir)
    deb = the_package(debdir)

    fields = {k: run(["dpkg-deb", "-f", deb, k]).stdout.strip() for k in ("Package", "Version", "Depends")}
    fails.check(fields["Package"] == "tintavo", f"Package is {fields['Package']!r}")
    fails.check(fields["Version"] == version, f"Version is {fields['Version']!r}, the project's is {version}")

    # DPX and OpenEXR support is a private library beside the other libraries of the machine's
    # architecture (one that needs no ldconfig).
    multiarch = run(["dpkg-architecture", "-qDEB_HOST_MULTIARCH"]).stdout.strip()
    oiio_module = f"usr/lib/{multiarch}/tintavo/tintavo-oiio.so"

    with tempfile.TemporaryDirectory(prefix="tintavo-deb-") as root:
        unpack(deb, root)
        usr = os.path.join(root, "usr")
        files = {os.path.relpath(os.path.join(d, f), root) for d, _, fs in os.walk(root) for f in fs}
        expected = [
            "usr/bin/tintavo", "usr/bin/tintavo-cli", oiio_module,
            "usr/share/man/man1/tintavo.1.gz", "usr/share/man/man1/tintavo-cli.1.gz",
            "usr/share/bash-completion/completions/tintavo-cli",
            f"usr/share/applications/{APP_ID}.desktop",
            f"usr/share/metainfo/{APP_ID}.metainfo.xml",
            f"usr/share/mime/packages/{APP_ID}.xml",
            f"usr/share/icons/hicolor/scalable/apps/{APP_ID}.svg",
            "usr/share/doc/tintavo/copyright", "usr/share/doc/tintavo/changelog.gz",
            "usr/share/doc/tintavo/README.md", "usr/share/doc/tintavo/user-guide.md",
            "usr/share/tintavo/samples/classic.jpg", "usr/share/tintavo/samples/sg.jpg",
            "usr/share/tintavo/samples/README.md",
        ]
        expected += [f"usr/share/icons/hicolor/{s}x{s}/apps/{APP_ID}.png" for s in (16, 24, 32, 48, 64, 128, 256)]
        for path in expected:
            fails.check(path in files, f"the package lacks /{path}")
        stray = [f for f in files if not f.startswith("usr/")]
        fails.check(not stray, f"files outside /usr: {stray}")

        # PNG icons of the size their folder says.
        for png in glob.glob(os.path.join(usr, "share/icons/hicolor/*x*/apps/*.png")):
            size = int(os.path.basename(os.path.dirname(os.path.dirname(png))).split("x")[0])
            with open(png, "rb") as f:
                head = f.read(24)
            w, h = int.from_bytes(head[16:20], "big"), int.from_bytes(head[20:24], "big")
            fails.check(head[:8] == b"\x89PNG\r\n\x1a\n" and (w, h) == (size, size),
                        f"{png} is not a {size} x {size} PNG")

        # Every library the programs need comes from a package the control file depends on.
        depends = {d.strip().split()[0] for d in fields["Depends"].replace("|", ",").split(",") if d.strip()}
        for program in ("bin/tintavo", "bin/tintavo-cli", os.path.relpath(oiio_module, "usr")):
            for library in needed_libraries(os.path.join(usr, program)):
                owner = owning_package(library)
                fails.check(owner is None or owner in depends,
                            f"{program} needs {library} from {owner}, which Depends ({fields['Depends']}) lacks")
        fails.check("libc6" in depends, f"Depends lacks libc6: {fields['Depends']}")

        # The installed command-line tool runs from the unpacked tree.
        cli = os.path.join(usr, "bin", "tintavo-cli")
        out = run([cli, "--version"])
        fails.check(out.returncode == 0 and out.stdout == f"tintavo-cli {version}\n",
                    f"installed tintavo-cli --version printed {out.stdout!r} (exit {out.returncode})")
        with tempfile.TemporaryDirectory(prefix="tintavo-cal-") as work:
            outputs = []
            for name, program in (("installed", cli), ("built", os.path.join(build_dir, "cli", "tintavo-cli"))):
                lut = os.path.join(work, f"{name}.cube")
                result = run([program, "calibrate", os.path.join(usr, "share/tintavo/samples/classic.jpg"),
                              "--chart", "classic", "--rect", "300,200,1200,800",
                              "--profile", "Cube 3D Davinci", "-o", lut])
                fails.check(result.returncode == 0, f"{name} calibrate failed: {result.stderr.strip()}")
                outputs.append(open(lut, "rb").read() if os.path.exists(lut) else b"")
            fails.check(outputs[0] != b"" and outputs[0] == outputs[1],
                        "the installed tintavo-cli calibrates the installed sample differently from the build")
            fails.check(b"LUT_3D_SIZE 33" in outputs[0], "the installed calibration wrote no 33-point cube")
            # Writing and reading OpenEXR loads the installed module, not the build's.
            exr, again = os.path.join(work, "corrected.exr"), os.path.join(work, "again.png")
            result = run([cli, "apply", os.path.join(work, "installed.cube"),
                          os.path.join(usr, "share/tintavo/samples/classic.jpg"), "-o", exr, "--depth", "half"])
            fails.check(result.returncode == 0, f"installed apply to OpenEXR failed: {result.stderr.strip()}")
            result = run([cli, "apply", os.path.join(work, "installed.cube"), exr, "-o", again],
                         env=dict(os.environ, LD_DEBUG="files"))
            fails.check(result.returncode == 0 and os.path.join(root, oiio_module) in result.stderr,
                        f"the installed tintavo-cli did not read OpenEXR through {oiio_module}: "
                        f"{result.stderr.strip()[-500:]}")

        # The desktop program's libraries all resolve.
        ldd = run(["ldd", os.path.join(usr, "bin", "tintavo")]).stdout
        fails.check("not found" not in ldd, f"tintavo has unresolved libraries:\n{ldd}")

        # The desktop entry starts the installed program, with its icon, for every picture type
        # the program opens and every LUT type the package declares.
        entry = desktop_entry(os.path.join(usr, f"share/applications/{APP_ID}.desktop"))
        fails.check(entry.get("Exec", "").split()[0] == "tintavo" and "%f" in entry.get("Exec", ""),
                    f"Exec is {entry.get('Exec')!r}; it must start tintavo with the file")
        fails.check(entry.get("Icon") == APP_ID, f"Icon is {entry.get('Icon')!r}")
        listed = set(filter(None, entry.get("MimeType", "").split(";")))
        ns = {"m": "http://www.freedesktop.org/standards/shared-mime-info"}
        mime = ET.parse(os.path.join(usr, f"share/mime/packages/{APP_ID}.xml")).getroot()
        declared = {t.get("type"): {g.get("pattern") for g in t.findall("m:glob", ns)}
                    for t in mime.findall("m:mime-type", ns)}
        for mime_type in declared:
            fails.check(mime_type in listed, f"the desktop entry does not open {mime_type}")
        globbed = {p[2:] for patterns in declared.values() for p in patterns if p.startswith("*.")}
        types = cli_types(build_dir)
        fails.check(types["picture"] and types["lut"], "tintavo-cli-docs types listed nothing")
        for ext in sorted(types["lut"]):
            fails.check(ext in globbed or ext in GENERIC_EXTENSIONS,
                        f"LUT files *.{ext} (an output profile's extension) have no type in the MIME file")
        for ext in sorted(globbed):
            system_type = mime_type_of_extension(ext)
            fails.check(system_type is None or system_type in declared,
                        f"*.{ext} is {system_type} already; the package must not give it another type")
        for ext in sorted(types["picture"]):
            # The system's type, or the package's own where the system has none.
            mime_type = mime_type_of_extension(ext) or next(
                (t for t, patterns in declared.items() if f"*.{ext}" in patterns), None)
            fails.check(mime_type in listed, f"pictures *.{ext} ({mime_type}) are not in the desktop entry")

        # AppStream names the desktop entry, and its newest release is this version, as is the
        # changelog's.
        meta = ET.parse(os.path.join(usr, f"share/metainfo/{APP_ID}.metainfo.xml")).getroot()
        fails.check(meta.findtext("id") == APP_ID, f"the AppStream id is {meta.findtext('id')!r}")
        fails.check(meta.findtext("launchable") == f"{APP_ID}.desktop", "AppStream launches another entry")
        release = meta.find("releases/release")
        fails.check(release is not None and release.get("version") == version,
                    f"the newest AppStream release is not {version}")
        with gzip.open(os.path.join(usr, "share/doc/tintavo/changelog.gz"), "rt") as f:
            first = f.readline()
        fails.check(first.startswith(f"tintavo ({version})"), f"the changelog starts with {first.strip()!r}")
        copyright_text = open(os.path.join(usr, "share/doc/tintavo/copyright")).read()
        licence = open(os.path.join(source, "LICENSE")).read().splitlines()
        fails.check(all(l.strip() in copyright_text for l in licence[4:] if l.strip()),
                    "the copyright file does not hold the LICENSE text")

        # The completion file defines its function when bash reads it.
        completion = os.path.join(usr, "share/bash-completion/completions/tintavo-cli")
        out = run(["bash", "-c", f"source {completion} && complete -p tintavo-cli"])
        fails.check("_tintavo_cli" in out.stdout, f"the completion registers nothing: {out.stderr}")
    return fails.finish("package contents")


def unpacked_file(debdir, relative):
    root = tempfile.mkdtemp(prefix="tintavo-deb-")
    unpack(the_package(debdir), root)
    return root, os.path.join(root, relative)


def validate(tool, args_for, debdir, relative):
    if shutil.which(tool) is None:
        print(f"{tool} is not installed")
        return SKIP
    root, path = unpacked_file(debdir, relative) if relative else (None, the_package(debdir))
    try:
        result = run([tool] + args_for(path))
    finally:
        if root:
            shutil.rmtree(root)
    print(result.stdout + result.stderr)
    errors = [l for l in (result.stdout + result.stderr).splitlines() if re.search(r"^E: |: error: ", l)]
    if result.returncode != 0 or errors:
        print(f"FAIL {tool} reported errors (exit {result.returncode})")
        return 1
    return 0


def main():
    step, source, build_dir, debdir = sys.argv[1:5]
    if step == "build":
        return build(source, build_dir, debdir)
    if step == "contents":
        return contents(source, build_dir, debdir)
    if step == "desktop":
        return validate("desktop-file-validate", lambda p: [p], debdir,
                        f"usr/share/applications/{APP_ID}.desktop")
    if step == "appstream":
        return validate("appstreamcli", lambda p: ["validate", "--no-net", p], debdir,
                        f"usr/share/metainfo/{APP_ID}.metainfo.xml")
    if step == "lintian":
        return validate("lintian", lambda p: ["--tag-display-limit", "0", p], debdir, None)
    print(f"unknown step {step}")
    return 2


if __name__ == "__main__":
    sys.exit(main())

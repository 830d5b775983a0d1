#!/usr/bin/env python3
"""The plug-in run by runspx, a Susie host that nobody on this project wrote, as a viewer
runs it: its test mode on fixtures of every kind must end "End test." without a remark
("●"), and the pictures it saves must be those that our own host, spihost, delivers.

    check_runspx.py HOST PLUGIN BIN_DIR SOURCE_DIR WORK_DIR

HOST is runsph.exe or runspi.exe of ../shared/hosts/runspx (skipped, exit 77, when that
folder is absent); PLUGIN the built plug-in; BIN_DIR holds spihost.exe and
write_fixture_files.exe of the same build. Every Windows program runs through
cmake/wine-console.sh, which gives it the terminal that runspx needs under Wine.
"""
import os
import re
import shutil
import subprocess
import sys

ESCAPES = re.compile(r"\x1b\[[0-9;?]*[A-Za-z]|\r")
REMARK = "\u25cf"  # ●
# Pictures that are decoded once more with each input kind and with the ANSI exports only.
VARIANTS = ("-srcmem", "-srcdisk", "-ansi")


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Runner:
    def __init__(self, source_dir, bin_dir):
        self.console = os.path.join(source_dir, "cmake", "wine-console.sh")
        self.bin_dir = bin_dir
        # runspx writes its Japanese remarks through the terminal's character set.
        self.env = dict(os.environ, LC_ALL="C.UTF-8")

    def run(self, *args, timeout=600):
        done = subprocess.run([self.console] + list(args), cwd=self.bin_dir, env=self.env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout, check=False)
        text = ESCAPES.sub("", done.stdout.decode("utf-8", "replace"))
        return done.returncode, text


def main(argv):
    if len(argv) != 6:
        sys.exit(__doc__)
    host, plugin, bin_dir, source_dir, work = (os.path.abspath(a) for a in argv[1:])
    if not os.path.isfile(host):
        print(f"SKIPPED: the third-party host {host} is not there (../shared/hosts/runspx)")
        return 77
    runner = Runner(source_dir, bin_dir)
    shutil.rmtree(work, ignore_errors=True)
    files_dir = os.path.join(work, "files")
    os.makedirs(files_dir)

    code, text = runner.run("write_fixture_files.exe", windows_path(files_dir))
    if code != 0:
        print(f"write_fixture_files failed ({code}):\n{text}")
        return 1
    # The files made by independent tools, and the bundled sample.
    data = os.path.join(source_dir, "tests", "data")
    for name in sorted(os.listdir(data)):
        if name.endswith(".tif"):
            shutil.copy(os.path.join(data, name), files_dir)
    files = sorted(os.listdir(files_dir))
    failures = []

    # Test mode: every export, file and memory input, ANSI and wide; -tz adds a file of
    # no bytes, once.
    for i, name in enumerate(files):
        mode = "-tz" if name.startswith("sample") else "-t"
        code, text = runner.run(host, windows_path(plugin), windows_path(os.path.join(files_dir, name)), mode)
        remarks = [line.strip() for line in text.splitlines() if REMARK in line]
        ended = "End test." in text
        print(f"{mode} {name}: {'ended' if ended else 'DID NOT END'}, {len(remarks)} remarks")
        for r in remarks:
            print(f"    {r}")
        if remarks or not ended:
            failures.append(f"{mode} {name}")
            if not ended:
                print("    " + text.strip().replace("\n", "\n    "))

    # Saved pictures against our own host's, file by file and byte for byte.
    ours = os.path.join(work, "spihost")
    runner.run("spihost.exe", windows_path(plugin), "batch", windows_path(files_dir), windows_path(ours))
    theirs = os.path.join(work, "runspx")
    os.makedirs(theirs)
    decoded = []
    for name in files:
        stem = os.path.splitext(name)[0]
        expected = os.path.join(ours, stem + ".bmp")
        runs = [("", stem + ".bmp")]
        if name.startswith("sample") or name.startswith("palette4") or name.startswith("rgba8-"):
            runs += [(v, f"{stem}{v}.bmp") for v in VARIANTS]
        for option, out in runs:
            path = os.path.join(theirs, out)
            args = [host, windows_path(plugin), windows_path(os.path.join(files_dir, name)), "-b", windows_path(path)]
            code, text = runner.run(*(args + ([option] if option else [])))
            label = f"-b {option} {name}".replace("  ", " ")
            if not os.path.exists(expected):
                # spihost could not decode it: neither may runspx have a picture of it.
                if os.path.exists(path):
                    failures.append(f"{label}: a picture where spihost has none")
                continue
            if not os.path.exists(path):
                failures.append(f"{label}: no picture ({text.strip()})")
                continue
            with open(expected, "rb") as a, open(path, "rb") as b:
                if a.read() != b.read():
                    failures.append(f"{label}: the picture differs from spihost's")
                    continue
            decoded.append(label)
    print(f"-b: {len(decoded)} pictures identical to spihost's")
    if not decoded:
        failures.append("no picture decoded at all")

    for f in failures:
        print(f"FAILED: {f}")
    print(f"runspx: {len(files)} files, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

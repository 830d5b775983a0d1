#!/usr/bin/env python3
"""Runs the 32-bit build's programs under CPU emulation, where the machine cannot run
32-bit code itself.

    emulated_x86.py test BUILD_DIR PREFIX [NAME...]   the tests of the plan BUILD_DIR/emulated-plan.json
                                                      (all, or the entries named)
    emulated_x86.py stage BUILD_DIR PREFIX            as test, for CTest's set-up: fails only when the
                                                      stage could not run; each entry's outcome is
                                                      then a test of its own:
    emulated_x86.py result BUILD_DIR NAME             prints the outcome of entry NAME of the last
                                                      stage; exit 0 passed, 1 failed, 77 skipped
    emulated_x86.py run BUILD_DIR PREFIX -- PROGRAM [ARGS...]   one program, its output passed through

qemu-i386 serves 32-bit programs through a binfmt_misc registration made inside a user
namespace of this process's own (Linux 6.7 and later give each one its own binfmt_misc),
so nothing on the machine changes and nothing needs undoing. Wine's 32-bit loader then runs
in PREFIX, a prefix made by that loader itself.

Emulated programs run many times slower than native ones, and qemu 7 died or hung in
many-threaded runs (qemu 10, which build.sh installs, has not so far). So each test program
runs as one process writing GoogleTest's report; when the emulator dies or no test has
finished for several minutes, the program starts again after the tests already finished,
a bounded number of times. A test during which the emulator dies twice fails, unless
exceeds-emulator.txt lists it.
"""
import hashlib
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import xml.etree.ElementTree as ET
from dataclasses import dataclass, field

HERE = os.path.dirname(os.path.abspath(__file__))
LOADER = "/usr/lib/wine/wine"
WINESERVER = "/usr/lib/wine/wineserver"
QEMU = "/usr/bin/qemu-i386-static"
# The usual registration of 32-bit x86 ELF programs; binfmt_misc decodes the escapes.
BINFMT_I386 = (r":qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00"
               r":\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff"
               f":{QEMU}:F")
MAX_RESTARTS = 6    # per program
IDLE_SECONDS = 180  # no processor time used for this long: hung


def log(message):
    print(message, flush=True)


def native_32bit():
    try:
        return subprocess.run([LOADER, "--version"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
    except OSError:
        return False


def reexec(unshare_args, stage):
    env = dict(os.environ, QUORVEL_EMULATION_STAGE=stage)
    argv = ["unshare", "--user"] + unshare_args + [sys.executable, os.path.abspath(__file__)] + sys.argv[1:]
    os.execvpe("unshare", argv, env)


def enter_private_emulation():
    """Re-runs this script inside a user namespace where qemu-i386 serves 32-bit programs."""
    stage = os.environ.get("QUORVEL_EMULATION_STAGE", "")
    if not stage:
        if native_32bit():
            return
        if not os.path.exists(QEMU):
            sys.exit(f"emulated_x86.py: {QEMU} is missing (package qemu-user-static)")
        os.environ["QUORVEL_OUTER_IDS"] = f"{os.getuid()}:{os.getgid()}"
        # Only the namespace's root may register; it is the caller's own user outside.
        reexec(["--map-root-user", "--mount"], "register")
    if stage == "register":
        subprocess.run(["mount", "-t", "binfmt_misc", "binfmt_misc", "/proc/sys/fs/binfmt_misc"], check=True)
        with open("/proc/sys/fs/binfmt_misc/register", "w") as f:
            f.write(BINFMT_I386)
        uid, gid = os.environ["QUORVEL_OUTER_IDS"].split(":")
        if uid != "0":
            # Back to the caller's own user id (the registration serves nested namespaces
            # too), so that Wine finds its prefix and server folder owned by the same user
            # as outside.
            reexec([f"--map-user={uid}", f"--map-group={gid}"], "ready")
    if not native_32bit():
        sys.exit("emulated_x86.py: Wine's 32-bit loader does not start even under qemu-i386")


def wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Wine:
    """Wine's 32-bit loader in one prefix, with a persistent server."""

    def __init__(self, prefix):
        self.prefix = os.path.abspath(prefix)
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=d",
                        WINELOADER=LOADER,
                        # Keeps the emulated C library able to load its unwinder when a thread ends.
                        QEMU_SET_ENV="LD_PRELOAD=/lib/i386-linux-gnu/libgcc_s.so.1")

    def quiet(self, *args, timeout=900):
        subprocess.run(list(args), env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       stdin=subprocess.DEVNULL, timeout=timeout, check=False)

    def prepare(self):
        marker = os.path.join(self.prefix, ".quorvel-setup")
        if not os.path.exists(os.path.join(self.prefix, "system.reg")):
            log(f"== creating the emulated Wine prefix {self.prefix} (under a minute)")
            os.makedirs(self.prefix, exist_ok=True)
            self.quiet(LOADER, "wineboot", "-i")
            self.quiet(WINESERVER, "-w")
        settings = os.path.join(HERE, "wine-prefix.reg")
        with open(settings, "rb") as f:
            stamp = hashlib.md5(f.read()).hexdigest()
        current = open(marker).read().strip() if os.path.exists(marker) else ""
        if current != stamp:
            self.quiet(LOADER, "reg", "import", wine_path(settings))
            self.quiet(WINESERVER, "-w")
            with open(marker, "w") as f:
                f.write(stamp + "\n")

    def start_server(self):
        self.quiet(WINESERVER, "-k", timeout=60)
        self.quiet(WINESERVER, "-p", timeout=60)

    def stop_server(self):
        self.quiet(WINESERVER, "-k", timeout=60)


@dataclass
class Outcome:
    status: str          # passed, failed, skipped
    message: str = ""


@dataclass
class Tally:
    results: dict = field(default_factory=dict)  # test name -> Outcome
    restarts: int = 0


def load_known(path):
    """Tests known to exceed the emulator: name -> reason (the comment above it)."""
    known, reason = {}, ""
    for line in open(path, encoding="utf-8"):
        line = line.strip()
        if line.startswith("#"):
            reason = (reason + " " + line.lstrip("# ")).strip()
        elif line:
            known[line] = reason
        else:
            reason = ""
    return known


RUN = re.compile(r"^\[ RUN      \] (\S+)")
ENDED = re.compile(r"^\[ +(OK|FAILED|SKIPPED) +\] (\S+) \(\d+ ms\)")


def progress(text):
    """Finished tests and the test left running, read from GoogleTest's console output."""
    finished, running = {}, None
    for line in text.splitlines():
        line = line.rstrip("\r")
        m = RUN.match(line)
        if m:
            running = m.group(1)
            continue
        m = ENDED.match(line)
        if m:
            finished[m.group(2)] = {"OK": "passed", "FAILED": "failed", "SKIPPED": "skipped"}[m.group(1)]
            running = None
    return finished, running


def read_report(path):
    """GoogleTest's XML report: name -> Outcome; None when the program did not write it."""
    try:
        root = ET.parse(path).getroot()
    except (OSError, ET.ParseError):
        return None
    results = {}
    for case in root.iter("testcase"):
        name = f"{case.get('classname')}.{case.get('name')}"
        failure = case.find("failure")
        skipped = case.find("skipped")
        if failure is not None:
            results[name] = Outcome("failed", failure.get("message", "").strip())
        elif skipped is not None or case.get("result") == "skipped":
            # GoogleTest puts the file and line first, on a line of their own.
            message = (skipped.get("message", "") if skipped is not None else "").strip()
            results[name] = Outcome("skipped", message.split("\n", 1)[-1].strip())
        elif case.get("status") == "run":
            results[name] = Outcome("passed")
    return results


def read_text(path):
    with open(path, "rb") as f:
        return f.read().decode("utf-8", "replace")


def group_cpu_seconds(pgid):
    """Processor time used so far by the processes of a process group."""
    ticks = 0
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        if int(fields[2]) == pgid:  # pgrp
            ticks += int(fields[11]) + int(fields[12])  # utime, stime
    return ticks / os.sysconf("SC_CLK_TCK")


def run_supervised(wine, command, cwd, env_extra, log_path, silence, finished_count):
    """Runs command with output to log_path. Ends it when finished_count(output) stays the
    same for silence seconds, or when its processes use no processor time for idle
    seconds (a hung emulated program cannot be trusted to time itself out). Returns (exit
    code, or None when the watchdog ended it; the output)."""
    env = dict(wine.env)
    env.update(env_extra)
    with open(log_path, "wb") as out:
        proc = subprocess.Popen(command, cwd=cwd, env=env, stdout=out, stderr=subprocess.STDOUT,
                                stdin=subprocess.DEVNULL, start_new_session=True)
    now = time.monotonic()
    last_count, last_change = -1, now
    last_cpu, last_busy = -1.0, now
    while True:
        try:
            code = proc.wait(timeout=5)
            break
        except subprocess.TimeoutExpired:
            pass
        now = time.monotonic()
        count = finished_count(read_text(log_path))
        if count != last_count:
            last_count, last_change = count, now
        cpu = group_cpu_seconds(proc.pid)
        if cpu > last_cpu + 0.5:
            last_cpu, last_busy = cpu, now
        if now - last_change > silence or now - last_busy > IDLE_SECONDS:
            try:
                os.killpg(proc.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            proc.wait()
            code = None
            break
    return code, read_text(log_path)


def split_filter(args):
    """The entry's own --gtest_filter as (positive, negative lists) and the other arguments."""
    positive, negative, rest = "*", [], []
    for a in args:
        if a.startswith("--gtest_filter="):
            pattern = a[len("--gtest_filter="):]
            positive, _, neg = pattern.partition("-")
            positive = positive or "*"
            negative = [n for n in neg.split(":") if n]
        else:
            rest.append(a)
    return positive, negative, rest


def entry_env_and_file_name(entry):
    """The entry's extra environment, and its name made fit for file names."""
    return dict(e.split("=", 1) for e in entry["env"]), re.sub(r"[^A-Za-z0-9_.-]", "_", entry["name"])


def run_gtest(wine, entry, bin_dir, out_dir, known):
    tally = Tally()
    positive, negative, rest = split_filter(entry["args"])
    env, safe = entry_env_and_file_name(entry)
    deaths = {}
    for round_no in range(MAX_RESTARTS + 1):
        done = list(tally.results)
        pattern = positive + ("-" + ":".join(negative + done) if negative or done else "")
        report = os.path.join(out_dir, f"{safe}.{round_no}.xml")
        log_path = os.path.join(out_dir, f"{safe}.{round_no}.log")
        if os.path.exists(report):
            os.remove(report)
        command = [LOADER, entry["program"], f"--gtest_filter={pattern}", f"--gtest_output=xml:{wine_path(report)}"] + rest
        code, text = run_supervised(wine, command, bin_dir, env, log_path, entry["silence_minutes"] * 60,
                                    lambda t: len(progress(t)[0]))
        results = read_report(report) if code is not None else None
        if results is not None:
            tally.results.update(results)
            return tally
        # The emulator died or hung: keep what finished, blame the test left running.
        finished, running = progress(text)
        for name, status in finished.items():
            tally.results[name] = Outcome(status, "" if status != "failed" else f"see {log_path}")
        how = "hung" if code is None else f"died ({code})"
        tally.restarts += 1
        if running:
            deaths[running] = deaths.get(running, 0) + 1
            log(f"   {entry['name']}: the emulator {how} during {running}; starting again after it")
            if running in known:
                tally.results[running] = Outcome("skipped", f"exceeds the emulator ({known[running]}); runs in the 64-bit build")
            elif deaths[running] >= 2:
                tally.results[running] = Outcome("failed", f"the emulator {how} twice during this test ({log_path})")
        else:
            log(f"   {entry['name']}: the emulator {how} between tests; starting again")
        wine.start_server()
    tally.results[entry["name"]] = Outcome("failed", f"gave up after {MAX_RESTARTS} restarts")
    return tally


def run_program(wine, entry, bin_dir, out_dir, known):
    tally = Tally()
    env, safe = entry_env_and_file_name(entry)
    for round_no in range(2):
        log_path = os.path.join(out_dir, f"{safe}.{round_no}.log")
        command = [LOADER, entry["program"]] + entry["args"]
        code, text = run_supervised(wine, command, bin_dir, env, log_path, entry["silence_minutes"] * 60, len)
        passed = bool(entry["pass"]) and re.search(entry["pass"], text) is not None
        failed = bool(entry["fail"]) and re.search(entry["fail"], text) is not None
        # A signal, the emulator's own report, Wine's lost connection to its server, or a
        # program that ended without its closing line.
        emulator_died = code is None or code < 0 or "qemu: uncaught target signal" in text or \
            "wine client error" in text or (bool(entry["pass"]) and not passed and not failed)
        if not emulator_died:
            ok = code == 0 and (passed or not entry["pass"]) and not failed
            tally.results[entry["name"]] = Outcome("passed" if ok else "failed", "" if ok else f"exit code {code}, see {log_path}")
            return tally
        tally.restarts += 1
        wine.start_server()
        how = "hung" if code is None else "died"
        if entry["name"] in known:
            log(f"   {entry['name']}: the emulator {how}; listed as exceeding it")
            break
        log(f"   {entry['name']}: the emulator {how}; starting it again")
    if entry["name"] in known:
        tally.results[entry["name"]] = Outcome("skipped", f"exceeds the emulator ({known[entry['name']]})")
    else:
        tally.results[entry["name"]] = Outcome("failed", f"the emulator died twice ({out_dir})")
    return tally


def run_host(wine, entry, bin_dir, out_dir, known):
    """A program of the build machine itself, in the emulated prefix's environment (it may
    start emulated Windows programs of its own); exit 77 is a skip."""
    env, _ = entry_env_and_file_name(entry)
    done = subprocess.run([entry["program"]] + entry["args"], cwd=bin_dir, env=dict(wine.env, **env),
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, check=False)
    text = done.stdout.decode("utf-8", "replace")
    if done.returncode == 77:
        return Tally({entry["name"]: Outcome("skipped", text.strip().splitlines()[-1] if text.strip() else "")})
    ok = done.returncode == 0
    return Tally({entry["name"]: Outcome("passed" if ok else "failed", "" if ok else text)})


def test(build_dir, prefix, names):
    started = time.monotonic()
    bin_dir = os.path.join(build_dir, "bin")
    out_dir = os.path.join(build_dir, "emulated")
    shutil.rmtree(out_dir, ignore_errors=True)
    os.makedirs(out_dir)
    with open(os.path.join(build_dir, "emulated-plan.json")) as f:
        plan = [e for e in json.load(f) if not names or e["name"] in names]
    known = load_known(os.path.join(HERE, "exceeds-emulator.txt"))
    wine = Wine(prefix)
    wine.prepare()
    wine.start_server()
    totals = {"passed": 0, "failed": 0, "skipped": 0}
    skips, failures, restarts = [], [], 0
    entries = {}
    runners = {"gtest": run_gtest, "program": run_program, "host": run_host}
    for entry in plan:
        t0 = time.monotonic()
        if entry["display"] and not os.environ.get("DISPLAY"):
            tally = Tally({entry["name"]: Outcome("skipped", "no X display")})
        else:
            log(f"== x86 (emulated): {entry['name']}")
            tally = runners[entry["kind"]](wine, entry, bin_dir, out_dir, known)
        counts = {"passed": 0, "failed": 0, "skipped": 0}
        entries[entry["name"]] = {n: [o.status, o.message] for n, o in tally.results.items()}
        for test_name, outcome in tally.results.items():
            counts[outcome.status] += 1
            if outcome.status == "skipped":
                skips.append(f"{test_name}: {outcome.message}")
            elif outcome.status == "failed":
                failures.append(f"{test_name}: {outcome.message}")
        restarts += tally.restarts
        for k in totals:
            totals[k] += counts[k]
        log(f"   {counts['passed']} passed, {counts['failed']} failed, {counts['skipped']} skipped"
            f" ({tally.restarts} restarts, {(time.monotonic() - t0) / 60:.1f} min)")
    wine.stop_server()
    minutes = (time.monotonic() - started) / 60
    note = f"emulated, {restarts} restarts, {minutes:.0f} min"
    with open(os.path.join(out_dir, "results.json"), "w") as f:
        json.dump({"counts": totals, "skips": skips, "failures": failures, "note": note}, f, indent=1)
    with open(os.path.join(out_dir, "entries.json"), "w") as f:
        json.dump(entries, f, indent=1)
    log(f"x86 (emulated) stage: {totals['passed']} passed, {totals['failed']} failed, {totals['skipped']} skipped"
        f" in {minutes:.0f} min, {restarts} restarts; results in {out_dir}")
    return 1 if totals["failed"] or not totals["passed"] else 0


def result(build_dir, name):
    """One entry's outcome in the last stage, as CTest shows a test's."""
    try:
        with open(os.path.join(build_dir, "emulated", "entries.json")) as f:
            entries = json.load(f)
    except (OSError, ValueError):
        print("the emulated stage left no results (see the test x86.emulated_stage)")
        return 1
    if name not in entries:
        print("the emulated stage did not run this entry")
        return 1
    counts = {"passed": 0, "failed": 0, "skipped": 0}
    for test_name, (status, message) in sorted(entries[name].items()):
        counts[status] += 1
        print(f"{status}: {test_name}")
        if status != "passed" and message:
            print("    " + message.replace("\n", "\n    "))
    print(f"{counts['passed']} passed, {counts['failed']} failed, {counts['skipped']} skipped under emulation")
    if counts["failed"]:
        return 1
    return 0 if counts["passed"] else 77


def run(build_dir, prefix, command):
    wine = Wine(prefix)
    wine.prepare()
    wine.start_server()
    try:
        return subprocess.run([LOADER] + command, cwd=os.path.join(build_dir, "bin"), env=wine.env,
                              stdin=subprocess.DEVNULL, check=False).returncode
    finally:
        wine.stop_server()


def main(argv):
    if len(argv) < 4 or argv[1] not in ("test", "stage", "result", "run") or \
            (argv[1] == "run" and (len(argv) < 6 or argv[4] != "--")):
        sys.exit(__doc__)
    if argv[1] == "result":
        return result(os.path.abspath(argv[2]), argv[3])
    enter_private_emulation()
    build_dir, prefix = os.path.abspath(argv[2]), os.path.abspath(argv[3])
    if argv[1] == "test":
        return test(build_dir, prefix, argv[4:])
    if argv[1] == "stage":
        test(build_dir, prefix, [])
        # Failures are reported by the entries' own tests; the stage fails only when it left
        # no results at all.
        return 0 if os.path.exists(os.path.join(build_dir, "emulated", "entries.json")) else 1
    return run(build_dir, prefix, argv[5:])


if __name__ == "__main__":
    sys.exit(main(sys.argv))

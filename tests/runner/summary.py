#!/usr/bin/env python3
"""The closing lines of a test run: skips with their reasons, then one line per build and
the total.

    summary.py LABEL=REPORT [LABEL=REPORT ...]

REPORT is CTest's JUnit report (ctest --output-junit) or the results file of
emulated_x86.py (results.json). Where the report shows the emulated 32-bit stage, the
stage's own results (one line per GoogleTest test, not per program) stand for its entries.
"""
import json
import os
import re
import sys
import xml.etree.ElementTree as ET

SKIP_REASON = re.compile(r"Skipped\r?\n([^\r\n]+)")
# Set-up and clean-up of the test session: counted only when they fail.
SESSION = ("wine.session_start", "wine.session_stop", "x86.emulated_stage")
# Tests of the whole checkout rather than of a build: never part of the emulated stage.
OUTSIDE_STAGE = "setup."


def count(case, report):
    name = case.get("name")
    out = case.findtext("system-out") or ""
    skipped = case.find("skipped")
    failed = case.find("failure") is not None or case.get("status") == "fail"
    if name in SESSION and not failed:
        return
    if failed:
        report["counts"]["failed"] += 1
        report["failures"].append(name)
    elif skipped is not None or case.get("status") in ("notrun", "disabled"):
        report["counts"]["skipped"] += 1
        m = SKIP_REASON.search(out)
        reason = m.group(1).strip() if m else (skipped.get("message", "") if skipped is not None else "")
        report["skips"].append(f"{name}: {reason}")
    else:
        report["counts"]["passed"] += 1


def from_junit(path):
    cases = list(ET.parse(path).getroot().iter("testcase"))
    stage = os.path.join(os.path.dirname(path), "emulated", "results.json")
    if any(c.get("name") == "x86.emulated_stage" for c in cases) and os.path.exists(stage):
        report = json.load(open(stage))
        for case in cases:
            if case.get("name") in SESSION or case.get("name", "").startswith(OUTSIDE_STAGE):
                count(case, report)
        return report
    report = {"counts": {"passed": 0, "failed": 0, "skipped": 0}, "skips": [], "failures": [], "note": ""}
    for case in cases:
        count(case, report)
    return report


def main(argv):
    if len(argv) < 2 or any("=" not in a for a in argv[1:]):
        sys.exit(__doc__)
    builds = []
    for arg in argv[1:]:
        label, path = arg.split("=", 1)
        try:
            report = json.load(open(path)) if path.endswith(".json") else from_junit(path)
        except (OSError, ValueError, ET.ParseError):
            report = {"counts": {"passed": 0, "failed": 1, "skipped": 0}, "skips": [],
                      "failures": [f"no test report ({path})"], "note": ""}
        builds.append((label, report))
    total = {"passed": 0, "failed": 0, "skipped": 0}
    print()
    for label, report in builds:
        for s in report["skips"]:
            print(f"{label} skipped: {s}")
    for label, report in builds:
        for f in report["failures"]:
            print(f"{label} FAILED: {f}")
    for label, report in builds:
        c = report["counts"]
        note = f" ({report['note']})" if report["note"] else ""
        print(f"{label}: {c['passed']} passed, {c['failed']} failed, {c['skipped']} skipped{note}")
        for k in total:
            total[k] += c[k]
    print(f"total: {total['passed']} passed, {total['failed']} failed, {total['skipped']} skipped")
    return 1 if total["failed"] or not total["passed"] else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

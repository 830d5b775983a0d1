#!/usr/bin/env python3
"""The emulated stage's restart rules, checked against a stand-in test program that dies,
hangs or fails where told (no emulator or Wine needed)."""
import json
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import emulated_x86 as stage  # noqa: E402

TESTS = ["A.one", "A.two", "B.three", "B.four", "B.five"]

# A GoogleTest program in miniature: honours --gtest_filter (positive-negative), prints
# GoogleTest's progress lines and writes its XML report unless it dies or hangs first.
# FAKE_PLAN says what happens in which test: {"die": {"B.three": 1}} dies the first time.
FAKE_PROGRAM = r'''
import fnmatch, json, os, sys, time
plan = json.loads(os.environ["FAKE_PLAN"])
state_path = os.environ["FAKE_STATE"]
state = json.load(open(state_path)) if os.path.exists(state_path) else {"ran": [], "starts": 0}
state["starts"] += 1
pattern = report = ""
for a in sys.argv[1:]:
    if a.startswith("--gtest_filter="): pattern = a.split("=", 1)[1]
    if a.startswith("--gtest_output=xml:"): report = a.split(":", 1)[1][2:].replace("\\", "/")
pos, _, neg = pattern.partition("-")
match = lambda n, pats: any(fnmatch.fnmatch(n, p) for p in pats.split(":") if p)
tests = [t for t in json.loads(os.environ["FAKE_TESTS"]) if match(t, pos or "*") and not match(t, neg)]
def save(): json.dump(state, open(state_path, "w"))
if plan.get("die_at_start", 0) >= state["starts"]:
    save(); os.kill(os.getpid(), 11)
cases = []
for t in tests:
    print(f"[ RUN      ] {t}", flush=True)
    state["ran"].append(t); save()
    deaths = state.setdefault("deaths", {})
    if plan.get("die", {}).get(t, 0) > deaths.get(t, 0):
        deaths[t] = deaths.get(t, 0) + 1; save(); os.kill(os.getpid(), 11)
    if t in plan.get("hang", []) and state["ran"].count(t) == 1:
        time.sleep(60)
    if t in plan.get("spin", []) and state["ran"].count(t) == 1:
        end = time.time() + 60
        while time.time() < end: pass
    status = "FAILED" if t in plan.get("fail", []) else "OK"
    print(("[  FAILED  ] " if status == "FAILED" else "[       OK ] ") + f"{t} (0 ms)", flush=True)
    suite, name = t.split(".")
    body = '<failure message="expected 1"/>' if status == "FAILED" else ""
    cases.append(f'<testcase name="{name}" classname="{suite}" status="run" result="completed">{body}</testcase>')
open(report, "w").write("<testsuites><testsuite>" + "".join(cases) + "</testsuite></testsuites>")
'''


class FakeWine:
    def __init__(self):
        self.env = dict(os.environ)
        self.server_starts = 0

    def start_server(self):
        self.server_starts += 1


class Sandbox(unittest.TestCase):
    """A temporary folder with the stand-in program, and the stage run without Wine."""

    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.program = os.path.join(self.dir.name, "fake.py")
        with open(self.program, "w") as f:
            f.write(FAKE_PROGRAM)
        self.state = os.path.join(self.dir.name, "state.json")
        self.old = stage.LOADER, stage.IDLE_SECONDS
        stage.LOADER = sys.executable
        stage.wine_path = lambda p: "Z:" + p.replace("/", "\\")

    def tearDown(self):
        stage.LOADER, stage.IDLE_SECONDS = self.old
        self.dir.cleanup()


class RestartRules(Sandbox):
    def run_plan(self, plan, known=None, args=(), silence_minutes=1):
        entry = {"name": "fake", "program": self.program, "args": list(args), "silence_minutes": silence_minutes,
                 "env": [f"FAKE_PLAN={json.dumps(plan)}", f"FAKE_STATE={self.state}", f"FAKE_TESTS={json.dumps(TESTS)}"]}
        tally = stage.run_gtest(FakeWine(), entry, self.dir.name, self.dir.name, known or {})
        with open(self.state) as f:
            ran = json.load(f)["ran"]
        return {n: o.status for n, o in tally.results.items()}, tally, ran

    def test_a_death_restarts_after_the_finished_tests_and_runs_the_rest_once(self):
        results, tally, ran = self.run_plan({"die": {"B.three": 1}})
        self.assertEqual(results, {t: "passed" for t in TESTS})
        self.assertEqual(tally.restarts, 1)
        self.assertEqual(ran, TESTS[:3] + TESTS[2:], "only the test left running is run again")

    def test_a_test_the_emulator_dies_in_twice_fails_and_the_others_still_run(self):
        results, tally, _ = self.run_plan({"die": {"A.two": 2}})
        self.assertEqual(results.pop("A.two"), "failed")
        self.assertEqual(set(results.values()), {"passed"})
        self.assertEqual(len(results), 4)
        self.assertEqual(tally.restarts, 2)

    def test_a_listed_test_is_skipped_with_its_reason_after_one_death(self):
        results, tally, _ = self.run_plan({"die": {"B.four": 5}}, known={"B.four": "eight threads at once"})
        self.assertEqual(results.pop("B.four"), "skipped")
        self.assertEqual(set(results.values()), {"passed"})
        self.assertEqual(tally.restarts, 1)

    def test_a_failed_check_fails_without_a_restart(self):
        results, tally, _ = self.run_plan({"fail": ["B.five"]})
        self.assertEqual(results["B.five"], "failed")
        self.assertEqual(tally.restarts, 0)

    def test_hangs_are_ended_by_the_watchdog_and_the_test_tried_again(self):
        # Busy but finishing no test for too long, and using no processor time at all.
        for plan, silence, idle in (({"spin": ["A.one"]}, 0.05, 60), ({"hang": ["A.one"]}, 1, 6)):
            with self.subTest(plan=plan):
                if os.path.exists(self.state):
                    os.remove(self.state)
                stage.IDLE_SECONDS = idle
                results, tally, ran = self.run_plan(plan, silence_minutes=silence)
                self.assertEqual(results, {t: "passed" for t in TESTS})
                self.assertEqual(tally.restarts, 1)
                self.assertEqual(ran.count("A.one"), 2)

    def test_the_entrys_own_filter_is_kept_across_restarts(self):
        results, _, ran = self.run_plan({"die": {"B.four": 1}}, args=["--gtest_filter=B.*-B.five"])
        self.assertEqual(results, {"B.three": "passed", "B.four": "passed"})
        self.assertNotIn("B.five", ran)

    def test_a_program_that_never_gets_going_is_given_up_on(self):
        results, tally, _ = self.run_plan({"die_at_start": 100})
        self.assertEqual(results, {"fake": "failed"})
        self.assertEqual(tally.restarts, stage.MAX_RESTARTS + 1)


# A program entry in miniature: FAKE_OUTCOME says how each start ends, one word a start.
FAKE_STRESS = r'''
import json, os, sys
state_path = os.environ["FAKE_STATE"]
starts = json.load(open(state_path)) + 1 if os.path.exists(state_path) else 1
json.dump(starts, open(state_path, "w"))
outcome = os.environ["FAKE_OUTCOME"].split()[min(starts, len(os.environ["FAKE_OUTCOME"].split())) - 1]
print("Quorvel stress", flush=True)
if outcome == "die": os.kill(os.getpid(), 11)
if outcome == "silent": sys.exit(3)
print("all passes held" if outcome == "pass" else "FAILED")
sys.exit(0 if outcome == "pass" else 1)
'''


class ProgramEntries(Sandbox):
    def run_program(self, outcomes, known=None):
        program = os.path.join(self.dir.name, "stress.py")
        with open(program, "w") as f:
            f.write(FAKE_STRESS)
        entry = {"name": "stress.x", "program": program, "args": [], "silence_minutes": 1, "pass": "all passes held",
                 "fail": "FAILED", "env": [f"FAKE_STATE={self.state}", f"FAKE_OUTCOME={outcomes}"]}
        tally = stage.run_program(FakeWine(), entry, self.dir.name, self.dir.name, known or {})
        with open(self.state) as f:
            return tally.results["stress.x"].status, json.load(f)

    def test_deaths_failures_and_listed_programs(self):
        cases = [
            ("die pass", None, "passed", 2),       # the emulator died once
            ("silent pass", None, "passed", 2),    # ended without its closing line: died
            ("die die", None, "failed", 2),        # died twice
            ("fail pass", None, "failed", 1),      # its own check failed: no second start
            ("die pass", {"stress.x": "threads"}, "skipped", 1),  # listed: one death is enough
        ]
        for outcomes, known, status, starts in cases:
            with self.subTest(outcomes=outcomes, known=known):
                if os.path.exists(self.state):
                    os.remove(self.state)
                self.assertEqual(self.run_program(outcomes, known), (status, starts))


class KnownList(unittest.TestCase):
    def test_each_name_takes_the_comment_above_it(self):
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
            f.write("# About this file.\n\n# Eight threads;\n# the emulator dies.\nA.one\n\nB.two\n")
        try:
            self.assertEqual(stage.load_known(f.name), {"A.one": "Eight threads; the emulator dies.", "B.two": ""})
        finally:
            os.remove(f.name)


if __name__ == "__main__":
    unittest.main()

#!/usr/bin/env python3
"""A clerk's session killed at random moments, then recovered by the next host.

Each round starts dalmure-host in a fresh application folder, adds annotations, opens their
notes and types into them at random, and kills the host with SIGKILL at a random moment (often
in the middle of a request). A new host in the same folder then lists the session left behind,
recovers it and reads the list back: every change and every character acknowledged before the
kill must be there, in its annotation; of the request under way at the kill, any prefix may be.

    journal-kill.py DALMURE_HOST [KILLS] [SEED]

What the journal itself keeps under kills at any change is proven by dalmure_journal_kill_test;
this one proves that what the host acknowledged to its caller is what comes back.

Prints the totals; exits 1 at the first loss.
"""
import json
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HOST = sys.argv[1]
# DALMURE_TEST_STEPS scales the kills as it scales the steps of the randomized unit tests.
KILLS = max(1, (int(sys.argv[2]) if len(sys.argv) > 2 else 100) *
            int(os.environ.get("DALMURE_TEST_STEPS") or 100) // 100)
SEED = int(sys.argv[3]) if len(sys.argv) > 3 else 20261206
LETTERS = "abcdefghijklmnopqrstuvwxyz   "


class Host:
    def __init__(self, folder):
        self.p = subprocess.Popen([HOST, "--app-dir", folder, "--platform", "headless"],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL, text=True, bufsize=1)

    def send(self, request):
        self.p.stdin.write(json.dumps(request) + "\n")
        self.p.stdin.flush()

    def reply(self):
        while True:
            line = self.p.stdout.readline()
            if not line:
                raise RuntimeError("the host ended")
            message = json.loads(line)
            if "ok" in message:
                return message

    def call(self, name, *args):
        self.send({"op": "call", "name": name, "args": list(args)})
        r = self.reply()
        if not r["ok"]:
            raise RuntimeError(f"{name}: {r}")
        return r["result"]

    def end(self):
        self.p.stdin.close()
        self.p.wait(timeout=30)


def main():
    rng = random.Random(SEED)
    totals = {"kills": 0, "acknowledged": 0, "characters": 0, "in_flight_kept": 0}
    for round_ in range(KILLS):
        folder = tempfile.mkdtemp(prefix="dalmure-journal-kill-")
        try:
            host = Host(folder)
            model = []  # [time, description, notes]
            open_ = None
            used_times = set()
            steps = rng.randint(1, 40)
            in_flight = None
            for step in range(steps + 1):
                kind = rng.random()
                if not model or kind < 0.25:
                    while True:
                        t = f"{rng.randint(8, 17):02d}:{rng.randint(0, 59):02d}:{rng.randint(0, 59):02d}"
                        if t not in used_times:
                            break
                    used_times.add(t)
                    desc = "A" + str(len(used_times))
                    op = ("add", t, desc)
                    request = {"op": "call", "name": "AnnoAdd", "args": [t, desc]}
                elif kind < 0.45:
                    k = rng.randrange(len(model))
                    op = ("click", k)
                    request = {"op": "click", "row": 2 * k + 1, "col": 1}
                else:
                    text = "".join(rng.choice(LETTERS) for _ in range(rng.randint(1, 12)))
                    op = ("type", text)
                    request = {"op": "type", "text": text}
                host.send(request)
                if step == steps:
                    # Killed while this request is under way (or just after).
                    time.sleep(rng.random() * 0.004)
                    host.p.send_signal(signal.SIGKILL)
                    host.p.wait()
                    in_flight = op
                    break
                host.reply()
                totals["acknowledged"] += 1
                if op[0] == "add":
                    ordered = sorted([m[0] for m in model] + [op[1]])
                    at = ordered.index(op[1])
                    model.insert(at, [op[1], op[2], ""])
                    open_ = at
                elif op[0] == "click":
                    open_ = op[1]
                elif open_ is not None:
                    model[open_][2] += op[1]
                    totals["characters"] += len(op[1])
            totals["kills"] += 1

            after = Host(folder)
            found = after.call("RecoverableSessions")
            if model and len(found) != 1:
                raise SystemExit(f"round {round_}: {len(found)} sessions to recover: {found}")
            if found:
                if not after.call("RecoverSession", found[0]["id"]):
                    raise SystemExit(f"round {round_}: the recovery failed")
            got = []
            for k in range(after.call("AnnoCount") if found else 0):
                got.append([after.call("AnnoTime", k), after.call("AnnoDesc", k),
                            after.call("AnnoData", k)])
            if got == [["", "", ""]]:
                got = []
            after.end()
            if not matches(model, open_, in_flight, got):
                raise SystemExit(f"round {round_}: lost\n expected {model} (+ {in_flight})\n"
                                 f" recovered {got}")
            if got != model:
                totals["in_flight_kept"] += 1
        finally:
            shutil.rmtree(folder, ignore_errors=True)
    print(json.dumps(totals))


def matches(model, open_, in_flight, got):
    if got == model:
        return True
    kind = in_flight[0]
    if kind == "add":
        t, desc = in_flight[1], in_flight[2]
        ordered = sorted([m[0] for m in model] + [t])
        expected = [list(m) for m in model]
        expected.insert(ordered.index(t), [t, desc, ""])
        return got == expected
    if kind == "type" and open_ is not None:
        text = in_flight[1]
        for j in range(1, len(text) + 1):
            expected = [list(m) for m in model]
            expected[open_][2] += text[:j]
            if got == expected:
                return True
    return False


if __name__ == "__main__":
    main()

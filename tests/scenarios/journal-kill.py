#!/usr/bin/env python3
"""dalmure-host adding, opening notes and typing at random, killed with SIGKILL at random moments:
the next host recovers all it acknowledged, and any prefix of the request under way.
Usage: journal-kill.py DALMURE_HOST [KILLS] [SEED]"""
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

    def reply(self):
        for line in self.p.stdout:
            if "ok" in (message := json.loads(line)):
                return message
        raise RuntimeError("the host ended")

    def call(self, name, *args):
        self.send({"op": "call", "name": name, "args": list(args)})
        if not (r := self.reply())["ok"]:
            raise RuntimeError(f"{name}: {r}")
        return r["result"]


def with_added(model, t, desc):
    """The list with [t, desc, ""] in its place by time, and that place."""
    at = sorted([m[0] for m in model] + [t]).index(t)
    return model[:at] + [[t, desc, ""]] + model[at:], at


def acceptable(model, open_, in_flight):
    """What may come back: what was acknowledged, with or without part of the request under way."""
    yield model
    if in_flight[0] == "add":
        yield with_added(model, in_flight[1], in_flight[2])[0]
    elif in_flight[0] == "type" and open_ is not None:
        for j in range(1, len(in_flight[1]) + 1):
            yield [m[:2] + [m[2] + in_flight[1][:j]] if i == open_ else m
                   for i, m in enumerate(model)]


def session(rng, folder, totals):
    """Runs a session to its kill: what it acknowledged, its open note, the request under way."""
    host = Host(folder)
    model, open_, used_times = [], None, set()
    steps = rng.randint(1, 40)
    for step in range(steps + 1):
        kind = rng.random()
        if not model or kind < 0.25:
            while (t := f"{rng.randint(8, 17):02d}:{rng.randint(0, 59):02d}:"
                        f"{rng.randint(0, 59):02d}") in used_times:
                pass
            used_times.add(t)
            op = ("add", t, "A" + str(len(used_times)))
            host.send({"op": "call", "name": "AnnoAdd", "args": [t, op[2]]})
        elif kind < 0.45:
            op = ("click", rng.randrange(len(model)))
            host.send({"op": "click", "row": 2 * op[1] + 1, "col": 1})
        else:
            op = ("type", "".join(rng.choice(LETTERS) for _ in range(rng.randint(1, 12))))
            host.send({"op": "type", "text": op[1]})
        if step == steps:  # killed while this request is under way (or just after)
            time.sleep(rng.random() * 0.004)
            host.p.send_signal(signal.SIGKILL)
            host.p.wait()
            return model, open_, op
        host.reply()
        totals["acknowledged"] += 1
        if op[0] == "add":
            model, open_ = with_added(model, op[1], op[2])
        elif op[0] == "click":
            open_ = op[1]
        elif open_ is not None:
            model[open_][2] += op[1]
            totals["characters"] += len(op[1])


def main():
    rng = random.Random(SEED)
    totals = {"kills": 0, "acknowledged": 0, "characters": 0, "in_flight_kept": 0}
    for round_ in range(KILLS):
        folder = tempfile.mkdtemp(prefix="dalmure-journal-kill-")
        try:
            model, open_, in_flight = session(rng, folder, totals)
            totals["kills"] += 1
            after = Host(folder)
            found = after.call("RecoverableSessions")
            if model and len(found) != 1:
                raise SystemExit(f"round {round_}: {len(found)} sessions to recover: {found}")
            if found and not after.call("RecoverSession", found[0]["id"]):
                raise SystemExit(f"round {round_}: the recovery failed")
            got = [[after.call(f, k) for f in ("AnnoTime", "AnnoDesc", "AnnoData")]
                   for k in range(after.call("AnnoCount") if found else 0)]
            got = [] if got == [["", "", ""]] else got
            after.p.stdin.close()
            after.p.wait(timeout=30)
            if got not in acceptable(model, open_, in_flight):
                raise SystemExit(f"round {round_}: lost\n expected {model} (+ {in_flight})\n"
                                 f" recovered {got}")
            totals["in_flight_kept"] += got != model
        finally:
            shutil.rmtree(folder, ignore_errors=True)
    print(json.dumps(totals))


if __name__ == "__main__":
    main()

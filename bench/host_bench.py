#!/usr/bin/env python3
"""dalmure-host runs: process start-up with and without the catalogue, AnnoAdd over the JSON Lines
protocol into a long list, and every request of the scenario scripts replayed on top of that
list, each timed from the request written to its reply read (the host's whole handling of one
host call or user action, pipe round trip included), against a 16 ms frame.

    host_bench.py HOST [--platform headless|qt] [--annotations N] [--starts N] > host.json
"""
import argparse, glob, json, os, random, shutil, statistics, subprocess, sys, tempfile, time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FRAME_MS = 16.0
# Requests that only look inside (tests' views, not host calls or user actions).
INSPECTION = {"grid", "editor", "buttons", "control", "inspect", "readini", "writelog"}


def app_folder(catalogue, templates=True):
    d = tempfile.mkdtemp(prefix="dalmure-hostbench-")
    if catalogue:
        shutil.copy(os.path.join(REPO, "tests/fixtures/ORLngClient.MDB"), d)
    if templates:
        for t in glob.glob(os.path.join(REPO, "share/templates/*.html")):
            shutil.copy(t, d)
    return d


class Host:
    def __init__(self, exe, app, platform):
        env = dict(os.environ)
        if platform == "qt":
            env.setdefault("QT_QPA_PLATFORM", "offscreen")
        self.p = subprocess.Popen([exe, "--app-dir", app, "--platform", platform,
                                   "--now", "2024-03-15T10:20:30.00"],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=env,
                                  text=True, encoding="utf-8", bufsize=1)

    def request(self, obj):
        """Sends one request; returns (seconds until its reply, reply)."""
        line = json.dumps(obj, ensure_ascii=False)
        start = time.perf_counter()
        self.p.stdin.write(line + "\n")
        self.p.stdin.flush()
        while True:
            out = self.p.stdout.readline()
            if not out:
                raise RuntimeError("host ended")
            msg = json.loads(out)
            if "ok" in msg:
                return time.perf_counter() - start, msg

    def close(self):
        self.p.stdin.close()
        self.p.wait()


def startup(exe, platform, catalogue, runs):
    times = []
    for _ in range(runs):
        app = app_folder(catalogue)
        start = time.perf_counter()
        h = Host(exe, app, platform)
        h.request({"op": "call", "name": "AnnoCount"})  # start-up and sizing are done by then
        times.append(time.perf_counter() - start)
        h.close()
        shutil.rmtree(app, ignore_errors=True)
    return statistics.median(times) * 1000.0


def summary(samples):
    s = sorted(samples)
    return {"n": len(s), "median_ms": statistics.median(s) * 1000.0,
            "p95_ms": s[min(len(s) - 1, int(0.95 * len(s)))] * 1000.0, "max_ms": s[-1] * 1000.0,
            "over_frame": sum(1 for x in s if x * 1000.0 > FRAME_MS)}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("host")
    ap.add_argument("--platform", default="headless")
    ap.add_argument("--annotations", type=int, default=10000)
    ap.add_argument("--starts", type=int, default=15)
    a = ap.parse_args()

    result = {"platform": a.platform, "annotations": a.annotations}
    result["startup_ms_no_catalogue"] = startup(a.host, a.platform, False, a.starts)
    result["startup_ms_catalogue"] = startup(a.host, a.platform, True, a.starts)

    app = app_folder(True)
    h = Host(a.host, app, a.platform)
    h.request({"op": "call", "name": "AnnoCount"})  # start-up out of the way
    rng = random.Random(1)
    adds = []
    for k in range(a.annotations):
        s = rng.randrange(0, 8 * 3600 * 100)
        t = "%02d:%02d:%02d.%02d" % (9 + s // 360000, s // 6000 % 60, s // 100 % 60, s % 100)
        dt, _ = h.request({"op": "call", "name": "AnnoAdd",
                           "args": [t, "Annotation %d of the hearing, witness statement" % k]})
        adds.append(dt)
    result["annoadd"] = {"first_1000": summary(adds[:1000]), "last_1000": summary(adds[-1000:])}

    # Every request of every scenario script, on top of the long list. "@APP@" is the folder.
    per_op = {}
    worst = []
    for script in sorted(glob.glob(os.path.join(REPO, "tests/scenarios/*/script.jsonl"))):
        name = os.path.basename(os.path.dirname(script))
        for line in open(script, encoding="utf-8"):
            line = line.strip()
            if not line:
                continue
            try:
                req = json.loads(line.replace("@APP@", app))
            except ValueError:
                continue  # the protocol-error scenarios' deliberately broken lines
            if not isinstance(req, dict) or req.get("op") in ("clock",):
                continue
            dt, reply = h.request(req)
            key = str(req.get("op", "(no op)")) + ("" if req.get("op") not in ("call", "get", "set") else
                                   ":" + str(req.get("name", "")))
            if req.get("op") in INSPECTION:
                key = "(inspection) " + key
            else:
                worst.append((dt * 1000.0, name, line[:100]))
            per_op.setdefault(key, []).append(dt)
    h.close()
    shutil.rmtree(app, ignore_errors=True)
    result["actions"] = {k: summary(v) for k, v in sorted(per_op.items())}
    worst.sort(reverse=True)
    result["slowest_actions"] = [{"ms": w[0], "scenario": w[1], "request": w[2]} for w in worst[:8]]
    json.dump(result, sys.stdout, indent=1)
    print()


if __name__ == "__main__":
    main()

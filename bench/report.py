#!/usr/bin/env python3
"""Turns one run's raw figures into the table of RESULTS.md: each target as a ratio of two
figures of the same run.

    report.py OUT_DIR     (reads control.json, memory.json, host.json; prints Markdown)
"""
import json, os, sys

out = sys.argv[1]
bench = {b["name"].split("/min_time")[0]: b for b in
         json.load(open(os.path.join(out, "control.json")))["benchmarks"]
         if b.get("run_type", "iteration") == "iteration"}
mem = json.load(open(os.path.join(out, "memory.json")))
host = json.load(open(os.path.join(out, "host.json"))) if os.path.exists(
    os.path.join(out, "host.json")) else None


def t(name):  # real time per iteration, microseconds
    b = bench[name]
    scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[b["time_unit"]]
    return b["real_time"] * scale


rows = []


def row(target, figure, ratio, limit, note=""):
    met = "met" if ratio <= limit else "NOT met"
    rows.append(f"| {target} | {figure} | {ratio:.2f} (limit {limit:g}) | {met} | {note} |")


a1, a100 = t("BM_AnnoAdd/1000/0"), t("BM_AnnoAdd/100000/0")
row("AnnoAdd, random order, 100,000 vs 1,000 (literal)", f"{a100:.2f} µs vs {a1:.2f} µs",
    a100 / a1, 2, f"{bench['BM_AnnoAdd/100000/0']['logged_per_add']:.2f} Overflow lines logged per add at 100,000")
b1, b100 = t("BM_AnnoAdd/1000/1"), t("BM_AnnoAdd/100000/1")
row("AnnoAdd below the 16-bit limit (first 16,000), 100,000 vs 1,000", f"{b100:.2f} µs vs {b1:.2f} µs",
    b100 / b1, 2)
s1, s100 = t("BM_Select/1000"), t("BM_Select/100000")
row("Selecting (user click), 100,000 vs 1,000", f"{s100:.2f} µs vs {s1:.2f} µs", s100 / s1, 2)
y1, y100 = t("BM_Type/1000"), t("BM_Type/100000")
row("Typing (character + Backspace), 100,000 vs 1,000", f"{y100:.2f} µs vs {y1:.2f} µs", y100 / y1, 2)
r10, r100 = t("BM_ResizeGrid/10000"), t("BM_ResizeGrid/100000")
row("ResizeGrid, 100,000 vs 10,000 rows (literal)", f"{r100/1000:.2f} ms vs {r10/1000:.2f} ms", r100 / r10, 11,
    "stops at row 32767 with a logged Overflow")
r3, r30 = t("BM_ResizeGrid/3000"), t("BM_ResizeGrid/30000")
row("ResizeGrid, 30,000 vs 3,000 rows (below the limit)", f"{r30/1000:.2f} ms vs {r3/1000:.2f} ms", r30 / r3, 11)
for n in (10000, 100000):
    g, w = t(f"BM_GenerateHTML/{n}"), t(f"BM_WriteOnce/{n}")
    row(f"GenerateHTML of {n:,} vs one write of the same bytes", f"{g/1000:.2f} ms vs {w/1000:.2f} ms",
        g / w, 2, f"{bench[f'BM_GenerateHTML/{n}']['bytes']/1e6:.1f} MB")
g10, g100 = t("BM_GenerateHTML/10000"), t("BM_GenerateHTML/100000")
row("GenerateHTML, 100,000 vs 10,000 (linear)", f"{g100/1000:.2f} ms vs {g10/1000:.2f} ms", g100 / g10, 11)
c0, c1 = t("BM_Startup/0/0"), t("BM_Startup/1/0")
row("Start-up with vs without the catalogue, new platform (file read)", f"{c1:.0f} µs vs {c0:.0f} µs", c1 / c0, 3)
w0, w1 = t("BM_Startup/0/1"), t("BM_Startup/1/1")
row("Start-up with vs without the catalogue, platform kept (file unchanged)", f"{w1:.0f} µs vs {w0:.0f} µs",
    w1 / w0, 3)
if host:
    h0, h1 = host["startup_ms_no_catalogue"], host["startup_ms_catalogue"]
    row("dalmure-host process start-up with vs without the catalogue", f"{h1:.1f} ms vs {h0:.1f} ms",
        h1 / h0, 3)
budget = mem["budget_utf8_bytes"]
row("Memory, 100,000 annotations (growth vs 2 x text bytes + 200 B each)",
    f"{mem['growth_bytes']/1e6:.1f} MB ({mem['growth_per_annotation']:.0f} B each) vs {budget/1e6:.1f} MB",
    mem["growth_bytes"] / budget, 1, f"{mem['chars']/mem['annotations']:.0f} characters each")

print("| target | figures | ratio | | note |")
print("|---|---|---|---|---|")
print("\n".join(rows))
if host:
    print()
    print(f"dalmure-host ({host['platform']}), after {host['annoadd']['last_1000']['n']} adds: "
          "time from request to reply, per request kind of the scenario scripts (frame 16 ms):")
    print()
    print("| request | n | median ms | p95 ms | max ms | over 16 ms |")
    print("|---|---|---|---|---|---|")
    for k in ("first_1000", "last_1000"):
        s = host["annoadd"][k]
        print(f"| call:AnnoAdd ({k.replace('_', ' ')}) | {s['n']} | {s['median_ms']:.3f} | {s['p95_ms']:.3f} | {s['max_ms']:.3f} | {s['over_frame']} |")
    for k, s in host["actions"].items():
        print(f"| {k} | {s['n']} | {s['median_ms']:.3f} | {s['p95_ms']:.3f} | {s['max_ms']:.3f} | {s['over_frame']} |")

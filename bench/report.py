#!/usr/bin/env python3
"""Turns one run's raw figures into the table of RESULTS.md: each target as a ratio of two
figures of the same run.

    report.py OUT_DIR     (reads control.json, memory.json, host.json, and qt.json and
                           demo.json when present; prints Markdown)
"""
import json, os, sys

out = sys.argv[1]
bench = {b["name"].split("/iterations")[0]: b for b in
         json.load(open(os.path.join(out, "control.json")))["benchmarks"]}
mem = json.load(open(os.path.join(out, "memory.json")))
host = json.load(open(os.path.join(out, "host.json"))) if os.path.exists(
    os.path.join(out, "host.json")) else None
qt = json.load(open(os.path.join(out, "qt.json"))) if os.path.exists(
    os.path.join(out, "qt.json")) else None
demo = json.load(open(os.path.join(out, "demo.json"))) if os.path.exists(
    os.path.join(out, "demo.json")) else None

rows = []


def row(target, figure, ratio, limit, note="", vacuous=False):
    met = "met" if ratio <= limit else "NOT met"
    if vacuous and ratio <= limit:
        met = "met only vacuously (no row sized)"
    rows.append(f"| {target} | {figure} | {ratio:.2f} (limit {limit:g}) | {met} | {note} |")


def us(v):
    return f"{v/1000:.2f} ms" if v >= 1000 else f"{v:.2f} µs"


def paired(name, target, limit, note="", vacuous=False):
    b = bench[name]
    row(target, f"{us(b['b_us'])} vs {us(b['a_us'])}", b["ratio"], limit, note, vacuous)


paired("BM_AnnoAdd/0", "AnnoAdd at a random time, 100,000 vs 1,000 (literal)", 2,
       f"{bench['BM_AnnoAdd/0']['b_logged_per_add']:.2f} Overflow lines logged per add at 100,000")
paired("BM_AnnoAdd/1", "AnnoAdd among the first 16,000 (below the 16-bit limit), 100,000 vs 1,000", 2)
paired("BM_Select", "Selecting (a user click), 100,000 vs 1,000", 2)
paired("BM_Type", "Typing (a character and a Backspace), 100,000 vs 1,000", 2)
paired("BM_ResizeGrid/10000", "ResizeGrid, 100,000 vs 10,000 rows (literal)", 11,
       f"fails as its loop starts (over 32,768 rows): {bench['BM_ResizeGrid/10000']['b_logged']:.0f} Overflow lines, one per call", vacuous=True)
paired("BM_ResizeGrid/3000", "ResizeGrid, 30,000 vs 3,000 rows (below the limit)", 11)
for n in (10000, 100000):
    paired(f"BM_GenerateHTMLvsWrite/{n}", f"GenerateHTML of {n:,} vs one write of its bytes (both synced and renamed)", 2,
           f"{bench[f'BM_GenerateHTMLvsWrite/{n}']['bytes']/1e6:.1f} MB page")
paired("BM_GenerateHTMLGrowth", "GenerateHTML, 100,000 vs 10,000 (linear)", 11)
paired("BM_Startup/0", "Start-up with vs without the catalogue, new platform (file read once per process)", 3)
paired("BM_Startup/1", "Start-up with vs without the catalogue, platform kept (file unchanged)", 3)
lng = bench["BM_StartupLngEntries"]
row("Start-up with 40,000 [LNG] entries (32,767 read) vs 1 s", f"{us(lng['b_us'])}",
    lng["b_us"] / 1e6, 1,
    f"{us(lng['a_us'])} with one [LNG] entry; {lng['fresh_ms']:.0f} ms on a file just written")
if host:
    h0, h1 = host["startup_ms_no_catalogue"], host["startup_ms_catalogue"]
    row("dalmure-host process start-up with vs without the catalogue", f"{h1:.1f} ms vs {h0:.1f} ms",
        h1 / h0, 3)
if qt:
    for r in qt["resize"]:
        row(f"Qt: ResizeGrid vs resizeRowsToContents, {r['rows']:,} rows",
            f"{r['resizegrid_ms']:.1f} ms vs {r['qt_resizerows_ms']:.1f} ms", r["ratio"], 1.5,
            f"{r['logged']} lines logged", vacuous=r["rows"] > 32768)
    r10, r100 = qt["resize"][0]["resizegrid_ms"], qt["resize"][1]["resizegrid_ms"]
    row("Qt: ResizeGrid, 100,000 vs 10,000 rows (literal)", f"{r100:.1f} ms vs {r10:.1f} ms",
        r100 / r10, 11, vacuous=True)
if demo:
    one, burst = demo["single"], demo["burst"]
    row(f"Demo ({demo['platform']}): quick annotation (F2), key event to painted frame, "
        f"{demo['annotations']:,} annotations, p95 vs a 16 ms frame",
        f"p50 {one['p50_ms']:.1f} ms, p95 {one['p95_ms']:.1f} ms", one["p95_ms"] / 16, 1,
        f"{one['n']} presses; load average {demo['load']:.1f}")
    row(f"Demo ({demo['platform']}): {burst['presses']} F2 presses every {burst['interval_ms']} ms, "
        "longest gap between frames vs 100 ms",
        f"{burst['max_frame_gap_ms']:.1f} ms (event loop stalled at most "
        f"{burst['max_loop_stall_ms']:.1f} ms)", burst["max_frame_gap_ms"] / 100, 1,
        f"{burst['added']} added, stamped at most {burst['max_stamp_lag_s']:.0f} s after the "
        "press was due")
budget = mem["budget_utf8_bytes"]
row("Memory, 100,000 annotations (growth vs 2 x text bytes + 200 B each)",
    f"{mem['growth_bytes']/1e6:.1f} MB ({mem['growth_per_annotation']:.0f} B each) vs {budget/1e6:.1f} MB",
    mem["growth_bytes"] / budget, 1, f"{mem['chars']/mem['annotations']:.0f} characters each")

print("| target | figures | ratio | | note |")
print("|---|---|---|---|---|")
print("\n".join(rows))
if host:
    print()
    print(f"dalmure-host ({host['platform']}), with {host['annotations']:,} annotations added first: "
          "time from request to reply, per request kind of the scenario scripts (frame 16 ms):")
    print()
    print("| request | n | median ms | p95 ms | max ms | over 16 ms |")
    print("|---|---|---|---|---|---|")
    for k in ("first_1000", "last_1000"):
        s = host["annoadd"][k]
        print(f"| call:AnnoAdd ({k.replace('_', ' ')}) | {s['n']} | {s['median_ms']:.3f} | {s['p95_ms']:.3f} | {s['max_ms']:.3f} | {s['over_frame']} |")
    for k, s in host["actions"].items():
        print(f"| {k} | {s['n']} | {s['median_ms']:.3f} | {s['p95_ms']:.3f} | {s['max_ms']:.3f} | {s['over_frame']} |")
if qt:
    print()
    print("Qt (offscreen), 10,000 annotations: time of each action with the repaint that follows it:")
    print()
    print("| action | n | median ms | max ms | over 16 ms |")
    print("|---|---|---|---|---|")
    for k, s in qt["actions"].items():
        print(f"| {k} | {s['n']} | {s['median_ms']:.2f} | {s['max_ms']:.2f} | {s['over_16ms']} |")

#!/usr/bin/env python3
"""Compares a scenario's output on the Qt platform with the headless expectation.

Every line must match, except the figures that depend on the real font: the grid's row heights
and column widths, and the editor's placement and height. Those are checked for consistency
instead: rows holding the same text have the same height, a row with more lines is higher, and
a visible editor lies over the current cell (left and top at the cell's edge plus the control's
own margins, height the row's less its margin).

usage: compare_scenario.py EXPECTED.jsonl ACTUAL.jsonl
"""
import json
import sys

GRID_FONT = ("heights", "colwidths")
EDITOR_FONT = ("left", "top", "height")


def lines_of(text):
    return text.count("\r") + 1 if text else 1


def check_grid(g, where, errors):
    heights = g["heights"]
    by_text = {}
    for i, row in enumerate(g["rows"]):
        text = row[1]
        if heights[i] <= 0:
            errors.append(f"{where}: row {i} has height {heights[i]}")
        # Rows never sized keep the grid's default height.
        if len(text) < 40 and heights[i] != 240:
            by_text.setdefault(text, set()).add(heights[i])
    for text, hs in by_text.items():
        if len(hs) > 1:
            errors.append(f"{where}: rows holding {text!r} differ in height: {sorted(hs)}")
    short = [(lines_of(r[1]), heights[i]) for i, r in enumerate(g["rows"])
             if all(len(l) < 40 for l in r[1].replace("\r\n", "\r").split("\r"))]
    for la, ha in short:
        for lb, hb in short:
            if la > lb and ha <= hb:
                errors.append(f"{where}: a row of {la} lines is not higher than one of {lb}")
                return


def check_editor(e, g, where, errors):
    if not e["visible"] or g is None or not g["visible"]:
        return
    row = g["row"]
    if row >= len(g["heights"]) or g["col"] != 1:
        return
    left = g["left"] + g["colwidths"][0] + 45
    if e["left"] != left:
        errors.append(f"{where}: editor left {e['left']}, the cell's is {left}")
    top_row = min(g["toprow"], len(g["heights"]) - 1)
    lo, hi = sorted((top_row, row))
    pos = sum(g["heights"][lo:hi]) * (1 if row >= top_row else -1)
    edge = g["top"] + pos
    if e["top"] - edge not in (15, 30):
        errors.append(f"{where}: editor top {e['top']} is not over the cell's top {edge}")
    if g["heights"][row] - e["height"] not in (30, 45):
        errors.append(f"{where}: editor height {e['height']} does not fit row {row} "
                      f"({g['heights'][row]})")


def masked(obj, keys):
    return {k: v for k, v in obj.items() if k not in keys}


def main():
    expected = open(sys.argv[1], encoding="utf-8").read().splitlines()
    actual = open(sys.argv[2], encoding="utf-8").read().splitlines()
    errors = []
    if len(expected) != len(actual):
        errors.append(f"{len(actual)} lines written, {len(expected)} expected")
    last_grid = None
    for n, (e_line, a_line) in enumerate(zip(expected, actual), 1):
        where = f"line {n}"
        try:
            e, a = json.loads(e_line), json.loads(a_line)
        except json.JSONDecodeError:
            if e_line != a_line:
                errors.append(f"{where}: {a_line!r} != {e_line!r}")
            continue
        er = e.get("result") if isinstance(e, dict) else None
        ar = a.get("result") if isinstance(a, dict) else None
        if isinstance(er, dict) and isinstance(ar, dict) and "heights" in er:
            if masked(e, ("result",)) != masked(a, ("result",)) or \
                    masked(er, GRID_FONT) != masked(ar, GRID_FONT):
                errors.append(f"{where}: grid differs:\n  want {e_line}\n  got  {a_line}")
            check_grid(ar, where, errors)
            last_grid = ar
        elif isinstance(er, dict) and isinstance(ar, dict) and "selstart" in er:
            if masked(er, EDITOR_FONT) != masked(ar, EDITOR_FONT):
                errors.append(f"{where}: editor differs:\n  want {e_line}\n  got  {a_line}")
            check_editor(ar, last_grid, where, errors)
        elif e != a:
            errors.append(f"{where}:\n  want {e_line}\n  got  {a_line}")
    for line in errors:
        print(line)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())

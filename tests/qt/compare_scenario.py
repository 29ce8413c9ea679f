#!/usr/bin/env python3
"""Compares a scenario's output on the Qt platform with the headless expectation.

Every line must match, except the figures that depend on the real font: the grid's row heights
and column widths, and the editor's placement and height. Those are checked for consistency
instead: rows holding the same text have the same height, a row with more lines is higher, and
a visible editor lies over the current cell (left and top at the cell's edge plus the control's
own margins, height the row's less its margin), judged against the grid inspected with no
action of the user or the host in between. The top row too may differ: the Qt grid never scrolls past
its last full page, so where the headless grid shows a row further down, the Qt grid shows the
last full page (the rows from its top row on fit the grid, one row more would not).

usage: compare_scenario.py EXPECTED.jsonl ACTUAL.jsonl SCRIPT.jsonl
"""
import json
import sys

GRID_FONT = ("heights", "colwidths", "toprow")
INSPECTIONS = ("grid", "editor", "buttons", "control", "inspect", "readini")
# The grid's frame, in twips, between its height and the height its rows are shown in.
FRAME = 120
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


def check_top_row(want, got, where, errors):
    heights, top = got["heights"], got["toprow"]
    if top == want["toprow"]:
        return
    below = sum(heights[top:])
    if top > want["toprow"] or below > got["height"] or \
            (top > 0 and below + heights[top - 1] <= got["height"] - FRAME):
        errors.append(f"{where}: top row {top} is not the last full page "
                      f"(the headless grid shows {want['toprow']})")


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


def op_of(request):
    try:
        r = json.loads(request)
    except json.JSONDecodeError:
        return None
    return r.get("op") if isinstance(r, dict) else None


def main():
    expected = open(sys.argv[1], encoding="utf-8").read().splitlines()
    actual = open(sys.argv[2], encoding="utf-8").read().splitlines()
    ops = [op_of(line) for line in open(sys.argv[3], encoding="utf-8").read().splitlines()
           if line.strip()]  # a blank line is no request
    errors = []
    if len(expected) != len(actual):
        errors.append(f"{len(actual)} lines written, {len(expected)} expected")
    last_grid = last_editor = None
    for n, (e_line, a_line) in enumerate(zip(expected, actual), 1):
        where = f"line {n}"
        try:
            e, a = json.loads(e_line), json.loads(a_line)
        except json.JSONDecodeError:
            if e_line != a_line:
                errors.append(f"{where}: {a_line!r} != {e_line!r}")
            continue
        if isinstance(a, dict) and "ok" in a:
            # A reply: after an action, the grid last inspected is out of date.
            op = ops.pop(0) if ops else None
            if op not in INSPECTIONS:
                last_grid = last_editor = None
        er = e.get("result") if isinstance(e, dict) else None
        ar = a.get("result") if isinstance(a, dict) else None
        if isinstance(er, dict) and isinstance(ar, dict) and "heights" in er:
            if masked(e, ("result",)) != masked(a, ("result",)) or \
                    masked(er, GRID_FONT) != masked(ar, GRID_FONT):
                errors.append(f"{where}: grid differs:\n  want {e_line}\n  got  {a_line}")
            check_grid(ar, where, errors)
            check_top_row(er, ar, where, errors)
            last_grid = ar
            if last_editor:
                check_editor(last_editor[0], ar, last_editor[1], errors)
                last_editor = None
        elif isinstance(er, dict) and isinstance(ar, dict) and "selstart" in er:
            if masked(er, EDITOR_FONT) != masked(ar, EDITOR_FONT):
                errors.append(f"{where}: editor differs:\n  want {e_line}\n  got  {a_line}")
            if last_grid is None:
                last_editor = (ar, where)  # checked against the next grid inspection
            else:
                check_editor(ar, last_grid, where, errors)
        elif e != a:
            errors.append(f"{where}:\n  want {e_line}\n  got  {a_line}")
    for line in errors:
        print(line)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())

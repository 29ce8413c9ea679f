#!/usr/bin/python3
"""What a screen reader finds in a long hearing over the AT-SPI bus: every annotation read item by
item, as a reader walking the list reads it. What the items, the editor and the commands tell of
changes is qt_accessibility_test's to prove.

Run under run-with-a11y-bus.sh:  walk_grid.py HEARING_PROGRAM [COUNT]
"""
import subprocess
import sys
import time

import pyatspi

program = sys.argv[1]
count = int(sys.argv[2]) if len(sys.argv) > 2 else 10000


def expected(i):
    s = 9 * 3600 + 3 * i
    return "%02d:%02d:%02d, Annotation %d" % (s // 3600, s // 60 % 60, s % 60, i)


def find_list(node):
    """Breadth first, without opening a list (ten thousand items)."""
    queue = [node]
    while queue:
        node = queue.pop(0)
        try:
            if node.getRole() == pyatspi.ROLE_LIST:
                if node.name == "Annotations":
                    return node
                continue
            queue.extend(node[i] for i in range(node.childCount))
        except Exception:
            continue
    return None


def check(cond, message):
    if not cond:
        sys.exit("FAILED: " + message)
    print("ok -", message, flush=True)


hearing = subprocess.Popen([program, str(count)], stdout=subprocess.PIPE, text=True)
try:
    check(hearing.stdout.readline().strip() == "ready", "the hearing is on screen")
    desktop = pyatspi.Registry.getDesktop(0)
    grid, end = None, time.monotonic() + 20
    while grid is None and time.monotonic() < end:
        app = next((a for a in desktop if a is not None and a.get_process_id() == hearing.pid),
                   None)
        grid = find_list(app) if app is not None else None
        time.sleep(0.05)
    check(grid is not None, "the annotations' list is on the bus")

    started = time.monotonic()
    n = grid.childCount
    names = [grid.getChildAtIndex(i).name for i in range(n)]
    walk = time.monotonic() - started
    check(n == count, "the list holds every annotation (%d)" % n)
    wrong = [i for i in range(n) if names[i] != expected(i)]
    check(not wrong, "every item reads 'time, description'" +
          ("" if not wrong else ": %r" % names[wrong[0]]))
    print("walk: %d items read in %.2f s (%.0f items/s)" % (n, walk, n / walk), flush=True)
    last = grid.getChildAtIndex(n - 1)
    check(last.getState().contains(pyatspi.STATE_SELECTED), "the last one added is selected")
    check(last.getRoleName() == "list item", "items are list items")
    check(hearing.poll() is None, "no crash")
finally:
    hearing.terminate()
    hearing.wait(10)

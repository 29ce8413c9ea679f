#!/usr/bin/python3
"""A long hearing read over the AT-SPI bus item by item:  walk_grid.py PID COUNT"""
import sys
import time

import pyatspi

pid, count = int(sys.argv[1]), int(sys.argv[2])
expected = ["%s, Annotation %d" % (time.strftime("%H:%M:%S", time.gmtime(9 * 3600 + 3 * i)), i)
            for i in range(count)]
grid, end = None, time.monotonic() + 20
while grid is None and time.monotonic() < end:
    app = next((a for a in pyatspi.Registry.getDesktop(0)
                if a is not None and a.get_process_id() == pid), None)
    # Breadth first: the list's ten thousand items are not opened on the way.
    grid = app and pyatspi.findDescendant(
        app, lambda n: n.getRole() == pyatspi.ROLE_LIST and n.name == "Annotations", True)
    time.sleep(0.05)
assert grid is not None, "the annotations' list is not on the bus"
started = time.monotonic()
names = [grid.getChildAtIndex(i).name for i in range(grid.childCount)]
walk = time.monotonic() - started
wrong = next(((n, e) for n, e in zip(names, expected) if n != e), None)
assert names == expected, "%d items, not 'time, description' from %r" % (len(names), wrong)
print("walk: %d items read in %.2f s (%.0f items/s)" % (count, walk, count / walk), flush=True)

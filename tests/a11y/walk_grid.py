#!/usr/bin/python3
"""What a screen reader finds in the control over the AT-SPI bus: reads every annotation of a
long hearing, then follows the focus and the list through the clerk's commands.

Run under run-with-a11y-bus.sh:  walk_grid.py HEARING_PROGRAM [COUNT]
"""
import subprocess
import sys
import threading
import time

import pyatspi
from gi.repository import GLib

program = sys.argv[1]
count = int(sys.argv[2]) if len(sys.argv) > 2 else 10000


def expected(i):
    s = 9 * 3600 + 3 * i
    return "%02d:%02d:%02d, Annotation %d" % (s // 3600, s // 60 % 60, s % 60, i)


heard = []


def hear(event):
    heard.append((event.type, event.source.name if event.source else "", event.detail1))


def heard_of(kind, name=None):
    return [h for h in heard if h[0].startswith(kind) and (name is None or h[1] == name)]


def wait_for(what, test, timeout=20.0):
    end = time.monotonic() + timeout
    while True:
        while GLib.MainContext.default().iteration(False):
            pass
        value = test()
        if value:
            return value
        if time.monotonic() > end:
            sys.exit("timed out waiting for " + what)
        time.sleep(0.05)


def find(root, test, skip_lists=True):
    """Breadth first, without opening the annotations' list (ten thousand items)."""
    queue = [root]
    while queue:
        node = queue.pop(0)
        try:
            if test(node):
                return node
            if skip_lists and node.getRole() == pyatspi.ROLE_LIST:
                continue
            queue.extend(node[i] for i in range(node.childCount))
        except Exception:
            continue
    return None


def states(node):
    return node.getState()


def press(button):
    try:
        button.queryAction().doAction(0)
    except Exception:
        pass


def check(cond, message):
    if not cond:
        sys.exit("FAILED: " + message)
    print("ok -", message, flush=True)


hearing = subprocess.Popen([program, str(count)], stdout=subprocess.PIPE, text=True)
try:
    check(hearing.stdout.readline().strip() == "ready", "the hearing is on screen")
    desktop = pyatspi.Registry.getDesktop(0)
    app = wait_for("the application on the bus", lambda: next(
        (a for a in desktop if a is not None and a.get_process_id() == hearing.pid), None))
    grid = wait_for("the annotations' list", lambda: find(
        app, lambda n: n.getRole() == pyatspi.ROLE_LIST and n.name == "Annotations",
        skip_lists=False))

    # Every row, read as a reader reads it.
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
    check(states(last).contains(pyatspi.STATE_SELECTED), "the last one added is selected")
    check(last.getRoleName() == "list item", "items are list items")

    # The grid takes the focus: the selected annotation is the focused item.
    for kind in ("focus:", "object:state-changed:focused", "object:children-changed",
                 "object:property-change:accessible-name"):
        pyatspi.Registry.registerEventListener(hear, kind)
    grid.queryComponent().grabFocus()
    wait_for("the grid's focus", lambda: states(grid).contains(pyatspi.STATE_FOCUSED))
    wait_for("the focused item", lambda: states(grid.getChildAtIndex(n - 1))
             .contains(pyatspi.STATE_FOCUSED))
    check(True, "the selected annotation is the focused item")
    wait_for("the news of the focus", lambda: heard_of("focus:", expected(n - 1)))
    check(True, "the reader hears the focus on '%s'" % expected(n - 1))

    # The clerk types notes into the editor, then goes back to the list: the item reads them.
    notes = find(app, lambda x: x.getRole() == pyatspi.ROLE_TEXT and x.name == "Notes")
    check(notes is not None, "the notes editor is there, named")
    check(states(notes).contains(pyatspi.STATE_MULTI_LINE), "the notes editor is multi-line")
    check(states(notes).contains(pyatspi.STATE_EDITABLE), "the notes editor is editable")
    # A character key on the list opens the notes of the selected annotation.
    pyatspi.Registry.generateKeyboardEvent(0x20, None, pyatspi.KEY_SYM)
    wait_for("the editor's focus", lambda: states(notes).contains(pyatspi.STATE_FOCUSED))
    time.sleep(0.5)  # the key's own events are over
    notes.queryEditableText().setTextContents("")
    notes.queryEditableText().insertText(0, "Objection", 9)
    text = notes.queryText()
    check(text.getText(0, -1) == "Objection", "the notes hold what was typed")
    check(text.caretOffset == 9, "the caret follows the typing")
    grid.queryComponent().grabFocus()
    wait_for("the notes in the item", lambda: grid.getChildAtIndex(n - 1).name
             == expected(n - 1) + ", Objection")
    check(True, "the item reads its notes once they are committed")
    wait_for("the news of the notes", lambda: heard_of(
        "object:property-change:accessible-name", expected(n - 1) + ", Objection"))
    check(True, "the reader hears the item's new name")

    buttons = {}
    find(app, lambda x: x.getRole() == pyatspi.ROLE_PUSH_BUTTON and
         buttons.setdefault(x.name, x) is None)
    check(all(name for name in buttons), "every command button has a name")

    # The rename command: its prompt comes up, the reader fills it in and presses OK.
    rename = next(b for name, b in buttons.items() if name.startswith("Modifier"))
    # The button's action returns once its prompt is answered: pressed from aside.
    threading.Thread(target=press, args=(rename,), daemon=True).start()
    dialog = wait_for("the rename prompt", lambda: find(
        app, lambda x: x.getRole() == pyatspi.ROLE_DIALOG))
    field = find(dialog, lambda x: x.getRole() == pyatspi.ROLE_TEXT)
    field.queryEditableText().setTextContents("Closing")
    ok = find(dialog, lambda x: x.getRole() == pyatspi.ROLE_PUSH_BUTTON and x.name == "OK")
    ok.queryAction().doAction(0)
    wait_for("the renamed item", lambda: grid.getChildAtIndex(n - 1).name.startswith(
        expected(n - 1).split(",")[0] + ", Closing"))
    check(True, "the renamed annotation reads its new description")
    wait_for("the news of the rename", lambda: heard_of(
        "object:property-change:accessible-name",
        expected(n - 1).split(",")[0] + ", Closing, Objection"))
    check(True, "the reader hears the renamed item's new name")

    # The delete command: the item goes, and the reader is told.
    delete = next(b for name, b in buttons.items() if name.startswith("Supprimer"))
    delete.queryAction().doAction(0)
    wait_for("the deletion", lambda: grid.childCount == n - 1)
    check(grid.childCount == n - 1, "the deleted annotation left the list")
    wait_for("the news of the deletion", lambda: heard_of("object:children-changed:remove"))
    check(True, "the reader hears the item leave the list")
    check(grid.getChildAtIndex(n - 2).name == expected(n - 2), "the others are unchanged")
    check(hearing.poll() is None, "no crash")
finally:
    hearing.terminate()
    hearing.wait(10)

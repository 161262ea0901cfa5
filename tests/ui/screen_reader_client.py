"""Reads and drives Tavrune the way a screen reader does, over the AT-SPI bus.

Run by tst_screen_reader against the real program showing the folders Alpha, Beta and Gamma.
Prints one "ok ..." line per check and exits non-zero at the first that fails.
"""
import sys
import time

import pyatspi
from gi.repository import GLib

events = []


def on_event(event):
    try:
        events.append((event.type, event.source.getRoleName(), event.source.name, event.detail1))
    except Exception:  # the source may be gone already
        pass


def pump(seconds):
    end = time.monotonic() + seconds
    context = GLib.MainContext.default()
    while time.monotonic() < end:
        while context.iteration(False):
            pass
        time.sleep(0.02)


def wait_for(what, predicate, seconds=30):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            result = predicate()
        except Exception as error:
            print("retrying:", error)
            result = None
        if result:
            return result
        pump(0.1)
    fail("timed out waiting for " + what)


def fail(message):
    print("FAIL", message)
    sys.exit(1)


def check(condition, message):
    if not condition:
        fail(message)
    print("ok", message)


def states(accessible):
    return {pyatspi.stateToString(s) for s in accessible.getState().getStates()}


def find(root, predicate):
    return pyatspi.findDescendant(root, predicate, True)


def application():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "tavrune":
            return app
    return None


def folder_list(app):
    grid = find(app, lambda a: a.getRoleName() == "list" and a.name == "Folders")
    # The grid takes part once the splash has gone.
    return grid if grid is not None and grid.childCount == 3 and "sensitive" in states(grid) else None


def do_action(accessible, name):
    action = accessible.queryAction()
    for i in range(action.nActions):
        if action.getName(i) == name:
            action.doAction(i)
            return
    fail("no action %s on %s" % (name, accessible.name))


def saw(kind, role, name):
    return any(e[0].startswith(kind) and e[1] == role and e[2] == name and e[3] == 1 for e in events)


def main():
    for kind in ("object:state-changed:selected", "object:state-changed:focused",
                 "object:state-changed:showing", "object:children-changed", "focus:"):
        pyatspi.Registry.registerEventListener(on_event, kind)

    app = wait_for("the application", application)
    grid = wait_for("the folder list", lambda: folder_list(app))

    # The key sheet opens with no key stored; the user skips it.
    skip = find(app, lambda a: a.getRoleName() == "push button" and a.name == "Skip for Now")
    if skip is not None:
        do_action(skip, "Press")
        wait_for("the key sheet to close", lambda: "showing" not in states(skip))

    names = [grid.getChildAtIndex(i).name for i in range(grid.childCount)]
    check(names == ["Alpha", "Beta", "Gamma"], "the three folders are read by name, in order: %s" % names)
    for i in range(grid.childCount):
        item = grid.getChildAtIndex(i)
        check(item.getRoleName() == "list item" and item.description == "Documents",
              "%s is a list item described by its category" % item.name)
        check({"selectable", "focusable"} <= states(item) and "selected" not in states(item),
              "%s is selectable, focusable and not selected" % item.name)

    inspector_name = lambda: find(app, lambda a: a.getRoleName() == "label" and a.name == "Beta"
                                  and "showing" in states(a))
    check(inspector_name() is None, "no inspector shows a name before a selection")

    grid.queryTable().addRowSelection(1)
    beta = grid.getChildAtIndex(1)
    wait_for("Beta to be selected", lambda: "selected" in states(beta))
    check(grid.queryTable().getSelectedRows() == [1], "selecting through AT-SPI selects Beta alone")
    wait_for("the selection event", lambda: saw("object:state-changed:selected", "list item", "Beta"))
    print("ok the selection is announced")
    wait_for("the inspector's name block", inspector_name)
    print("ok the inspector shows Beta")

    gamma = grid.getChildAtIndex(2)
    do_action(gamma, "SetFocus")
    wait_for("focus on Gamma", lambda: "focused" in states(gamma))
    wait_for("the focus event", lambda: saw("object:state-changed:focused", "list item", "Gamma"))
    print("ok moving the focus is announced")

    # Removing the selected folder says so in a toast, which is announced as an alert.
    menu_item = find(app, lambda a: a.getRoleName() == "menu item" and a.name == "Remove Selected Folders")
    do_action(menu_item, "Press")
    wait_for("the toast", lambda: saw("object:state-changed:showing", "alert", "Removed 1 folder from the list"))
    print("ok the toast is announced as an alert")
    wait_for("Beta to leave the list", lambda: grid.childCount == 2)
    check([grid.getChildAtIndex(i).name for i in range(2)] == ["Alpha", "Gamma"], "Beta has left the list")


if __name__ == "__main__":
    main()

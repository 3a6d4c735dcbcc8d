#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Drives the desktop application over AT-SPI, as a screen-reader user would.

Run with tests/gui/atspi_review.sh (a private D-Bus session and Xvfb). It
makes a home folder with junk in it (never the real one), starts `spruce`
there, then, reading through the accessibility tree and acting from the
keyboard only: Down to "System Junk" in the module list, Tab to "Scan" and
Return; on the detail screen Space on "User Cache Files" (the focus is there),
Tab into the files, Down to "thumbs.db", Space to take it out; Tab to "Clean",
Return; the dialog starts on "Cancel", Tab to "Confirm", Return. Afterwards the
files on disk must be exactly the ones not selected and the label must say
what was freed. The window gets the keyboard from xdotool, as a window
manager would give it. Exit code 0 on success.
"""
import os
import subprocess
import sys
import tempfile
import time

import pyatspi

SPRUCE = sys.argv[1]
RESOURCES = sys.argv[2]

JUNK = {
    ".cache/fonts/a.cache": 1000,
    ".cache/thumbs.db": 2500,
    ".cache/browser/cache2/blob": 4000,
    ".xsession-errors.old": 1200,
}


def log(*args):
    print("atspi:", *args, flush=True)


def wait_for(what, find, timeout=20.0):
    end = time.time() + timeout
    while time.time() < end:
        found = find()
        if found:
            return found
        time.sleep(0.1)
    raise SystemExit(f"FAIL: {what} not found within {timeout:.0f} s")


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    try:
        count = node.childCount
    except Exception:
        return
    for i in range(count):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        yield from walk(child, depth + 1)


def find(app, role, name=None, starts=None, showing=True):
    for node in walk(app):
        try:
            if node.getRoleName() != role:
                continue
            if name is not None and node.name != name:
                continue
            if starts is not None and not node.name.startswith(starts):
                continue
            if showing and not node.getState().contains(pyatspi.STATE_SHOWING):
                continue
            return node
        except Exception:
            continue
    return None


def key(name):
    keysyms = {"space": 0x20, "Down": 0xFF54, "Up": 0xFF52, "Tab": 0xFF09, "Return": 0xFF0D, "Right": 0xFF53}
    pyatspi.Registry.generateKeyboardEvent(keysyms[name], None, pyatspi.KEY_SYM)
    time.sleep(0.25)


def tab_to(app, role, name, presses=15):
    """Presses Tab until the focus is on the `role` named `name`."""
    for _ in range(presses):
        now = focused(app)
        if now is not None and now.getRoleName() == role and now.name == name:
            log("on:", name)
            return now
        key("Tab")
    raise SystemExit(f"FAIL: Tab never reached {role} {name!r}")


VIEWS = ("list", "table", "tree table", "tree")


def focused(node, depth=0):
    """The innermost focused object: a view's current item when the view has
    the focus (items of other views say "focused" for their current row too)."""
    try:
        state = node.getState()
        role = node.getRoleName()
        count = node.childCount
    except Exception:
        return None
    here = state.contains(pyatspi.STATE_FOCUSED)
    if (role in VIEWS and not here) or depth > 40:
        return None
    found = node if here else None
    for i in range(count):
        try:
            inner = focused(node.getChildAtIndex(i), depth + 1)
        except Exception:
            inner = None
        if inner is not None:
            found = inner
    return found


def main():
    with tempfile.TemporaryDirectory(prefix="spruce-atspi-home-") as home, \
            tempfile.TemporaryDirectory(prefix="spruce-atspi-config-") as config:
        run(home, config)


def run(home, config):
    for relative, size in JUNK.items():
        path = os.path.join(home, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(b"x" * size)
    os.makedirs(os.path.join(config, "Spruce"), exist_ok=True)
    with open(os.path.join(config, "Spruce", "Spruce.ini"), "w") as f:
        f.write("[General]\nHasLaunchedOnce=true\n")
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=config, XDG_RUNTIME_DIR=config,
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb", SPRUCE_RESOURCES=RESOURCES)
    spruce = subprocess.Popen([SPRUCE], env=env)
    try:
        app = wait_for("the application on the accessibility bus", lambda: next(
            (a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.name.lower().startswith("spruce")), None),
            timeout=60)
        log("found", app.name)

        # The module list: Down from "Dashboard" to "System Junk".
        modules = wait_for("the module list", lambda: next(
            (n for n in walk(app) if n.getRoleName() == "list" and find(n, "list item", "System Junk")), None))
        # Without a window manager nobody gives the new window the keyboard:
        # do what one would (xdotool), then move as the user does.
        subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "Spruce", "windowfocus", "--sync"],
                       env=env, check=False, timeout=20)
        modules.queryComponent().grabFocus()
        time.sleep(0.3)
        key("Down")
        scan = wait_for('"Scan"', lambda: find(app, "push button", "Scan"))
        log("overview:", scan.name, "|", find(app, "progress bar", "Scan progress").name)
        # Tab to "Scan" and Return, as from the keyboard.
        tab_to(app, "push button", "Scan")
        key("Return")
        # The detail screen comes by itself.
        categories = wait_for("the category list", lambda: find(app, "list", "Categories"))
        cache = wait_for("User Cache Files", lambda: find(categories, "list item", starts="User Cache Files"))
        log("category:", cache.name, "|", cache.description)

        # The focus is in the categories, on the first one: Space selects all of it.
        wait_for("the focus on User Cache Files", lambda: (focused(app) is not None
                 and focused(app).name.startswith("User Cache Files")))
        key("space")
        wait_for("the category selected",
                 lambda: find(app, "list", "Categories") and find(categories, "list item", starts="User Cache Files")
                 .getState().contains(pyatspi.STATE_CHECKED))
        log("selected:", find(categories, "list item", starts="User Cache Files").description)

        # Into the files: take "thumbs.db" out with Space.
        files = wait_for("the file outline", lambda: find(app, "tree table", "Files") or find(app, "tree", "Files"))
        thumbs = wait_for("thumbs.db", lambda: find(files, "table cell", "thumbs.db") or find(files, "tree item", "thumbs.db"))
        # Tab into the files (the first one becomes current), Down to thumbs.db.
        for _ in range(6):
            now = focused(app)
            if now is not None and now.getRoleName() in ("table cell", "tree item"):
                break
            key("Tab")
        for _ in range(5):
            now = focused(app)
            if now is not None and now.name == "thumbs.db":
                break
            key("Down")
        log("on:", focused(app).name)
        key("space")
        wait_for("thumbs.db taken out", lambda: not find(files, "table cell", "thumbs.db").getState().contains(pyatspi.STATE_CHECKED))
        log("file:", find(files, "table cell", "thumbs.db").description)

        # Tab to "Clean", Return; in the dialog Tab from "Cancel" (the default) to "Confirm", Return.
        tab_to(app, "push button", "Clean")
        key("Return")
        dialog = wait_for("the confirmation", lambda: find(app, "alert") or find(app, "dialog"))
        texts = [n.name for n in walk(dialog) if n.getRoleName() == "label"]
        log("dialog:", dialog.name, "|", " | ".join(texts), "| focus on", focused(app).name)
        if not any("Confirmation?" in t for t in texts):
            raise SystemExit("FAIL: the dialog does not ask \"Confirmation?\"")
        if focused(app).name != "Cancel":
            raise SystemExit("FAIL: the dialog does not start on \"Cancel\"")
        tab_to(app, "push button", "Confirm")
        key("Return")
        freed = wait_for("the space freed", lambda: next(
            (n for n in walk(app) if n.getRoleName() == "label" and n.name.endswith(" Free Up")), None))
        log("label:", freed.name)

        left = sorted(r for r in JUNK if os.path.exists(os.path.join(home, r)))
        expected = [".cache/thumbs.db", ".xsession-errors.old"]
        if left != expected:
            raise SystemExit(f"FAIL: on disk {left}, expected {expected}")
        if freed.name != "5.0 kB Free Up":
            raise SystemExit(f"FAIL: label {freed.name!r}, expected '5.0 kB Free Up'")
        log("PASS: the files not selected are all that is left;", freed.name)
    finally:
        spruce.terminate()
        spruce.wait(10)


if __name__ == "__main__":
    main()

#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Drives the trust features over AT-SPI from the keyboard, as a screen-reader user would.

Run with tests/gui/atspi_review.sh, which runs it after atspi_review.py. On a
home folder made here (with its own Trash, never the real one): Down to
"Large and Old Files", Tab to "Scan", Return; on the detail screen Down to
"Unchanged for over a Year", Space; Tab to "Move to Trash instead of
deleting", Space; Tab to "Clean", Return; the dialog must ask "Move the
selected files to the Trash?", Tab to "Confirm", Return. The two old files
must be in the home's Trash with their records, and the label must say what
was moved. Then Up to "Files from 5 MB to 100 MB", Tab into the files, the
Shift+F10 on the video, "Always Keep" from its menu; the note must say it is
kept and the rescan must leave it out; Tab to "Always-Keep List", Return: the
preferences page lists the video; Tab to "Remove", Return; the list file must
be empty. Exit code 0 on success.
"""
import os
import subprocess
import sys
import tempfile
import time
import urllib.parse

import pyatspi

from atspi_review import find, focused, key, log, tab_to, wait_for, walk

SPRUCE = sys.argv[1]
RESOURCES = sys.argv[2]

YEAR = 2 * 365 * 24 * 3600
FILES = {  # relative path: (size, age in seconds)
    "Videos/clip.mp4": (6 * 1024 * 1024, 0),
    "Documents/old-report.pdf": (3000, YEAR),
    "Music/track.flac": (2000, YEAR),
}


def press(name):
    keysyms = {"Escape": 0xFF1B}
    if name in keysyms:
        pyatspi.Registry.generateKeyboardEvent(keysyms[name], None, pyatspi.KEY_SYM)
        time.sleep(0.25)
    else:
        key(name)


def tab_until(app, what, test, presses=30):
    for _ in range(presses):
        now = focused(app)
        if now is not None and test(now):
            log("on:", now.name)
            return now
        log("passing:", None if now is None else f"{now.getRoleName()} {now.name!r}")
        key("Tab")
    raise SystemExit(f"FAIL: Tab never reached {what}")


def down_until(app, name, keys=("Down",), presses=12):
    for _ in range(presses):
        now = focused(app)
        if now is not None and now.name.startswith(name):
            return now
        press(keys[0])
    raise SystemExit(f"FAIL: never reached {name!r}")


def give_keyboard(env, title):
    """Without a window manager nobody gives a window the keyboard (a new one,
    or the main window again after a dialog): do what one would."""
    subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", title, "windowfocus", "--sync"],
                   env=env, check=False, timeout=20)
    time.sleep(0.3)


def kept_paths(config):
    try:
        with open(os.path.join(config, "Spruce", "always-keep")) as f:
            lines = f.read().splitlines()
    except FileNotFoundError:
        return []
    return [urllib.parse.unquote(line[len("file://"):]) for line in lines if line.startswith("file://")]


def main():
    with tempfile.TemporaryDirectory(prefix="spruce-atspi-home-") as home, \
            tempfile.TemporaryDirectory(prefix="spruce-atspi-config-") as config:
        run(home, config)


def run(home, config):
    now = time.time()
    for relative, (size, age) in FILES.items():
        path = os.path.join(home, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.truncate(size)
        os.utime(path, (now - age, now - age))
    os.makedirs(os.path.join(config, "Spruce"), exist_ok=True)
    with open(os.path.join(config, "Spruce", "Spruce.ini"), "w") as f:
        f.write("[General]\nHasLaunchedOnce=true\n")
    trash = os.path.join(home, ".local", "share", "Trash")
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=config, XDG_DATA_HOME=os.path.join(home, ".local", "share"),
               XDG_RUNTIME_DIR=config, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb",
               SPRUCE_RESOURCES=RESOURCES)
    spruce = subprocess.Popen([SPRUCE], env=env)
    try:
        app = wait_for("the application on the accessibility bus", lambda: next(
            (a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.name.lower().startswith("spruce")), None),
            timeout=60)
        modules = wait_for("the module list", lambda: next(
            (n for n in walk(app) if n.getRoleName() == "list" and find(n, "list item", "Large and Old Files")), None))
        give_keyboard(env, "Spruce")
        modules.queryComponent().grabFocus()
        time.sleep(0.3)
        down_until(app, "Large and Old Files")
        wait_for('"Scan"', lambda: find(app, "push button", "Scan"))
        tab_to(app, "push button", "Scan")
        key("Return")

        categories = wait_for("the category list", lambda: find(app, "list", "Categories"))
        wait_for("the focus in the categories", lambda: (focused(app) is not None
                 and focused(app).name.startswith("Files over 100 MB")))
        down_until(app, "Unchanged for over a Year")
        key("space")
        wait_for("the old files selected", lambda: find(categories, "list item", starts="Unchanged for over a Year")
                 .getState().contains(pyatspi.STATE_CHECKED))

        box = tab_until(app, "the Trash box", lambda n: n.getRoleName() == "check box")
        if box.name != "Move to Trash instead of deleting":
            raise SystemExit(f"FAIL: the box is named {box.name!r}")
        if not box.getState().contains(pyatspi.STATE_CHECKED):
            key("space")
        wait_for("the box checked", lambda: find(app, "check box", "Move to Trash instead of deleting")
                 .getState().contains(pyatspi.STATE_CHECKED))
        tab_to(app, "push button", "Clean")
        key("Return")
        dialog = wait_for("the confirmation", lambda: find(app, "alert") or find(app, "dialog"))
        texts = [n.name for n in walk(dialog) if n.getRoleName() == "label"]
        log("dialog:", " | ".join(texts))
        if not any("will be moved to the Trash" in t for t in texts):
            raise SystemExit("FAIL: the confirmation does not say the files go to the Trash")
        tab_to(app, "push button", "Confirm")
        key("Return")
        moved = wait_for("the space moved", lambda: next(
            (n for n in walk(app) if n.getRoleName() == "label" and n.name.endswith(" Moved to Trash")), None))
        log("label:", moved.name)
        if moved.name != "5.0 kB Moved to Trash":
            raise SystemExit(f"FAIL: label {moved.name!r}, expected '5.0 kB Moved to Trash'")
        in_trash = sorted(os.listdir(os.path.join(trash, "files")))
        if in_trash != ["old-report.pdf", "track.flac"]:
            raise SystemExit(f"FAIL: the Trash holds {in_trash}")
        with open(os.path.join(trash, "info", "old-report.pdf.trashinfo")) as f:
            record = f.read()
        if "Path=" + urllib.parse.quote(os.path.join(home, "Documents/old-report.pdf")) not in record:
            raise SystemExit(f"FAIL: the Trash record says {record!r}")
        log("trash:", in_trash)

        # Always Keep on the video, from the row's menu.
        give_keyboard(env, "Spruce")
        tab_until(app, "the categories", lambda n: n.name.startswith("Unchanged for over a Year"))
        down_until(app, "Files from 5 MB to 100 MB", keys=("Up",))
        files = wait_for("the video listed", lambda: find(app, "table cell", "clip.mp4")
                         or find(app, "tree item", "clip.mp4"))
        tab_until(app, "the video", lambda n: n.name == "clip.mp4")
        # Shift+F10, the menu key every keyboard has (xdotool: pyatspi sends no modifiers).
        subprocess.run(["xdotool", "key", "shift+F10"], env=env, check=False, timeout=20)
        # Qt keeps popup menus out of the accessibility tree (a screen reader
        # follows them by their focus events): down to the third item,
        # "Always Keep", and Return; what it did is checked below.
        time.sleep(0.5)
        for _ in range(3):
            key("Down")
        key("Return")
        note = wait_for("the note", lambda: next(
            (n for n in walk(app) if n.getRoleName() == "label" and n.name.endswith("will always be kept.")), None))
        log("note:", note.name)
        video = os.path.join(home, "Videos/clip.mp4")
        if kept_paths(config) != [video]:
            raise SystemExit(f"FAIL: the list holds {kept_paths(config)}")
        wait_for("the video gone from the rescanned list", lambda: not (find(files, "table cell", "clip.mp4")
                 or find(app, "table cell", "clip.mp4")))

        tab_to(app, "push button", "Always-Keep List")
        key("Return")
        kept = wait_for("the preferences page", lambda: find(app, "list", "Kept files and folders"))
        give_keyboard(env, "Preferences")
        rows = [n.name for n in walk(kept) if n.getRoleName() == "list item"]
        log("kept:", rows)
        if rows != [video]:
            raise SystemExit(f"FAIL: the page lists {rows}")
        tab_to(app, "push button", "Remove")
        key("Return")
        wait_for("the list emptied", lambda: not kept_paths(config))
        log("PASS: moved to the Trash with its records, kept, listed and removed from the keyboard")
    finally:
        spruce.terminate()
        spruce.wait(10)


if __name__ == "__main__":
    main()

#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Drives the System module over AT-SPI, as a screen-reader user would.

Run with tests/gui/atspi_review.sh (a private D-Bus session and Xvfb), after
atspi_review.py. It plants a system root (never the real one) with packages
in the apt cache, a link named like a package and a crash report, starts
`spruce --sysroot ROOT --tools TOOLS` and, through the accessibility tree and
the keyboard only: Down three times to "System" (after Application Junk),
Tab to "Scan" and Return; on the detail screen Space on "Package Cache" (the
focus is there); Tab to "Clean", Return; Tab from "Cancel" to "Confirm",
Return. The clean goes through spruce-admin (run directly: the tests run as
root). Afterwards the packages must be gone and everything else there, and
the label must say what was freed. Exit code 0 on success.
"""
import os
import subprocess
import sys
import tempfile
import time

import pyatspi

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from atspi_review import find, focused, key, log, tab_to, wait_for, walk  # noqa: E402

SPRUCE = sys.argv[1]
RESOURCES = sys.argv[2]

PACKAGES = {
    "var/cache/apt/archives/bash_5.2.15-2_amd64.deb": 3000,
    "var/cache/apt/archives/zsh_5.9-4_amd64.deb": 2000,
}
KEPT = {
    "elsewhere/keep.deb": 10,
    "var/cache/apt/archives/lock": 0,
    "var/crash/_usr_bin_gedit.1000.crash": 300,
}


def plant(root):
    for relative, size in {**PACKAGES, **KEPT}.items():
        path = os.path.join(root, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(b"x" * size)
    os.symlink(os.path.join(root, "elsewhere/keep.deb"), os.path.join(root, "var/cache/apt/archives/link.deb"))


def main():
    with tempfile.TemporaryDirectory(prefix="spruce-atspi-home-") as home, \
            tempfile.TemporaryDirectory(prefix="spruce-atspi-config-") as config, \
            tempfile.TemporaryDirectory(prefix="spruce-atspi-root-") as root, \
            tempfile.TemporaryDirectory(prefix="spruce-atspi-tools-") as tools:
        run(home, config, root, tools)


def run(home, config, root, tools):
    plant(root)
    os.makedirs(os.path.join(config, "Spruce"), exist_ok=True)
    with open(os.path.join(config, "Spruce", "Spruce.ini"), "w") as f:
        f.write("[General]\nHasLaunchedOnce=true\n")
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=config, XDG_RUNTIME_DIR=config,
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb", SPRUCE_RESOURCES=RESOURCES)
    spruce = subprocess.Popen([SPRUCE, "--sysroot", root, "--tools", tools], env=env)
    try:
        app = wait_for("the application on the accessibility bus", lambda: next(
            (a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.name.lower().startswith("spruce")), None),
            timeout=60)
        log("found", app.name)
        modules = wait_for("the module list", lambda: next(
            (n for n in walk(app) if n.getRoleName() == "list" and find(n, "list item", "System")), None))
        names = [modules.getChildAtIndex(i).name for i in range(modules.childCount)]
        log("modules:", " | ".join(names))
        if names.index("System") != names.index("Application Junk") + 1:
            raise SystemExit(f"FAIL: System is not read right after Application Junk: {names}")
        subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "Spruce", "windowfocus", "--sync"],
                       env=env, check=False, timeout=20)
        modules.queryComponent().grabFocus()
        time.sleep(0.3)
        # Down from "Dashboard" until the focus is on "System": three rows, as it is shown.
        for _ in range(12):
            now = focused(app)
            if now is not None and now.getRoleName() == "list item" and now.name == "System":
                break
            key("Down")
        else:
            raise SystemExit("FAIL: Down never reached System")
        scan = wait_for('"Scan"', lambda: find(app, "push button", "Scan"))
        log("overview:", scan.name)
        tab_to(app, "push button", "Scan")
        key("Return")

        categories = wait_for("the category list", lambda: find(app, "list", "Categories"))
        packages = wait_for("Package Cache", lambda: find(categories, "list item", starts="Package Cache"))
        log("category:", packages.name, "|", packages.description)
        wait_for("the focus on Package Cache", lambda: (focused(app) is not None
                 and focused(app).name.startswith("Package Cache")))
        key("space")
        wait_for("the category selected", lambda: find(categories, "list item", starts="Package Cache")
                 .getState().contains(pyatspi.STATE_CHECKED))
        files = wait_for("the file outline", lambda: find(app, "tree table", "Files") or find(app, "tree", "Files"))
        listed = sorted(n.name for n in walk(files) if n.getRoleName() in ("table cell", "tree item")
                        and n.name.endswith("package file"))
        log("files:", " | ".join(listed))
        if len(listed) != len(PACKAGES):
            raise SystemExit(f"FAIL: the outline lists {listed}, expected the {len(PACKAGES)} packages")

        tab_to(app, "push button", "Clean")
        key("Return")
        dialog = wait_for("the confirmation", lambda: find(app, "alert") or find(app, "dialog"))
        log("dialog:", dialog.name, "| focus on", focused(app).name)
        if focused(app).name != "Cancel":
            raise SystemExit("FAIL: the dialog does not start on \"Cancel\"")
        tab_to(app, "push button", "Confirm")
        key("Return")
        freed = wait_for("the space freed", lambda: next(
            (n for n in walk(app) if n.getRoleName() == "label" and n.name.endswith(" Free Up")), None))
        log("label:", freed.name)

        gone = [r for r in PACKAGES if os.path.lexists(os.path.join(root, r))]
        missing = [r for r in KEPT if not os.path.lexists(os.path.join(root, r))]
        if gone or missing or not os.path.islink(os.path.join(root, "var/cache/apt/archives/link.deb")):
            raise SystemExit(f"FAIL: packages still there {gone}, other files gone {missing}")
        if freed.name != "5.0 kB Free Up":
            raise SystemExit(f"FAIL: label {freed.name!r}, expected '5.0 kB Free Up'")
        log("PASS: the packages went through spruce-admin, nothing else;", freed.name)
    finally:
        spruce.terminate()
        spruce.wait(10)


if __name__ == "__main__":
    main()

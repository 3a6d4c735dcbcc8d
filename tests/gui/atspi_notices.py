#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The notices and the View menu as a screen-reader user meets them.

Run with tests/gui/atspi_review.sh. From the keyboard only: Alt+H, Down to
"Check for Updates…", Return; the notice must read the version and where
releases are published, start on "Close" and close with Return. Then Alt+V:
"System" is checked; Down to "Dark", Return: "Dark" is checked and stored.
"""
import os
import subprocess
import sys
import tempfile
import time

import pyatspi

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import atspi_review as r  # noqa: E402  (its helpers; it reads the same arguments)

def xkey(env, k):
    subprocess.run(["xdotool", "key", k], env=env, check=False)
    time.sleep(0.4)

def menu_to(app, env, name, presses=12):
    for _ in range(presses):
        f = r.focused(app)
        if f is not None and f.name.replace("&", "") == name:
            return f
        xkey(env, "Down")
    raise SystemExit(f"FAIL: menu never reached {name}")

with tempfile.TemporaryDirectory() as home, tempfile.TemporaryDirectory() as config:
    os.makedirs(os.path.join(config, "Spruce"))
    open(os.path.join(config, "Spruce", "Spruce.ini"), "w").write("[General]\nHasLaunchedOnce=true\n")
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=config, XDG_RUNTIME_DIR=config,
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb", SPRUCE_RESOURCES=r.RESOURCES)
    p = subprocess.Popen([r.SPRUCE], env=env)
    try:
        app = r.wait_for("app", lambda: next((a for a in pyatspi.Registry.getDesktop(0) if a and a.name.lower().startswith("spruce")), None), 60)
        subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "Spruce", "windowfocus", "--sync"], env=env, timeout=20)
        time.sleep(1)
        xkey(env, "alt+h")
        menu_to(app, env, "Check for Updates…")
        xkey(env, "Return")
        label = r.wait_for("updates notice", lambda: r.find(app, "label", starts="This is Spruce"))
        r.log("notice:", label.name)
        info = r.find(app, "label", starts="Spruce does not look")
        r.log("notice text:", info.name)
        # No window manager here: give the new window the keyboard as one would.
        ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "Spruce"], env=env, capture_output=True, text=True).stdout.split()
        subprocess.run(["xdotool", "windowfocus", "--sync", ids[-1]], env=env, timeout=20)
        time.sleep(0.5)
        f = r.focused(app)
        r.log("focus:", f.getRoleName(), f.name)
        assert f.name == "Close", f.name
        buttons = [n.name for n in r.walk(app) if n.getRoleName() == "push button" and n.getState().contains(pyatspi.STATE_SHOWING)]
        r.log("buttons:", buttons)
        xkey(env, "Return")
        r.wait_for("notice closed", lambda: None if r.find(app, "label", starts="This is Spruce") else True)
        r.log("closed with Return")
        subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "Spruce", "windowfocus", "--sync"], env=env, timeout=20)
        xkey(env, "alt+v")
        items = [(n.name.replace("&", ""), n.getState().contains(pyatspi.STATE_CHECKED)) for n in r.walk(app)
                 if n.getRoleName() in ("check menu item", "radio menu item", "menu item") and n.name.replace("&", "") in ("Light", "Dark", "System")]
        r.log("view menu:", items)
        menu_to(app, env, "Dark")
        xkey(env, "Return")
        time.sleep(1)
        xkey(env, "alt+v")
        items = [(n.name.replace("&", ""), n.getState().contains(pyatspi.STATE_CHECKED)) for n in r.walk(app)
                 if n.getRoleName() in ("check menu item", "radio menu item", "menu item") and n.name.replace("&", "") in ("Light", "Dark", "System")]
        r.log("after Dark:", items)
        xkey(env, "Escape")
        ini = open(os.path.join(config, "Spruce", "Spruce.ini")).read()
        r.log("settings:", [l for l in ini.splitlines() if "ColorScheme" in l])
        assert ("Dark", True) in items and ("System", False) in items, items
        assert "ColorScheme=Dark" in ini, ini
        r.log("PASS: the updates notice read and closed from the keyboard; Dark chosen in View and stored")
    finally:
        p.terminate()
        p.wait(10)

#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads Spruce's dashboard over AT-SPI, as a screen reader would, and checks
it against `spruce-cli --json monitor` taken at the same moment.

Run by bench/monitor_compare.sh (inside a private X server and session bus,
with Spruce started and QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1). Needs the Debian
package python3-pyatspi; run it with the system's /usr/bin/python3.

Usage: monitor_atspi.py CLI [ROUNDS]
Prints what the monitors say and one line per comparison; exits 1 when a
figure disagrees beyond what the issue allows (CPU: 5 points over nearly the
same interval; memory and disk: the shown precision).
"""

import json
import re
import subprocess
import sys
import time

import pyatspi

CLI = sys.argv[1]
ROUNDS = int(sys.argv[2]) if len(sys.argv) > 2 else 3
CPU_TOLERANCE = 5.0  # percentage points


def find_app(name, timeout=30):
    end = time.time() + timeout
    while time.time() < end:
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name.lower() == name:
                return app
        time.sleep(0.2)
    sys.exit(f"no accessible application named {name!r}")


def walk(node, depth=0):
    yield node
    if depth > 40:
        return
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1)


def find(app, predicate, timeout=10):
    end = time.time() + timeout
    while time.time() < end:
        for node in walk(app):
            try:
                if predicate(node):
                    return node
            except Exception:  # a node that went away while walking
                pass
        time.sleep(0.2)
    return None


def monitor(app, kind):
    node = find(app, lambda n: n.name == kind or n.name.startswith(kind + ": "))
    if node is None:
        sys.exit(f"no monitor {kind!r} in the accessibility tree")
    return node


ENTRY = re.compile(r"^(.*?) (-?[0-9.]+(?:%|GB|MB| bytes?| kB| MB| GB| TB| PB| EB))$")


def legend(description):
    """'System 3.1%, Other 178.0 GB' -> {'System': '3.1%', 'Other': '178.0 GB'}"""
    out = {}
    for part in description.split(", "):
        match = ENTRY.match(part)
        if match:
            out[match.group(1)] = match.group(2)
    return out


def format_size(n):
    """The GUI's byte-count text (GLib's g_format_size rules)."""
    if abs(n) < 1000:
        sign = "-" if n < 0 else ""
        m = abs(n)
        return f"{sign}{m} byte" + ("" if m == 1 else "s")
    sign = "-" if n < 0 else ""
    m = abs(n)
    unit, name = 1000, "kB"
    for next_unit, next_name in ((10**6, "MB"), (10**9, "GB"), (10**12, "TB"), (10**15, "PB"), (10**18, "EB")):
        if m >= next_unit:
            unit, name = next_unit, next_name
    return f"{sign}{m / unit:.1f} {name}"


def memory_unit(gb):
    return f"{gb:.2f}GB" if gb >= 1.0 else f"{int(gb * 1000)}MB"


def memory_value(text):
    """'1.34GB' -> 1.34, '60MB' -> 0.060 (gigabytes)."""
    match = re.fullmatch(r"([0-9.]+)(GB|MB)", text)
    return float(match.group(1)) / (1 if match.group(2) == "GB" else 1000)


def wait_for_change(node, since=None, timeout=8):
    """Waits until a monitor's description differs from `since` (by default
    the current one: the next redraw) and returns it."""
    before = node.description if since is None else since
    end = time.time() + timeout
    while time.time() < end:
        if node.description != before:
            return node.description
        time.sleep(0.02)
    return node.description


failures = 0


def check(ok, line):
    global failures
    print(("ok    " if ok else "FAIL  ") + line)
    if not ok:
        failures += 1


app = find_app("spruce")
cpu, memory, disk, battery = (monitor(app, k) for k in ("CPU", "Memory", "Disk", "Battery"))
print("The monitors as a screen reader reads them:")
for node in (cpu, memory, disk, battery):
    print(f"  {node.name} | {node.description}")

# The disk split is complete once both measurements are in.
end = time.time() + 120
while "Calculating" in disk.description and time.time() < end:
    time.sleep(0.5)

for round_ in range(ROUNDS):
    # The CPU and memory views redraw together every 2 s, at t, t + 2, t + 4.
    # A `monitor --watch 2` started at t + 1.75 samples at t + 2 (memory, and
    # the start of its CPU interval) and t + 4 (the end): the same moments.
    before = wait_for_change(cpu)
    time.sleep(max(0.0, 2.0 - 0.25 - 0.03 - 0.02))
    memory_before = memory.description
    watch = subprocess.Popen([CLI, "--json", "monitor", "--watch", "2"], stdout=subprocess.PIPE, text=True)
    gui_memory = legend(wait_for_change(memory, since=memory_before))
    after_first = wait_for_change(cpu, since=before)
    first = json.loads(watch.stdout.readline())
    gui_cpu = legend(wait_for_change(cpu, since=after_first))
    second = json.loads(watch.stdout.readline())
    watch.terminate()
    watch.wait()

    print(f"round {round_ + 1}:")
    for name in ("System", "User", "Idle", "Nice"):
        gui = float(gui_cpu[name].rstrip("%"))
        cli = second["cpu"][name.lower()]
        check(abs(gui - cli) <= CPU_TOLERANCE, f"CPU {name:7} screen {gui:5.1f}%  cli {cli:5.1f}%")
    names = {"Wired": "wired", "Active": "active", "Inactive": "inactive", "Compressed": "compressed", "Free": "free"}
    for name, key in names.items():
        cli = memory_unit(first["memoryUsage"][key])
        gui = gui_memory[name]
        # Samples some milliseconds apart: a last-digit step is memory that
        # really moved in between, not a disagreement.
        step = 0.01 if gui.endswith("GB") else 0.001
        same = gui == cli
        check(same or abs(memory_value(gui) - memory_value(cli)) <= step + 1e-9,
              f"Memory {name:10} screen {gui:>8}  cli {cli:>8}" + ("" if same else "  (one step apart)"))

caption = disk.name.split(": ", 1)[1]
check(caption == format_size(second["disk"]["capacity"]),
      f"Disk capacity screen {caption}  cli {format_size(second['disk']['capacity'])}")
gui_disk = legend(disk.description)
cli_slices = {s["label"]: s["bytes"] for s in second["disk"]["fileDistribution"]["distribution"]}
for label, value in gui_disk.items():
    if label in cli_slices:
        check(value == format_size(cli_slices[label]),
              f"Disk {label:11} screen {value:>9}  cli {format_size(cli_slices[label]):>9}")
    else:
        print(f"      Disk {label:11} screen {value:>9}  (the cli has no such slice yet)")
has_battery = second["battery"] is not None
check(has_battery == (battery.description != "No Battery Service Found"),
      f"Battery screen {battery.description!r}  cli {'present' if has_battery else 'none'}")

# Drive the dashboard: press Scan, wait for the three modules.
scan = find(app, lambda n: n.getRoleName() == "push button" and n.name == "Scan")
check(scan is not None, "a push button named Scan")
if scan is not None:
    scan.queryAction().doAction(0)
    rescan = find(app, lambda n: n.getRoleName() == "push button" and n.name == "Re-Scan", timeout=300)
    check(rescan is not None, "the scan button reads Re-Scan after the scan")
    done = find(app, lambda n: n.name.startswith("Scanning Completed! ") and n.name.endswith(" File Found"))
    check(done is not None, "completion: " + (done.name if done else "none"))
    for module in ("System Junk", "Application Junk", "Large and Old Files"):
        button = find(app, lambda n, m=module: n.name == "Review " + m
                      and n.getState().contains(pyatspi.STATE_SHOWING), timeout=2)
        check(button is not None, f"a shown button named 'Review {module}'")

sys.exit(1 if failures else 0)

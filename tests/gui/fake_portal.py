#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
# A stand-in for the freedesktop settings portal on a private session bus:
# org.freedesktop.portal.Desktop at /org/freedesktop/portal/desktop answers
# Settings.Read("org.freedesktop.appearance", "color-scheme") with the number
# given (wrapped as the portal does, a variant in a variant), and on SIGUSR1
# switches to the other preference (1 dark <-> 2 light) and says so with
# SettingChanged. Prints "ready" once the name is owned.
# Usage: fake_portal.py SCHEME
import signal
import sys

from gi.repository import Gio, GLib

XML = """
<node>
  <interface name="org.freedesktop.portal.Settings">
    <method name="Read">
      <arg type="s" name="namespace" direction="in"/>
      <arg type="s" name="key" direction="in"/>
      <arg type="v" name="value" direction="out"/>
    </method>
    <signal name="SettingChanged">
      <arg type="s" name="namespace"/>
      <arg type="s" name="key"/>
      <arg type="v" name="value"/>
    </signal>
  </interface>
</node>
"""
PATH = "/org/freedesktop/portal/desktop"
IFACE = "org.freedesktop.portal.Settings"
scheme = int(sys.argv[1])
connection = None


def on_call(conn, sender, path, iface, method, params, invocation):
    group, key = params.unpack()
    if method == "Read" and group == "org.freedesktop.appearance" and key == "color-scheme":
        inner = GLib.Variant("v", GLib.Variant("u", scheme))
        invocation.return_value(GLib.Variant("(v)", (inner,)))
    else:
        invocation.return_dbus_error("org.freedesktop.portal.Error.NotFound", "no such setting")


def flip():
    global scheme
    scheme = 2 if scheme == 1 else 1
    connection.emit_signal(None, PATH, IFACE, "SettingChanged",
                           GLib.Variant("(ssv)", ("org.freedesktop.appearance", "color-scheme",
                                                  GLib.Variant("u", scheme))))
    return GLib.SOURCE_REMOVE


def on_bus(conn, name):
    global connection
    connection = conn
    node = Gio.DBusNodeInfo.new_for_xml(XML)
    conn.register_object(PATH, node.interfaces[0], on_call, None, None)


def on_name(conn, name):
    print("ready", flush=True)


loop = GLib.MainLoop()
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR1, flip)
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, loop.quit)
Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.portal.Desktop", Gio.BusNameOwnerFlags.NONE,
                 on_bus, on_name, lambda *a: loop.quit())
loop.run()

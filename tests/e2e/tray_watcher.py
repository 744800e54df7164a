#!/usr/bin/python3
"""A minimal StatusNotifierWatcher for the tray test: owns org.kde.StatusNotifierWatcher on the bus
given as the first argument and prints one line "registrado SENDER SERVICE" for each item that
registers. Runs under Debian's own Python, where python3-gi lives."""
import sys

from gi.repository import Gio, GLib

INTERFACE = """
<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
  </interface>
</node>
"""

items = []


def on_call(connection, sender, path, interface, method, params, invocation):
    service = params.unpack()[0]
    if method == "RegisterStatusNotifierItem":
        items.append(service)
        print("registrado %s %s" % (sender, service), flush=True)
        connection.emit_signal(None, path, interface, "StatusNotifierItemRegistered",
                               GLib.Variant("(s)", (service,)))
    invocation.return_value(None)


def on_property(connection, sender, path, interface, name):
    values = {"RegisteredStatusNotifierItems": GLib.Variant("as", items),
              "IsStatusNotifierHostRegistered": GLib.Variant("b", True),
              "ProtocolVersion": GLib.Variant("i", 0)}
    return values[name]


def main():
    bus = Gio.DBusConnection.new_for_address_sync(
        sys.argv[1], Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
        | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
    node = Gio.DBusNodeInfo.new_for_xml(INTERFACE)
    bus.register_object("/StatusNotifierWatcher", node.interfaces[0], on_call, on_property, None)
    reply = bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                          "RequestName", GLib.Variant("(su)", ("org.kde.StatusNotifierWatcher", 4)),
                          GLib.VariantType("(u)"), Gio.DBusCallFlags.NONE, -1, None)
    if reply.unpack()[0] != 1:
        print("el nombre del watcher ya tiene dueno", flush=True)
        return 1
    print("listo", flush=True)
    GLib.MainLoop().run()
    return 0


if __name__ == "__main__":
    sys.exit(main())

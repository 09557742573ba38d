#!/usr/bin/python3
"""A stand-in UDisks2 daemon for tests, on the bus at DBUS_STARTER_ADDRESS.

It knows one device: ResolveDevice({"path": DEVICE}) answers with its block
object, whose OpenForBackup opens DEVICE itself and hands the descriptor
over, as the real daemon does after polkit has agreed. --refuse answers
OpenForBackup with polkit's refusal; --writable hands out a descriptor open
for writing, which the program must refuse. Each OpenForBackup call is
appended to --log, so a test can tell whether the daemon was asked at all
and whether it was allowed to ask the user for a password.
"""
import argparse
import os
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

SERVICE = "org.freedesktop.UDisks2"
MANAGER = "/org/freedesktop/UDisks2/Manager"
BLOCK = "/org/freedesktop/UDisks2/block_devices/card"


class NotAuthorized(dbus.DBusException):
    _dbus_error_name = "org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain"


class Served(dbus.service.Object):
    """An object of the daemon at its PATH, answering by the command line."""
    PATH = None

    def __init__(self, bus, args):
        super().__init__(bus, self.PATH)
        self.args = args


class Manager(Served):
    PATH = MANAGER

    @dbus.service.method("org.freedesktop.UDisks2.Manager",
                         in_signature="a{sv}a{sv}", out_signature="ao")
    def ResolveDevice(self, devspec, options):
        if str(devspec.get("path", "")) == self.args.device:
            return dbus.Array([dbus.ObjectPath(BLOCK)], signature="o")
        return dbus.Array([], signature="o")


class Block(Served):
    PATH = BLOCK

    @dbus.service.method("org.freedesktop.UDisks2.Block",
                         in_signature="a{sv}", out_signature="h")
    def OpenForBackup(self, options):
        interactive = not bool(options.get("auth.no_user_interaction", True))
        with open(self.args.log, "a") as log:
            log.write("OpenForBackup interactive=%s\n" % interactive)
        if self.args.refuse:
            raise NotAuthorized("Not authorized to perform operation")
        flags = os.O_RDWR if self.args.writable else os.O_RDONLY
        fd = os.open(self.args.device, flags | os.O_CLOEXEC)
        try:
            return dbus.types.UnixFd(fd)
        finally:
            os.close(fd)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("device")
    parser.add_argument("--log", required=True)
    parser.add_argument("--ready", required=True)
    parser.add_argument("--refuse", action="store_true")
    parser.add_argument("--writable", action="store_true")
    args = parser.parse_args()

    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(os.environ["DBUS_STARTER_ADDRESS"])
    name = dbus.service.BusName(SERVICE, bus)
    objects = [Manager(bus, args), Block(bus, args)]
    # Written once the name is owned: from then on calls reach us.
    with open(args.ready, "w") as ready:
        ready.write("ready\n")
    GLib.MainLoop().run()
    del name, objects


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""A stand-in desktop portal for the tests: the GlobalShortcuts and RemoteDesktop interfaces'
request/response flow on the session bus, plus a control object the tests drive it with.

Usage: fake-portal.py   (owns org.freedesktop.portal.Desktop until killed)
Control (org.orvelraza.TestPortal at /org/orvelraza/TestPortal):
  Press(id) / Release(id)   Activated / Deactivated for the last session that bound `id`
  Log() -> s                JSON list of every portal call with its arguments
  Keys() -> s               JSON list of [keysym, state] sent through the remote keyboard
  Refuse(method)            answer that method's Request with response 2 from now on
"""
import json
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

BUS_NAME = "org.freedesktop.portal.Desktop"
PATH = "/org/freedesktop/portal/desktop"
SHORTCUTS = "org.freedesktop.portal.GlobalShortcuts"
REMOTE = "org.freedesktop.portal.RemoteDesktop"
REQUEST = "org.freedesktop.portal.Request"
SESSION = "org.freedesktop.portal.Session"
CONTROL = "org.orvelraza.TestPortal"


def plain(value):
    """D-Bus values as JSON-friendly Python values."""
    if isinstance(value, (dbus.Dictionary, dict)):
        return {str(k): plain(v) for k, v in value.items()}
    if isinstance(value, (dbus.Array, dbus.Struct, list, tuple)):
        return [plain(v) for v in value]
    if isinstance(value, dbus.Boolean):
        return bool(value)
    if isinstance(value, (dbus.String, dbus.ObjectPath)):
        return str(value)
    if isinstance(value, (int, float)):
        return value
    return str(value)


def sender_part(sender):
    return sender.lstrip(":").replace(".", "_")


class Request(dbus.service.Object):
    @dbus.service.signal(REQUEST, signature="ua{sv}")
    def Response(self, response, results):
        pass

    @dbus.service.method(REQUEST)
    def Close(self):
        self.remove_from_connection()


class Session(dbus.service.Object):
    def __init__(self, bus, path, portal):
        super().__init__(bus, path)
        self.path = path
        self.portal = portal
        self.closed = False

    @dbus.service.method(SESSION)
    def Close(self):
        self.closed = True
        self.portal.log.append({"method": "Session.Close", "session": self.path})
        self.remove_from_connection()


class RemoteDesktopSessions(dbus.service.Object):
    @dbus.service.method(REMOTE, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def CreateSession(self, options, sender=None):
        return self._create_session(REMOTE, options, sender)


class Portal(RemoteDesktopSessions):
    def __init__(self, bus):
        super().__init__(bus, PATH)
        self.bus = bus
        self.log = []
        self.keys = []
        self.refused = set()
        self.sessions = {}
        self.bound = {}  # session path -> list of shortcut ids
        self.tokens = 0

    # Requests answer after the call returned, as a real portal does after its dialog.
    def respond(self, method, sender, options, results):
        token = str(options.get("handle_token", "t%d" % len(self.log)))
        path = "%s/request/%s/%s" % (PATH, sender_part(sender), token)
        request = Request(self.bus, path)
        code = 2 if method in self.refused else 0

        def send():
            request.Response(dbus.UInt32(code), dbus.Dictionary(results if code == 0 else {}, signature="sv"))
            request.remove_from_connection()
            return False

        GLib.timeout_add(20, send)
        return dbus.ObjectPath(path)

    def new_session(self, sender, options):
        token = str(options.get("session_handle_token", "s%d" % len(self.sessions)))
        path = "%s/session/%s/%s" % (PATH, sender_part(sender), token)
        self.sessions[path] = Session(self.bus, path, self)
        return path

    # org.freedesktop.DBus.Properties, for the version the clients probe.
    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface in (SHORTCUTS, REMOTE) and name == "version":
            return dbus.UInt32(2)
        raise dbus.exceptions.DBusException("No such property", name="org.freedesktop.DBus.Error.UnknownProperty")

    # GlobalShortcuts
    @dbus.service.method(SHORTCUTS, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def CreateSession(self, options, sender=None):
        return self._create_session(SHORTCUTS, options, sender)

    def _create_session(self, interface, options, sender):
        path = self.new_session(sender, options)
        self.log.append({"method": interface + ".CreateSession", "options": plain(options), "session": path})
        return self.respond("CreateSession", sender, options, {"session_handle": dbus.String(path)})

    @dbus.service.method(SHORTCUTS, in_signature="oa(sa{sv})sa{sv}", out_signature="o", sender_keyword="sender")
    def BindShortcuts(self, session, shortcuts, parent_window, options, sender=None):
        self.log.append({"method": "BindShortcuts", "session": str(session), "shortcuts": plain(shortcuts)})
        self.bound[str(session)] = [str(s[0]) for s in shortcuts]
        answered = dbus.Array(signature="(sa{sv})")
        for shortcut_id, properties in shortcuts:
            trigger = str(properties.get("preferred_trigger", ""))
            answered.append(dbus.Struct((shortcut_id, dbus.Dictionary({
                "description": properties.get("description", ""),
                "trigger_description": dbus.String(trigger.replace("CTRL", "Ctrl").replace("ALT", "Alt")),
            }, signature="sv")), signature="sa{sv}"))
        return self.respond("BindShortcuts", sender, options, {"shortcuts": answered})

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Activated(self, session, shortcut_id, timestamp, options):
        pass

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Deactivated(self, session, shortcut_id, timestamp, options):
        pass

    # RemoteDesktop (its CreateSession lives in the base class: one name, two interfaces)
    @dbus.service.method(REMOTE, in_signature="oa{sv}", out_signature="o", sender_keyword="sender")
    def SelectDevices(self, session, options, sender=None):
        self.log.append({"method": "SelectDevices", "session": str(session), "options": plain(options)})
        return self.respond("SelectDevices", sender, options, {})

    @dbus.service.method(REMOTE, in_signature="osa{sv}", out_signature="o", sender_keyword="sender")
    def Start(self, session, parent_window, options, sender=None):
        self.tokens += 1
        self.log.append({"method": "Start", "session": str(session)})
        return self.respond("Start", sender, options,
                            {"devices": dbus.UInt32(1), "restore_token": dbus.String("restore-%d" % self.tokens)})

    @dbus.service.method(REMOTE, in_signature="oa{sv}iu")
    def NotifyKeyboardKeysym(self, session, options, keysym, state):
        if str(session) not in self.sessions or self.sessions[str(session)].closed:
            raise dbus.exceptions.DBusException("No such session", name="org.freedesktop.DBus.Error.AccessDenied")
        self.keys.append([int(keysym), int(state)])


class Control(dbus.service.Object):
    def __init__(self, bus, portal):
        super().__init__(bus, "/org/orvelraza/TestPortal")
        self.portal = portal

    def _session_for(self, shortcut_id):
        for path in reversed(list(self.portal.bound)):
            if shortcut_id in self.portal.bound[path] and not self.portal.sessions[path].closed:
                return path
        raise dbus.exceptions.DBusException("Not bound: " + shortcut_id, name="org.freedesktop.DBus.Error.Failed")

    @dbus.service.method(CONTROL, in_signature="s")
    def Press(self, shortcut_id):
        self.portal.Activated(dbus.ObjectPath(self._session_for(shortcut_id)), shortcut_id, dbus.UInt64(0), {})

    @dbus.service.method(CONTROL, in_signature="s")
    def Release(self, shortcut_id):
        self.portal.Deactivated(dbus.ObjectPath(self._session_for(shortcut_id)), shortcut_id, dbus.UInt64(0), {})

    @dbus.service.method(CONTROL, out_signature="s")
    def Log(self):
        return json.dumps(self.portal.log)

    @dbus.service.method(CONTROL, out_signature="s")
    def Keys(self):
        return json.dumps(self.portal.keys)

    @dbus.service.method(CONTROL, in_signature="s")
    def Refuse(self, method):
        self.portal.refused.add(str(method))


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    portal = Portal(bus)
    Control(bus, portal)
    name = dbus.service.BusName(BUS_NAME, bus, do_not_queue=True)
    print("ready", flush=True)
    loop = GLib.MainLoop()
    try:
        loop.run()
    finally:
        del name


if __name__ == "__main__":
    sys.exit(main())

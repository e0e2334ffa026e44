#!/usr/bin/python3
# Drives the KWin session of scripts/wayland-session.sh as a person would, for tests. One command
# per line on stdin, one answer line on stdout ("ok ...", or "error ..."):
#   keys down|up|tap CODE...   evdev key codes through the RemoteDesktop portal's keyboard, which
#                              KWin treats as real keys (tap: down in order, up in reverse)
#   active                     the active window: "ok PID<TAB>RESOURCE_CLASS<TAB>CAPTION" ("ok" alone
#                              when none), from KWin's scripting
#   activate PID               makes that process's window the active one
#   screenshot FILE            a PNG of the whole screen from KWin's ScreenShot2 interface
# Prints "ready" once the portal keyboard is running.
import os
import sys
import tempfile

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
loop = GLib.MainLoop()
PORTAL = ("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop")
RD = "org.freedesktop.portal.RemoteDesktop"
DRIVER_IFACE = "org.orvelraza.KWinDriver"
portal = bus.get_object(*PORTAL)
sender = bus.get_unique_name()[1:].replace(".", "_")
tokens = iter(range(1, 1 << 30))


def wait(ms):
    GLib.timeout_add(ms, loop.quit)
    loop.run()


def request(interface, method, *args, options):
    token = "kwindriver%d" % next(tokens)
    path = "/org/freedesktop/portal/desktop/request/%s/%s" % (sender, token)
    answer = {}

    def response(code, results):
        answer["r"] = (int(code), results)
        loop.quit()

    match = bus.add_signal_receiver(response, "Response", "org.freedesktop.portal.Request", path=path)
    options["handle_token"] = token
    getattr(dbus.Interface(portal, interface), method)(*args, options)
    timer = GLib.timeout_add(10000, loop.quit)
    loop.run()
    GLib.source_remove(timer) if "r" in answer else None
    match.remove()
    if "r" not in answer or answer["r"][0] != 0:
        raise RuntimeError("%s.%s was refused: %r" % (interface, method, answer.get("r")))
    return answer["r"][1]


class Reports(dbus.service.Object):
    """Where the KWin scripts send what they found."""

    def __init__(self):
        super().__init__(bus, "/driver")
        self.value = None

    @dbus.service.method(DRIVER_IFACE, in_signature="s", out_signature="")
    def report(self, value):
        self.value = str(value)
        loop.quit()


reports = Reports()
scripting = dbus.Interface(bus.get_object("org.kde.KWin", "/Scripting"), "org.kde.kwin.Scripting")


def run_script(body, answers=True):
    """Runs a KWin script; with answers, returns what it reported through report()."""
    helper = 'function report(v) { callDBus("%s", "/driver", "%s", "report", String(v)); }\n' % (
        bus.get_unique_name(), DRIVER_IFACE)
    with tempfile.NamedTemporaryFile("w", suffix=".js", delete=False) as f:
        f.write(helper + body)
        path = f.name
    name = "orvel-driver-%d" % next(tokens)
    try:
        number = int(scripting.loadScript(path, name, signature="ss"))
        if number < 0:
            raise RuntimeError("KWin did not load the script")
        reports.value = None
        script = None
        for object_path in ("/%d" % number, "/Scripting/Script%d" % number):
            try:
                script = dbus.Interface(bus.get_object("org.kde.KWin", object_path), "org.kde.kwin.Script")
                script.run()
                break
            except dbus.DBusException:
                script = None
        if script is None:
            raise RuntimeError("KWin's script object was not found")
        if answers:
            timer = GLib.timeout_add(5000, loop.quit)
            loop.run()
            GLib.source_remove(timer) if reports.value is not None else None
            if reports.value is None:
                raise RuntimeError("the KWin script did not answer")
        return reports.value
    finally:
        scripting.unloadScript(name)
        os.unlink(path)


def active():
    return run_script("""
const c = workspace.activeClient;
report(c ? [c.pid, c.resourceClass, c.caption].join("\\t") : "");
""")


def activate(pid):
    return run_script("""
let done = "none";
for (const c of workspace.clientList()) {
    if (c.pid === %d && c.normalWindow) { workspace.activeClient = c; done = "done"; break; }
}
report(done);
""" % pid)


def screenshot(path):
    import gi
    gi.require_version("GdkPixbuf", "2.0")
    from gi.repository import GdkPixbuf
    shots = dbus.Interface(bus.get_object("org.kde.KWin", "/org/kde/KWin/ScreenShot2"), "org.kde.KWin.ScreenShot2")
    read, write = os.pipe()
    results = shots.CaptureActiveScreen({"native-resolution": True}, dbus.types.UnixFd(write))
    os.close(write)
    data = bytearray()
    while True:
        chunk = os.read(read, 1 << 20)
        if not chunk:
            break
        data += chunk
    os.close(read)
    width, height, stride = int(results["width"]), int(results["height"]), int(results["stride"])
    # QImage::Format_ARGB32/RGB32 in memory is B, G, R, A on a little-endian machine.
    rgba = bytearray(width * height * 4)
    for y in range(height):
        row = data[y * stride:y * stride + width * 4]
        out = rgba[y * width * 4:(y + 1) * width * 4]
        out[0::4], out[1::4], out[2::4], out[3::4] = row[2::4], row[1::4], row[0::4], b"\xff" * width
        rgba[y * width * 4:(y + 1) * width * 4] = out
    GdkPixbuf.Pixbuf.new_from_bytes(GLib.Bytes.new(bytes(rgba)), GdkPixbuf.Colorspace.RGB, True, 8, width, height,
                                    width * 4).savev(path, "png", [], [])


session = request(RD, "CreateSession", options={"session_handle_token": "kwindriver"})["session_handle"]
request(RD, "SelectDevices", dbus.ObjectPath(session), options={"types": dbus.UInt32(1)})
request(RD, "Start", dbus.ObjectPath(session), "", options={})
remote = dbus.Interface(portal, RD)


def key(code, pressed):
    remote.NotifyKeyboardKeycode(dbus.ObjectPath(session), {}, dbus.Int32(code), dbus.UInt32(1 if pressed else 0))
    wait(30)


def command(line):
    words = line.split()
    if not words:
        return ""
    if words[0] == "keys" and len(words) > 2:
        codes = [int(w) for w in words[2:]]
        if words[1] in ("down", "tap"):
            for c in codes:
                key(c, True)
        if words[1] == "tap":
            wait(150)
        if words[1] in ("up", "tap"):
            for c in reversed(codes):
                key(c, False)
        return ""
    if words[0] == "active":
        return active()
    if words[0] == "activate" and len(words) == 2:
        return activate(int(words[1]))
    if words[0] == "screenshot" and len(words) == 2:
        screenshot(words[1])
        return ""
    raise RuntimeError("unknown command: " + line)


print("ready", flush=True)
for line in sys.stdin:
    try:
        answer = command(line.strip())
        print(("ok " + answer) if answer else "ok", flush=True)
    except Exception as e:  # noqa: BLE001 -- the test reads the message
        print("error " + str(e).replace("\n", " "), flush=True)

#!/usr/bin/python3
# A GTK text window for tests, reachable over AT-SPI like any GTK editor.
#   gtk-target.py OUT [TEXT]
# Starts with TEXT and the caret at its end, and writes the whole text to OUT whenever it
# changes (the test reads the file instead of the screen).
import os
import signal
import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import GLib, Gtk  # noqa: E402

out = sys.argv[1]
initial = sys.argv[2] if len(sys.argv) > 2 else ""


def save(buffer):
    text = buffer.get_text(buffer.get_start_iter(), buffer.get_end_iter(), True)
    tmp = out + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(tmp, out)


window = Gtk.Window(title="Test Editor")
window.set_default_size(480, 240)
view = Gtk.TextView()
buffer = view.get_buffer()
buffer.set_text(initial)
buffer.place_cursor(buffer.get_end_iter())
buffer.connect("changed", save)
save(buffer)
window.add(view)
window.connect("destroy", Gtk.main_quit)
window.show_all()
window.present()
view.grab_focus()
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, Gtk.main_quit)
Gtk.main()

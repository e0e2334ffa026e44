#!/usr/bin/python3
# A GTK text window for tests, reachable over AT-SPI like any GTK editor.
#   gtk-target.py OUT TEXT [SELECT_FROM SELECT_TO] [--class NAME] [--read-only]
# Starts with TEXT and the given characters selected (else the caret at its end), and writes the
# whole text to OUT whenever it changes (the test reads the file instead of the screen). With a
# terminal's window class it pastes on Ctrl+Shift+V only, as terminals do. Read-only, it keeps
# the focus and the caret but takes no edits.
import os
import signal
import sys

import gi
from gi.repository import GLib

args = sys.argv[1:]
wm_class = None
if "--class" in args:
    i = args.index("--class")
    wm_class = args[i + 1]
    del args[i:i + 2]
    # GDK names the window class after the program, and only when it starts.
    GLib.set_prgname(wm_class)

gi.require_version("Gdk", "3.0")
gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, Gtk  # noqa: E402
read_only = "--read-only" in args
if read_only:
    args.remove("--read-only")
out = args[0]
initial = args[1] if len(args) > 1 else ""
selection = (int(args[2]), int(args[3])) if len(args) > 3 else None


def save(buffer):
    text = buffer.get_text(buffer.get_start_iter(), buffer.get_end_iter(), True)
    tmp = out + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(tmp, out)


window = Gtk.Window(title="Test Editor")
if not wm_class:
    # The window system knows it by this class; the accessibility bus by its program name.
    window.set_wmclass("test-editor", "Test-editor")
window.set_default_size(480, 240)
view = Gtk.TextView()
view.set_editable(not read_only)
view.set_cursor_visible(True)
buffer = view.get_buffer()
buffer.set_text(initial)
if selection:
    buffer.select_range(buffer.get_iter_at_offset(selection[0]), buffer.get_iter_at_offset(selection[1]))
else:
    buffer.place_cursor(buffer.get_end_iter())
buffer.connect("changed", save)


def terminal_keys(widget, event):
    ctrl = event.state & Gdk.ModifierType.CONTROL_MASK
    shift = event.state & Gdk.ModifierType.SHIFT_MASK
    if ctrl and Gdk.keyval_to_lower(event.keyval) == Gdk.KEY_v:
        if shift:
            widget.emit("paste-clipboard")
        return True
    return False


if wm_class:
    view.connect("key-press-event", terminal_keys)
save(buffer)
window.add(view)
window.connect("destroy", Gtk.main_quit)
window.show_all()
window.present()
view.grab_focus()
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, Gtk.main_quit)
Gtk.main()

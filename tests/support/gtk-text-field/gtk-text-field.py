#!/usr/bin/python3
# gtk-text-field.py TEXT [--read-only]: one GTK window with one focused entry holding TEXT,
# caret at the end. Prints "ready" once shown, then every change of the text on its own line.
import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import GLib, Gtk  # noqa: E402


def main():
    text = sys.argv[1] if len(sys.argv) > 1 else ""
    window = Gtk.Window(title="Orvel GTK Field")
    window.set_default_size(480, 48)
    entry = Gtk.Entry()
    entry.set_text(text)
    entry.set_editable("--read-only" not in sys.argv)
    entry.connect("changed", lambda e: print("text:" + e.get_text(), flush=True))
    window.add(entry)
    window.connect("destroy", Gtk.main_quit)
    window.show_all()
    entry.grab_focus()
    entry.set_position(-1)

    def announce():
        print("ready", flush=True)
        return False

    GLib.timeout_add(200, announce)
    Gtk.main()


if __name__ == "__main__":
    main()

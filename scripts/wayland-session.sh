#!/usr/bin/env bash
# Runs a command inside a KDE Plasma Wayland session, all private to this run: a D-Bus session
# and runtime folder, KWin on a virtual output with software rendering (its kglobalaccel runs
# inside it), the real xdg-desktop-portal with the KDE backend, the accessibility bus and
# PulseAudio with a virtual microphone. WAYLAND_DISPLAY and QT_QPA_PLATFORM=wayland are exported,
# so Qt and GTK programs started by the command are native Wayland clients.
# Exits with 77 and a message when KWin cannot run on this machine; everything started here is
# stopped when the command ends.
set -euo pipefail

if [ "${1:-}" != "--inside-dbus" ]; then
  exec dbus-run-session -- "$0" --inside-dbus "$@"
fi
shift

skip() { echo "wayland-session: $*; skipped" >&2; exit 77; }

kwin=$(command -v kwin_wayland || true)
[ -n "$kwin" ] || skip "kwin_wayland is not installed"
portal=/usr/libexec/xdg-desktop-portal
portal_kde=$(ls /usr/lib/*/libexec/xdg-desktop-portal-kde /usr/libexec/xdg-desktop-portal-kde 2>/dev/null | head -n1 || true)
[ -x "$portal" ] && [ -n "$portal_kde" ] || skip "xdg-desktop-portal or xdg-desktop-portal-kde is not installed"

scratch=$(mktemp -d /tmp/orvel-wayland-session.XXXXXX)
pids=()
cleanup() {
  # The command's programs first, then the services, KWin last.
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  # The document portal, started on demand, mounts its FUSE file system in the runtime folder.
  if mountpoint -q "$XDG_RUNTIME_DIR/doc" 2>/dev/null; then
    fusermount3 -u -z "$XDG_RUNTIME_DIR/doc" 2>/dev/null || umount -l "$XDG_RUNTIME_DIR/doc" 2>/dev/null || true
  fi
  if [ -n "${ORVEL_KEEP_SESSION_LOGS:-}" ]; then
    cp "$scratch"/*.log "$ORVEL_KEEP_SESSION_LOGS"/ 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

wait_for() { # seconds, description, command...
  local tries=$(($1 * 20)) what=$2
  shift 2
  for _ in $(seq 1 "$tries"); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.05
  done
  echo "wayland-session: $what did not start" >&2
  return 1
}
has_name() { dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
  org.freedesktop.DBus.NameHasOwner string:"$1" | grep -q 'boolean true'; }

export XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
# KWin, kglobalaccel and the portal keep settings (kglobalshortcutsrc, restore tokens) here, not
# in the user's own folders.
export XDG_CONFIG_HOME="$scratch/config" XDG_CACHE_HOME="$scratch/cache"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME"
# No KWallet: started on demand by a keychain request, it would open its first-use wizard, a
# window that takes the focus. Secrets go to the keyring below.
printf '[Wallet]\nEnabled=false\nFirst Use=false\n' >"$XDG_CONFIG_HOME/kwalletrc"
export ORVEL_TEST_HOME="$scratch/home"
mkdir -p "$ORVEL_TEST_HOME/.local/share/keyrings"
export XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true KDE_SESSION_VERSION=5
unset DISPLAY
export WAYLAND_DISPLAY=orvel-wayland-0
export QT_QPA_PLATFORM=wayland GDK_BACKEND=wayland
export QT_ACCESSIBILITY=1 QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 NO_AT_BRIDGE=0
# No GPU: KWin and its clients render with Mesa's software renderer (llvmpipe). OpenGL rather
# than KWin's QPainter scene, since only the former offers the screenshot interface.
export LIBGL_ALWAYS_SOFTWARE=1
# Lets the tests take screenshots through KWin's ScreenShot2 interface.
export KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1

# /usr/bin/kwin_wayland carries the file capability cap_sys_resource; a container may refuse to
# execute it (EPERM). A plain copy runs the same.
cp "$kwin" "$scratch/kwin_wayland"
"$scratch/kwin_wayland" --virtual --no-lockscreen --no-kactivities --width 1600 --height 1000 \
  --socket "$WAYLAND_DISPLAY" >"$scratch/kwin.log" 2>&1 &
pids+=($!)
if ! wait_for 20 "KWin" test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" || ! wait_for 20 "KWin's D-Bus" has_name org.kde.KWin; then
  cat "$scratch/kwin.log" >&2
  kill -0 "${pids[-1]}" 2>/dev/null || skip "kwin_wayland cannot run here"
  exit 1
fi
wait_for 20 "kglobalaccel" has_name org.kde.kglobalaccel || { cat "$scratch/kwin.log" >&2; exit 1; }

dbus-update-activation-environment XDG_RUNTIME_DIR XDG_CONFIG_HOME XDG_CACHE_HOME XDG_SESSION_TYPE \
  XDG_CURRENT_DESKTOP KDE_FULL_SESSION KDE_SESSION_VERSION WAYLAND_DISPLAY QT_QPA_PLATFORM GDK_BACKEND \
  QT_ACCESSIBILITY QT_LINUX_ACCESSIBILITY_ALWAYS_ON LIBGL_ALWAYS_SOFTWARE >/dev/null 2>&1 || true

# Secret Service: a throw-away keyring, unlocked with an empty password (the portal asks for
# one, and would otherwise start a keyring in the user's home).
if command -v gnome-keyring-daemon >/dev/null; then
  eval "$(printf '\n' | HOME="$ORVEL_TEST_HOME" gnome-keyring-daemon --unlock --daemonize --components=secrets)"
  export GNOME_KEYRING_CONTROL
  [ -n "${GNOME_KEYRING_PID:-}" ] && pids+=("$GNOME_KEYRING_PID")
fi

# The accessibility bus, which Qt and GTK programs look up on the session bus.
at_spi=$(ls /usr/libexec/at-spi-bus-launcher /usr/lib/at-spi2-core/at-spi-bus-launcher 2>/dev/null | head -n1 || true)
if [ -n "$at_spi" ]; then
  "$at_spi" --launch-immediately >"$scratch/at-spi.log" 2>&1 &
  pids+=($!)
  wait_for 10 "the accessibility bus" has_name org.a11y.Bus || true
fi

# The KDE backend first, so the portal finds its interfaces when it starts. It is a Qt 5
# program: without qtwayland5 it aborts and the portal silently offers no GlobalShortcuts.
"$portal_kde" >"$scratch/portal-kde.log" 2>&1 &
pids+=($!)
wait_for 20 "xdg-desktop-portal-kde" has_name org.freedesktop.impl.portal.desktop.kde || { cat "$scratch/portal-kde.log" >&2; exit 1; }
"$portal" >"$scratch/portal.log" 2>&1 &
pids+=($!)
wait_for 20 "xdg-desktop-portal" has_name org.freedesktop.portal.Desktop || { cat "$scratch/portal.log" >&2; exit 1; }

# PulseAudio: the null sink's monitor becomes the default source through a virtual source,
# since Qt lists only sources that are not monitors.
if command -v pulseaudio >/dev/null; then
  export PULSE_RUNTIME_PATH="$XDG_RUNTIME_DIR/pulse"
  mkdir -p "$PULSE_RUNTIME_PATH"
  HOME="$scratch/pulsehome" pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit \
    -L "module-native-protocol-unix" \
    -L "module-null-sink sink_name=orvel_test_sink rate=48000" \
    -L "module-virtual-source source_name=orvel_test_mic master=orvel_test_sink.monitor" \
    -L "module-always-sink" >"$scratch/pulse.log" 2>&1 &
  pids+=($!)
  wait_for 5 "PulseAudio" pactl info || true
  pactl set-default-sink orvel_test_sink >/dev/null 2>&1 || true
  pactl set-default-source orvel_test_mic >/dev/null 2>&1 || true
fi

export ORVEL_WAYLAND_SESSION="$scratch"
"$@"

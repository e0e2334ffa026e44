#!/usr/bin/env bash
# Runs a command inside the desktop services the tests use, all private to this run:
# an X server (Xvfb) with an EWMH window manager, a D-Bus session with an unlocked
# gnome-keyring, and PulseAudio with a null sink whose monitor feeds a virtual microphone.
# Everything started here is stopped when the command ends.
set -euo pipefail

if [ "${1:-}" != "--inside-dbus" ]; then
  exec dbus-run-session -- "$0" --inside-dbus "$@"
fi
shift

scratch=$(mktemp -d /tmp/orvel-test-session.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$scratch"
}
trap cleanup EXIT

# A private runtime folder, also for what the bus starts on demand: the accessibility bus puts its
# socket there, else in ~/.cache/at-spi/bus, which every other session of this user shares (and
# removes when it ends).
export XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
dbus-send --session --type=method_call --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
  org.freedesktop.DBus.UpdateActivationEnvironment dict:string:string:"XDG_RUNTIME_DIR","$XDG_RUNTIME_DIR" >/dev/null

# X server on the first free display.
exec 3<> "$scratch/displayfd"
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp -ac >"$scratch/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do
  display=$(head -n1 "$scratch/displayfd" 2>/dev/null || true)
  [ -n "$display" ] && break
  sleep 0.05
done
[ -n "${display:-}" ] || { echo "Xvfb did not start"; cat "$scratch/xvfb.log"; exit 1; }
export DISPLAY=":$display"
if command -v openbox >/dev/null; then
  openbox --sm-disable >"$scratch/openbox.log" 2>&1 &
  pids+=($!)
fi

# Secret Service: a throw-away keyring, unlocked with an empty password.
export ORVEL_TEST_HOME="$scratch/home"
mkdir -p "$ORVEL_TEST_HOME/.local/share/keyrings"
if command -v gnome-keyring-daemon >/dev/null; then
  eval "$(printf '\n' | HOME="$ORVEL_TEST_HOME" gnome-keyring-daemon --unlock --daemonize --components=secrets)"
  export GNOME_KEYRING_CONTROL
  [ -n "${GNOME_KEYRING_PID:-}" ] && pids+=("$GNOME_KEYRING_PID")
fi

# PulseAudio: the null sink's monitor becomes the default source through a virtual source,
# since Qt lists only sources that are not monitors.
if command -v pulseaudio >/dev/null; then
  export XDG_RUNTIME_DIR="$scratch/runtime"
  export PULSE_RUNTIME_PATH="$XDG_RUNTIME_DIR/pulse"
  mkdir -p "$PULSE_RUNTIME_PATH" && chmod 700 "$XDG_RUNTIME_DIR"
  HOME="$scratch/pulsehome" pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit \
    -L "module-native-protocol-unix" \
    -L "module-null-sink sink_name=orvel_test_sink rate=48000" \
    -L "module-virtual-source source_name=orvel_test_mic master=orvel_test_sink.monitor" \
    -L "module-always-sink" >"$scratch/pulse.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 1 100); do
    pactl info >/dev/null 2>&1 && break
    sleep 0.05
  done
  pactl set-default-sink orvel_test_sink >/dev/null 2>&1 || true
  pactl set-default-source orvel_test_mic >/dev/null 2>&1 || true
fi

"$@"

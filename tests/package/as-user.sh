#!/usr/bin/env bash
# The package test's part as the second user, inside a private test session: engines from the
# program, then a Dictation into a GTK editor with the installed program started from its menu entry.
set -euo pipefail
fail() { echo "FAILED: $*"; exit 1; }
data="$HOME/.local/share/Orvel Raza"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT
[ "$(command -v OrvelPlus)" = /usr/bin/OrvelPlus ] || fail "OrvelPlus is not the installed one"

# No network here: apt goes through a proxy that refuses. Without downloaded packages that is a
# clear failure; with them the engines come from them.
offline=(env http_proxy=http://127.0.0.1:9 https_proxy=http://127.0.0.1:9)
if "${offline[@]}" ORVEL_ENGINE_DOWNLOADS="$HOME/empty-downloads" OrvelPlus --get-speech-engines >"$HOME/offline.out" 2>&1; then
  fail "the engines were got without network and without downloads"
fi
grep -q "^Could not get the speech engines: cannot read Debian unstable from http" "$HOME/offline.out" \
  || { cat "$HOME/offline.out"; fail "no clear error without network"; }
started=$SECONDS
"${offline[@]}" ORVEL_ENGINE_DOWNLOADS="$HOME/engine-downloads" OrvelPlus --get-speech-engines >"$HOME/engines.out" 2>&1 \
  || { cat "$HOME/engines.out"; fail "the program did not get the engines"; }
echo "engines from the program in $((SECONDS - started)) s: $(tail -1 "$HOME/engines.out")"
engines=$HOME/.cache/orvel-raza/engines/current
for p in whisper-cli parakeet-cli llama-server; do
  "$engines/launch/$p" --help >/dev/null 2>&1 || fail "$p does not start from $engines"
done
# Nothing the engine needs is outside this user's own folder.
if grep -rl "^L=" "$engines/launch" | xargs grep -L "^L=\"$HOME/" | grep -q .; then
  fail "a launcher points outside $HOME"
fi

# A Dictation: the speech model hears the test sentence in any sound.
mkdir -p "$data/Models"
cp "$HOME/sentence-model.bin" "$data/Models/ggml-tiny.en-q5_1.bin"
gio launch /usr/share/applications/orvel-raza.desktop
for _ in $(seq 1 100); do
  pid=$(pgrep -u "$(id -u)" -x OrvelPlus || true)
  [ -n "$pid" ] && break
  sleep 0.1
done
[ -n "$pid" ] || fail "the menu entry did not start the program"
pids+=("$pid")
sleep 3

python3 "$HOME/gtk-target.py" "$HOME/editor.txt" "Notes: " &
pids+=($!)
w=$(timeout 10 xdotool search --sync --onlyvisible --pid "${pids[-1]}" --name '^Test Editor$' | head -1) \
  || fail "the editor did not show"
xdotool windowactivate --sync "$w"
sleep 0.5

OrvelPlus --toggle-dictation
for _ in $(seq 1 150); do
  compgen -G "$data/TemporaryRecordings/*" >/dev/null && break
  sleep 0.1
done
compgen -G "$data/TemporaryRecordings/*" >/dev/null || fail "recording did not start"
sleep 1.5
python3 - "$HOME/tone.wav" <<'PY'
import math, struct, sys, wave
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(1); w.setsampwidth(2); w.setframerate(16000)
    w.writeframes(b"".join(struct.pack("<h", int(8000 * math.sin(2 * math.pi * 440 * i / 16000))) for i in range(16000)))
PY
paplay --device=orvel_test_sink "$HOME/tone.wav"
OrvelPlus --toggle-dictation
for _ in $(seq 1 300); do
  [ "$(cat "$HOME/editor.txt" 2>/dev/null)" = "Notes: $SENTENCE" ] && break
  sleep 0.1
done
[ "$(cat "$HOME/editor.txt" 2>/dev/null)" = "Notes: $SENTENCE" ] \
  || fail "the editor has \"$(cat "$HOME/editor.txt" 2>/dev/null)\", not the dictation"
grep -q "$SENTENCE" "$data/history.json" || fail "the dictation is not in the history"
# The packaged speech host ran on this user's engines and keeps the model loaded.
pgrep -u "$(id -u)" -f " /usr/libexec/orvel-raza/orvel-speech-core " >/dev/null || fail "the dictation did not run on the speech host"
echo "dictated into the GTK editor with the installed program"

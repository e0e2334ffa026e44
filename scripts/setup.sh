#!/usr/bin/env bash
# Installs the Debian packages that are missing, makes sure the speech and chat engines are there
# (scripts/engines.sh), then configures and builds a preset.
# Usage: scripts/setup.sh [preset]   (default: "default")
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
preset=${1:-default}

mapfile -t wanted < <(grep -vE '^\s*(#|$)' "$here/scripts/packages.txt")
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing missing packages: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

cd "$here"
case "$preset" in default) build_dir=build ;; *) build_dir=build-$preset ;; esac
# The test build keeps the engine packages it downloads: the package test gets the engines
# from them through the installed program, without the network.
if [ "$preset" = test ]; then
  export ORVEL_ENGINE_DOWNLOADS=${ORVEL_ENGINE_DOWNLOADS:-${XDG_CACHE_HOME:-$HOME/.cache}/orvel-raza/engine-downloads}
fi
mapfile -t engine_args < <(scripts/engines.sh "$here/$build_dir")
cmake --preset "$preset" "${engine_args[@]}"
cmake --build --preset "$preset" -j"$(nproc)"

# The shipped Pocket speech model, fetched once with the program's own download code. The test
# build goes without: its tests bring their own models.
if [ "$preset" != test ] && [ -x "$build_dir/bin/OrvelPlus" ]; then
  "$build_dir/bin/OrvelPlus" --download-speech-model pocket || true
fi

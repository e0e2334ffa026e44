#!/usr/bin/env bash
# Makes sure the speech and chat engines (whisper-cli, parakeet-cli, llama-server) can be started.
# Usage: scripts/engines.sh BUILD_DIR    (set-up)
#        engines.sh --user               (the program's "Get the speech engines")
# Prints one line on stderr saying which way it took, and on stdout the CMake arguments that put
# launchers into BUILD_DIR/libexec/orvel-raza (none when the engines are found elsewhere); with
# --user, only the private folder is made (no root needed) and stdout gets its path.
#
# Ways, in order: already found (ORVEL_<NAME>_PATH, BUILD_DIR/libexec/orvel-raza, PATH); the
# system's package sources offer whisper.cpp-tools and llama.cpp-tools (installed with apt-get);
# otherwise a private folder of Debian unstable's binary packages, resolved and verified by apt
# under a private configuration so /etc/apt and the system's package state stay untouched.
# ORVEL_ENGINES=skip leaves the engines alone; ORVEL_ENGINES=refresh rebuilds the private folder.
set -euo pipefail
build_dir=${1:?build directory or --user}
programs=(whisper-cli parakeet-cli llama-server)
packages=(whisper.cpp-tools llama.cpp-tools)
# The private folder also gets ggml's Vulkan backend, so a GPU is used where there is one.
private_packages=("${packages[@]}" libggml0-backend-vulkan)
base=${ORVEL_ENGINE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/orvel-raza/engines}
marker="# orvel-raza engine launcher"

say() { echo "Speech and chat engines: $*" >&2; }

case "${ORVEL_ENGINES:-}" in skip) say "left alone (ORVEL_ENGINES=skip)"; exit 0 ;; esac

# The program asks only when it found no engine: straight to this user's private folder.
if [ "$build_dir" = --user ]; then
  mkdir -p "$base"
  exec 9>"$base/.lock"
  flock 9
  "$(dirname "$0")/engines-private.sh" "$base" "${private_packages[@]}" -- "${programs[@]}"
  readlink -f "$base/current"
  exit 0
fi

override_var() { local n=${1^^}; echo "ORVEL_${n//-/_}_PATH"; }

# Where the program would find NAME today, or nothing. Our own launchers do not count: the
# private folder behind them is checked (and rebuilt if gone) below.
find_program() {
  local name=$1 var path
  var=$(override_var "$name")
  if [ -n "${!var:-}" ]; then echo "${!var}"; return; fi
  path="$build_dir/libexec/orvel-raza/$name"
  if [ -x "$path" ] && ! grep -qs "^$marker" "$path"; then echo "$path"; return; fi
  command -v "$name" || true
}

found=() missing=()
for p in "${programs[@]}"; do
  if [ -n "$(find_program "$p")" ]; then found+=("$p"); else missing+=("$p"); fi
done
if [ ${#missing[@]} -eq 0 ]; then
  say "found (${found[*]} at $(for p in "${programs[@]}"; do printf '%s ' "$(find_program "$p")"; done| sed 's/ $//'))"
  echo "-DORVEL_ENGINE_DIR="
  echo "-DORVEL_ENGINES_STATE=found"
  exit 0
fi

# The system's own package sources.
candidate() { apt-cache policy "$1" 2>/dev/null | awk '/Candidate:/{print $2}'; }
offered=1
for pkg in "${packages[@]}"; do
  c=$(candidate "$pkg"); [ -n "$c" ] && [ "$c" != "(none)" ] || offered=0
done
if [ $offered -eq 1 ]; then
  sudo_cmd=(); [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  if DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends \
      "${packages[@]}" >&2; then
    hash -r
    still=(); for p in "${missing[@]}"; do command -v "$p" >/dev/null || still+=("$p"); done
    if [ ${#still[@]} -eq 0 ]; then
      say "installed from the system's package sources (${packages[*]})"
      echo "-DORVEL_ENGINE_DIR="
      echo "-DORVEL_ENGINES_STATE=found"
      exit 0
    fi
    say "the system's ${packages[*]} lack ${still[*]}; using a private folder instead"
  else
    say "apt-get install ${packages[*]} failed; using a private folder instead"
  fi
fi

# The private folder. One set-up at a time: several clones share it.
mkdir -p "$base"
exec 9>"$base/.lock"
flock 9

emit_private() {
  local dir=$1 how=$2
  # The speech host's headers and the Vulkan backend, of the same release; the engines work without.
  "$(dirname "$0")/engines-dev.sh" "$dir" || true
  say "$how private Debian unstable folder $dir ($(du -sh "$dir" 2>/dev/null | cut -f1))"
  echo "-DORVEL_ENGINE_DIR=$dir"
  echo "-DORVEL_ENGINES_STATE=private"
}

works() {
  local dir=$1 p
  [ -f "$dir/complete" ] || return 1
  for p in "${programs[@]}"; do "$dir/launch/$p" --help >/dev/null 2>&1 || return 1; done
}

# Whether the folder was made from all of today's packages (older ones lack the Vulkan backend,
# and the downloads kept with them lack its packages, which the program's own action needs).
complete_set() {
  local pkg
  for pkg in "${private_packages[@]}"; do grep -q "^Inst $pkg " "$1/packages" 2>/dev/null || return 1; done
}

kept=""
if [ "${ORVEL_ENGINES:-}" != refresh ] && [ -L "$base/current" ] && works "$(readlink -f "$base/current")"; then
  kept=$(readlink -f "$base/current")
  if complete_set "$kept"; then emit_private "$kept" "reusing"; exit 0; fi
  say "the private folder lacks some of ${private_packages[*]}; making it anew"
fi

"$(dirname "$0")/engines-private.sh" "$base" "${private_packages[@]}" -- "${programs[@]}" || {
  # Offline, say: the folder from before still runs the engines.
  if [ -n "$kept" ]; then emit_private "$kept" "reusing"; exit 0; fi
  say "not set up (see the line above); the program builds and starts, Dictation reports the missing engine"
  echo "-DORVEL_ENGINE_DIR="
  echo "-DORVEL_ENGINES_STATE=none"
  exit 0
}
emit_private "$(readlink -f "$base/current")" "made"

#!/usr/bin/env bash
# Builds the private engine folder: Debian unstable's binary packages of the engine tools and
# their library closure, from the mirror this machine already uses, resolved and verified by apt
# under a private configuration (own sources, lists, cache and an empty dpkg status), unpacked
# with dpkg-deb -x and cut down to what the engine programs load.
# Usage: scripts/engines-private.sh BASE PACKAGE... -- PROGRAM...
# Leaves BASE/<versions>/ and points BASE/current at it; prints one line on failure.
# ORVEL_ENGINE_DOWNLOADS=DIR keeps the package lists and packages in DIR and uses them again, also
# when the mirror cannot be reached. ORVEL_ENGINES_PROGRESS=1 adds apt's "dlstatus:" lines on
# stderr while the packages download.
set -euo pipefail
base=$1; shift
packages=(); while [ "$1" != -- ]; do packages+=("$1"); shift; done; shift
programs=("$@")
marker="# orvel-raza engine launcher"
fail() { echo "Speech and chat engines: $*" >&2; exit 1; }
for tool in apt-get dpkg-deb flock; do command -v $tool >/dev/null || fail "$tool is missing"; done

# The Debian mirror the system's own sources name for its release, else the default one.
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
mirror=$(apt-cache policy 2>/dev/null | awk -v s="$codename/main" '$3 == s && $2 ~ /^https?:/ {print $2; exit}')
mirror=${mirror:-http://deb.debian.org/debian}
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
[ -r "$keyring" ] || fail "$keyring is missing (package debian-archive-keyring)"

apt_dir=$base/apt
rm -rf "$apt_dir"
mkdir -p "$apt_dir"/{etc/sources.list.d,etc/preferences.d,lists/partial,cache/archives/partial,state}
lists=$apt_dir/lists archives=$apt_dir/cache/archives
if [ -n "${ORVEL_ENGINE_DOWNLOADS:-}" ]; then
  lists=$ORVEL_ENGINE_DOWNLOADS/lists archives=$ORVEL_ENGINE_DOWNLOADS/archives
  mkdir -p "$lists/partial" "$archives/partial" || fail "cannot write to $ORVEL_ENGINE_DOWNLOADS"
fi
: >"$apt_dir/status"
echo "deb [signed-by=$keyring] $mirror unstable main" >"$apt_dir/etc/sources.list"
# The system's apt.conf.d still applies (proxies, date checks); its hooks do not run here.
cat >"$apt_dir/apt.conf" <<EOF
Dir::Etc::sourcelist "$apt_dir/etc/sources.list";
Dir::Etc::sourceparts "$apt_dir/etc/sources.list.d";
Dir::Etc::preferences "$apt_dir/etc/preferences";
Dir::Etc::preferencesparts "$apt_dir/etc/preferences.d";
Dir::State "$apt_dir/state/";
Dir::State::lists "$lists/";
Dir::State::status "$apt_dir/status";
Dir::Cache "$apt_dir/cache/";
Dir::Cache::archives "$archives/";
Dir::Cache::pkgcache "";
Dir::Cache::srcpkgcache "";
Dir::Log "$apt_dir/log";
APT::Install-Recommends "false";
APT::Get::AllowUnauthenticated "false";
#clear APT::Update::Pre-Invoke;
#clear APT::Update::Post-Invoke;
#clear APT::Update::Post-Invoke-Success;
#clear DPkg::Pre-Invoke;
#clear DPkg::Post-Invoke;
EOF
[ "$(id -u)" -ne 0 ] || echo 'APT::Sandbox::User "root";' >>"$apt_dir/apt.conf"
papt() { apt-get -c "$apt_dir/apt.conf" -q "$@"; }

echo "Speech and chat engines: reading Debian unstable's package list from $mirror" >&2
log=$apt_dir/update.log
papt update >"$log" 2>&1 || true
if ! compgen -G "$lists/*_Packages*" >/dev/null; then
  fail "cannot read Debian unstable from $mirror ($(grep -m1 -E '^(E|W): ' "$log" | cut -c4- || echo 'no network?'))"
fi

# The folder is keyed by the versions apt picks for the whole closure.
plan=$(papt -s install "${packages[@]}" 2>&1 | grep '^Inst ') || fail "apt cannot resolve ${packages[*]} in unstable"
version_of() { awk -v p="$1" '$2 == p {gsub(/[()]/, "", $3); print $3}' <<<"$plan"; }
key=""
for pkg in "${packages[@]}"; do key+="${pkg%-tools}-$(version_of "$pkg")_"; done
key="${key//:/_}$(sha256sum <<<"$plan" | cut -c1-8)"
dest=$base/$key
if [ -f "$dest/complete" ]; then
  ln -sfn "$key" "$base/current"; rm -rf "$apt_dir"; exit 0
fi

count=$(wc -l <<<"$plan")
bytes=$(papt install --print-uris -qq "${packages[@]}" 2>/dev/null | awk '{n += $3} END {print n + 0}')
size="$((bytes / 1000000)) MB"; [ "$bytes" -gt 0 ] || size="downloaded before"
echo "Speech and chat engines: downloading $count Debian unstable packages ($size)" >&2
status=(); [ "${ORVEL_ENGINES_PROGRESS:-}" != 1 ] || status=(-o APT::Status-Fd=3)
papt "${status[@]}" install --download-only -y "${packages[@]}" 3>&2 >"$apt_dir/download.log" 2>&1 \
  || fail "download failed ($(grep -m1 '^E: ' "$apt_dir/download.log" | cut -c4-))"
echo "Speech and chat engines: unpacking" >&2

work=$base/$key.partial
rm -rf "$work"; mkdir -p "$work/stage"
# Only the plan's packages: a kept download folder may hold older versions too.
while read -r _ pkg ver _; do
  ver=${ver#(}; ver=${ver//:/%3a}
  deb=$(compgen -G "$archives/${pkg}_${ver}_*.deb" | head -1) || fail "$pkg was not downloaded"
  dpkg-deb -x "$deb" "$work/stage"
done <<<"$plan"

# Keep only what the programs and the ggml backends load.
S=$work/stage; SL=$S/usr/lib/x86_64-linux-gnu
R=$work/root; RL=$R/usr/lib/x86_64-linux-gnu
loader=ld-linux-x86-64.so.2
[ -x "$SL/$loader" ] || fail "the unpacked packages hold no $loader"
mkdir -p "$R/usr/bin" "$RL/llama" "$RL/ggml/backends0" "$R/share"
objects=()
for p in "${programs[@]}"; do
  [ -x "$S/usr/bin/$p" ] || fail "the unpacked packages hold no $p"
  cp -a "$S/usr/bin/$p" "$R/usr/bin/"; objects+=("$S/usr/bin/$p")
done
backends=("$SL"/ggml/backends0/libggml-cpu-*.so)
[ ! -f "$SL/ggml/backends0/libggml-vulkan.so" ] || backends+=("$SL/ggml/backends0/libggml-vulkan.so")
cp -a "${backends[@]}" "$RL/ggml/backends0/"
objects+=("${backends[@]}")
for o in "${objects[@]}"; do
  "$SL/$loader" --inhibit-cache --library-path "$SL:$SL/llama" --list "$o" | awk '$2 == "=>" {print $3}'
done | sort -u >"$work/loaded"
while read -r lib; do
  case "$lib" in "$SL"/*) ;; *) fail "$lib comes from outside the folder" ;; esac
  cp -L "$lib" "$RL/${lib#"$SL"/}"
done <"$work/loaded"
rm "$work/loaded"
cp -L "$SL/$loader" "$RL/$loader"
for b in "$RL"/ggml/backends0/*.so; do ln -s "ggml/backends0/${b##*/}" "$RL/"; done
# The model tools' scripts document the model formats; the licences go with the binaries.
cp -a "$S/usr/share/doc" "$R/share/doc"

# Launchers: the loader started through a link named after the program, so process lists show
# the program's name; exec keeps the pid the engine's own.
mkdir -p "$work/names" "$work/launch"
for p in "${programs[@]}"; do
  ln -s "../root/usr/lib/x86_64-linux-gnu/$loader" "$work/names/$p"
  cat >"$work/launch/$p" <<EOF
#!/bin/sh
$marker (Debian unstable's $p through its own loader)
L="$dest/root/usr/lib/x86_64-linux-gnu"
exec "$dest/names/$p" --inhibit-cache --library-path "\$L:\$L/llama" --argv0 $p "$dest/root/usr/bin/$p" "\$@"
EOF
  chmod +x "$work/launch/$p"
done
# The program's speech host runs through the same loader (its launcher lives with the program).
ln -s "../root/usr/lib/x86_64-linux-gnu/$loader" "$work/names/orvel-speech"
printf '%s\n' "$plan" >"$work/packages"
rm -rf "$S"
touch "$work/complete"
rm -rf "$dest"; mv "$work" "$dest"
ln -sfn "$key" "$base/current"
# Older folders and the downloads are not needed again.
for old in "$base"/*/; do
  old=${old%/}
  case "$old" in "$dest" | "$apt_dir" | "$base/current" | "${ORVEL_ENGINE_DOWNLOADS%/}") ;; *) rm -rf "$old" ;; esac
done
rm -rf "$apt_dir"
for p in "${programs[@]}"; do
  "$dest/launch/$p" --help >/dev/null 2>&1 || fail "$p does not start from $dest"
done

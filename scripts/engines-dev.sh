#!/usr/bin/env bash
# Adds to a private engine folder what our own speech host needs of the same Debian unstable
# release: the headers (libwhisper-dev, libggml-dev) under dev/include. (The folder itself comes
# with ggml's Vulkan backend; set-up makes older folders anew.)
# Usage: scripts/engines-dev.sh FOLDER   (FOLDER: the private folder, e.g. BASE/current)
# Prints one line on failure and exits 1; the folder's engines keep working either way.
set -euo pipefail
dir=$(readlink -f "${1:?private engine folder}")
fail() { echo "Speech host headers: $*" >&2; exit 1; }
[ -f "$dir/complete" ] && [ -f "$dir/packages" ] || fail "$dir is not a complete private engine folder"
[ -f "$dir/dev/complete" ] && exit 0

# The versions the folder holds, so headers and libraries match.
version_of() { awk -v p="$1" '$2 == p {gsub(/[()]/, "", $3); print $3}' "$dir/packages"; }
whisper=$(version_of libwhisper1) ggml=$(version_of libggml0)
[ -n "$whisper" ] && [ -n "$ggml" ] || fail "the folder lists no libwhisper1/libggml0"
wanted=("libwhisper-dev=$whisper" "libggml-dev=$ggml")

codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
mirror=$(apt-cache policy 2>/dev/null | awk -v s="$codename/main" '$3 == s && $2 ~ /^https?:/ {print $2; exit}')
mirror=${mirror:-http://deb.debian.org/debian}
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
work=$dir/dev.partial
rm -rf "$work"
mkdir -p "$work"/apt/{lists/partial,cache/archives/partial,state} "$work/debs" "$work/stage"
: >"$work/apt/status"
echo "deb [signed-by=$keyring] $mirror unstable main" >"$work/apt/sources.list"
cat >"$work/apt/apt.conf" <<EOF
Dir::Etc::sourcelist "$work/apt/sources.list";
Dir::Etc::sourceparts "-";
Dir::State "$work/apt/state/";
Dir::State::lists "$work/apt/lists/";
Dir::State::status "$work/apt/status";
Dir::Cache "$work/apt/cache/";
Dir::Cache::pkgcache "";
Dir::Cache::srcpkgcache "";
APT::Get::AllowUnauthenticated "false";
#clear APT::Update::Pre-Invoke;
#clear APT::Update::Post-Invoke;
#clear APT::Update::Post-Invoke-Success;
EOF
[ "$(id -u)" -ne 0 ] || echo 'APT::Sandbox::User "root";' >>"$work/apt/apt.conf"
apt-get -c "$work/apt/apt.conf" -q update >"$work/update.log" 2>&1 || true
compgen -G "$work/apt/lists/*_Packages*" >/dev/null || fail "cannot read Debian unstable from $mirror"
(cd "$work/debs" && apt-get -c "$work/apt/apt.conf" -q download "${wanted[@]}") >"$work/download.log" 2>&1 \
  || fail "cannot download ${wanted[*]} ($(grep -m1 '^E: ' "$work/download.log" | cut -c4-))"
for deb in "$work"/debs/*.deb; do dpkg-deb -x "$deb" "$work/stage"; done

mkdir -p "$work/include"
cp -a "$work"/stage/usr/include/. "$work/include/"
[ -f "$work/include/whisper.h" ] && [ -f "$work/include/parakeet.h" ] || fail "no whisper.h/parakeet.h in libwhisper-dev"
rm -rf "$dir/dev"
mkdir -p "$dir/dev"
mv "$work/include" "$dir/dev/include"
printf '%s\n' "${wanted[@]}" >"$dir/dev/packages"
touch "$dir/dev/complete"
rm -rf "$work"

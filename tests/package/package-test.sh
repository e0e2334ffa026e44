#!/usr/bin/env bash
# The Debian package as someone who never built it gets it: built with scripts/package.sh (reused
# while the tree is unchanged), installed with apt-get, run by a second, unprivileged user made for
# the test, who gets the speech engines through the program's own action from the engine packages
# set-up downloaded (no network: a proxy that refuses) and dictates into a GTK editor; the
# installed menu entry and AppStream file validated; removed, with the user's files left in place.
# Usage: package-test.sh SOURCE_DIR SENTENCE_MODEL SENTENCE     (exit 77: skipped)
#        ORVEL_PACKAGE_DEB=FILE package-test.sh ...              (a package made before)
set -euo pipefail
src=$1 model=$2 sentence=$3
skip() { echo "SKIPPED: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
for tool in apt-get dpkg useradd userdel runuser appstreamcli desktop-file-validate gio xdotool paplay; do
  command -v $tool >/dev/null || skip "$tool is missing"
done
downloads=${ORVEL_ENGINE_DOWNLOADS:-${XDG_CACHE_HOME:-$HOME/.cache}/orvel-raza/engine-downloads}

started=$SECONDS
# ORVEL_PACKAGE_DEB tests a package made before (or elsewhere) instead.
deb=${ORVEL_PACKAGE_DEB:-$("$src/scripts/package.sh" | tail -1)}
echo "package: $deb ($((SECONDS - started)) s to build or reuse)"

# The engine packages, downloaded once and kept (set-up does so for the test build).
if ! compgen -G "$downloads/lists/*_Packages*" >/dev/null || ! compgen -G "$downloads/archives/*.deb" >/dev/null; then
  scratch=$(mktemp -d)
  ORVEL_ENGINE_DOWNLOADS=$downloads ORVEL_ENGINE_CACHE=$scratch "$src/scripts/engines.sh" --user >/dev/null \
    || { rm -rf "$scratch"; skip "no engine packages downloaded and none could be (network?)"; }
  rm -rf "$scratch"
fi

user=orvel-pkg-$$
home=/tmp/$user
work=$(mktemp -d /tmp/orvel-package-test.XXXXXX)
installed=0
cleanup() {
  # The user's session ends everything it started (as-user.sh, test-session.sh).
  userdel -r "$user" >/dev/null 2>&1 || true
  rm -rf "$home" "$work"
  if [ $installed -eq 1 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 purge -y -q orvel-raza >/dev/null 2>&1 || true
  fi
}
trap cleanup EXIT

dpkg-query -W -f='${Status}' orvel-raza 2>/dev/null | grep -q "install ok" && skip "orvel-raza is installed on this machine already"
started=$SECONDS
installed=1
DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y -q --no-install-recommends "$deb" >"$work/install.log" 2>&1 \
  || { cat "$work/install.log"; echo "FAILED: apt-get install $deb"; exit 1; }
echo "installed in $((SECONDS - started)) s"

appstreamcli validate --no-net /usr/share/metainfo/com.orvel.Raza.metainfo.xml
desktop-file-validate /usr/share/applications/orvel-raza.desktop
desktop-file-validate /usr/share/orvel-raza/autostart/orvel-raza.desktop
for size in 16 24 32 48 64 128 256 512; do
  [ -f /usr/share/icons/hicolor/${size}x${size}/apps/orvel-raza.png ] || { echo "FAILED: no ${size}x${size} icon"; exit 1; }
done
if grep -rls "^# orvel-raza engine launcher" /usr/libexec/orvel-raza; then
  echo "FAILED: the package carries engine launchers"; exit 1
fi

useradd -m -d "$home" -s /bin/bash "$user"
# What the user's run needs, in the user's own home: the stand-in speech model (it hears the
# test sentence in any sound), the GTK editor, the session scripts and a copy of the downloaded
# engine packages.
install -o "$user" -m 644 "$model" "$home/sentence-model.bin"
install -o "$user" -m 755 "$src/tests/support/gtk-target/gtk-target.py" "$home/gtk-target.py"
# The checkout may sit in a folder only root can enter (mktemp -d), so the session scripts go too.
install -o "$user" -m 755 "$src/scripts/test-session.sh" "$src/tests/package/as-user.sh" "$home/"
cp -a "$downloads" "$home/engine-downloads" && chown -R "$user:" "$home/engine-downloads"
started=$SECONDS
runuser -u "$user" -- env -i HOME="$home" USER="$user" LOGNAME="$user" PATH=/usr/local/bin:/usr/bin:/bin \
  LANG=C.UTF-8 SENTENCE="$sentence" \
  "$home/test-session.sh" "$home/as-user.sh"
echo "the user's run took $((SECONDS - started)) s"

# Removing the package leaves the user's data, models and engines.
DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 purge -y -q orvel-raza >"$work/remove.log" 2>&1 \
  || { cat "$work/remove.log"; echo "FAILED: apt-get purge orvel-raza"; exit 1; }
installed=0
[ ! -e /usr/bin/OrvelPlus ] || { echo "FAILED: /usr/bin/OrvelPlus is still there"; exit 1; }
for f in "$home/.local/share/Orvel Raza/history.json" "$home/.local/share/Orvel Raza/Models/ggml-tiny.en-q5_1.bin" \
  "$home/.cache/orvel-raza/engines/current/launch/whisper-cli" "$home/.config/Orvel Raza/OrvelPlus.conf"; do
  [ -e "$f" ] || { echo "FAILED: $f is gone after the package was removed"; exit 1; }
done
echo "PASSED"

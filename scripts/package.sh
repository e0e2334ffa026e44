#!/usr/bin/env bash
# Builds the Debian package from this tree: build-package/orvel-raza_VERSION_amd64.deb.
# Usage: scripts/package.sh        (prints the package's path on stdout)
# A second run rebuilds only what changed; the package is made again only when the tree's
# contents differ from the last one's.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
# Installs what is missing, fetches the shipped Pocket model; the package carries no engines.
ORVEL_ENGINES=skip scripts/setup.sh package >&2
version=$(sed -n 's/^project(OrvelRaza VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb=build-package/orvel-raza_${version}_amd64.deb
stamp=build-package/.package-inputs
# What goes into the package: the built files and the tree they come from.
inputs=$({ find build-package/bin build-package/lib build-package/libexec build-package/share -type f \
             -printf '%P %s %T@\n' 2>/dev/null | sort; git ls-files -s; git diff HEAD; } | sha256sum | cut -c1-16)
if [ ! -f "$deb" ] || [ "$(cat "$stamp" 2>/dev/null)" != "$inputs" ]; then
  (cd build-package && cpack --config CPackConfig.cmake -G DEB >&2)
  echo "$inputs" >"$stamp"
fi
echo "$here/$deb"

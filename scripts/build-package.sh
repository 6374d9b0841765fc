#!/usr/bin/env bash
# Builds the Debian package from the tree as it stands (tracked and untracked
# files, not build trees) with dpkg-buildpackage, into build-deb/ (ignored by
# git), and prints the package's path. A fixed build path lets ccache reuse
# the objects of an earlier package build.
#   scripts/build-package.sh
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
out=$src/build-deb
rm -rf "$out"
mkdir -p "$out/src"
git -C "$src" ls-files -z --cached --others --exclude-standard |
  tar -C "$src" --null --ignore-failed-read -T - -cf - 2>/dev/null | tar -C "$out/src" -xf -
if ! (cd "$out/src" && DEB_BUILD_OPTIONS="nocheck parallel=$(nproc)" \
      dpkg-buildpackage -b -uc -us >"$out/build.log" 2>&1); then
  tail -40 "$out/build.log" >&2
  echo "build-package.sh: dpkg-buildpackage failed (log: $out/build.log)" >&2
  exit 1
fi
rm -rf "$out/src"
ls "$out"/vltadmin_*.deb

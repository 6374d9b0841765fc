#!/usr/bin/env bash
# The Debian package as an administrator gets it: built from the tree with
# dpkg-buildpackage, its contents and conffiles checked, lintian without
# errors, then installed with dpkg in a throw-away root (installed_root.sh),
# where the unit passes systemd-analyze verify and the service is used,
# removed and purged.
#   package_test.sh SOURCE_DIR [DEB]
# The package is left in SOURCE_DIR/build-deb/. With DEB, that package is
# checked instead of a new build. Exits 77
# (skipped) when a packaging tool is missing or when not run as root.
set -euo pipefail
src=$(cd "$1" && pwd)
deb=${2:-}
here=$(cd "$(dirname "$0")" && pwd)

skip() { echo "SKIP: $*"; exit 77; }
for tool in dpkg-buildpackage:dpkg-dev dh:debhelper lintian:lintian scdoc:scdoc unshare:util-linux; do
  command -v "${tool%%:*}" >/dev/null || skip "${tool%%:*} is not installed (package ${tool#*:})"
done
[ "$(id -u)" = 0 ] || skip "the throw-away root needs root"

work=$(mktemp -d /tmp/vlt-package-XXXXXX)
trap 'rm -rf "$work"' EXIT
start=$SECONDS
step() { printf '[%4ds] %s\n' $((SECONDS - start)) "$*"; }
fail() { echo "FAIL: $*" >&2; exit 1; }

if [ -z "$deb" ]; then
  step "building the package (scripts/build-package.sh: dpkg-buildpackage, product only)"
  deb=$("$src/scripts/build-package.sh" | tail -1) || fail "the package did not build"
fi
step "built $(basename "$deb") ($(du -k "$deb" | cut -f1) KiB)"

# Contents: every piece where the system expects it, nothing under
# /usr/local, no state shipped.
dpkg-deb --contents "$deb" | awk '{print $1, $2, $6}' >"$work/contents"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
expected=(
  ./usr/bin/vltadmin-host ./usr/bin/vltqtr ./usr/bin/vltadmin-accounts
  "./usr/lib/$multiarch/vltadmin/libvltadmin.so" "./usr/lib/$multiarch/vltadmin/libvltplatform.so"
  "./usr/lib/$multiarch/vltadmin/libactiveds.so" "./usr/lib/$multiarch/vltadmin/libvltpwtrans.so"
  ./usr/share/vltadmin/System32/vltxmlss.txt
  ./usr/share/vltadmin/www/index.html ./usr/share/vltadmin/www/vltadmin.js
  ./usr/share/vltadmin/www/vltadmin.css
  ./etc/vltadmin/vltadmin.reg ./etc/default/vltadmin ./etc/logrotate.d/vltadmin
  ./lib/systemd/system/vltadmin.service
  ./usr/share/man/man8/vltadmin-host.8.gz ./usr/share/man/man8/vltadmin-accounts.8.gz
  ./usr/share/man/man8/vltadmin-setup.8.gz ./usr/share/man/man1/vltqtr.1.gz
)
[ -e "$src/tools/vltadmin-setup" ] && expected+=(./usr/bin/vltadmin-setup)
for path in "${expected[@]}"; do
  grep -q " $path\$" "$work/contents" || fail "the package lacks $path"
done
grep -q '^-rwxr-xr-x root/root \./usr/bin/vltadmin-host$' "$work/contents" || fail "vltadmin-host mode or owner"
! grep -qE ' \./(usr/local|var/lib|var/log)/.' "$work/contents" || fail "files under /usr/local or /var"
dpkg-deb --ctrl-tarfile "$deb" | tar -xOf - ./conffiles >"$work/conffiles"
for conffile in /etc/vltadmin/vltadmin.reg /etc/default/vltadmin /etc/logrotate.d/vltadmin; do
  grep -qx "$conffile" "$work/conffiles" || fail "$conffile is not a conffile"
done
step "contents and conffiles as expected"

lintian --fail-on error --tag-display-limit 0 --display-info "$deb" 2>&1 |
  grep -v 'running with root privileges' | tee "$work/lintian" || true
if grep -q '^E: ' "$work/lintian"; then fail "lintian reports errors"; fi
step "lintian: no errors ($(grep -c '^W: ' "$work/lintian" || true) warnings, $(grep -c '^I: ' "$work/lintian" || true) notes)"

step "installing in a throw-away root"
unshare --mount --net --propagation private "$here/installed_root.sh" "$deb" "$work"
step "done"

#!/usr/bin/env bash
# An install into a fresh prefix serves change requests once setup has run,
# and stops serving them once setup has been undone: install, configure, a
# change at the installed URL, unconfigure, 404.
#   installed_tree.sh BUILD_DIR
set -euo pipefail
build=$1
tree=$(mktemp -d /tmp/vlt-installed-XXXXXX)
host_pid=
cleanup() {
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null && wait "$host_pid" 2>/dev/null
  rm -rf "$tree"
}
trap cleanup EXIT
fail() { echo "installed_tree.sh: $*"; cat "$tree/out"; exit 1; }

cmake --install "$build" --prefix "$tree" >/dev/null
registry=$tree/etc/vltadmin/vltadmin.reg
"$tree/bin/vltadmin-host" --registry "$registry" --listen 127.0.0.1:0 >"$tree/out" 2>&1 &
host_pid=$!
for _ in $(seq 1 100); do
  grep -q "listening on" "$tree/out" && break
  kill -0 "$host_pid" 2>/dev/null || fail "the host ended"
  sleep 0.1
done
url="http://$(sed -n 's/^listening on //p' "$tree/out")/Scripts/vltadmin/vltadmin.dll"
post() {
  curl -s -w '\n%{http_code}' -H 'Content-Type: text/xml' --data-binary \
    '<?xml version="1.0"?><AdminProtocol version="1.0"><RequestChangePassword><UserName>x</UserName><OldPassword>a</OldPassword><NewPassword>b</NewPassword></RequestChangePassword></AdminProtocol>' \
    "$url"
}

[ "$(post | tail -1)" = 404 ] || fail "served before setup"
"$tree/bin/vltadmin-setup" --registry "$registry" configure || fail "configure exited $?"
[ -f "$tree/var/lib/vltadmin/scripts/vltadmin/libvltadmin.so" ] || fail "no copy in the scripts directory"
answer=$(post)
grep -q "<ErrorId>operation-failed</ErrorId>" <<<"$answer" || fail "answer after configure: $answer"
"$tree/bin/vltadmin-setup" --registry "$registry" unconfigure || fail "unconfigure exited $?"
[ ! -e "$tree/var/lib/vltadmin/scripts/vltadmin" ] || fail "the copy is still there"
[ "$(post | tail -1)" = 404 ] || fail "served after unconfigure"

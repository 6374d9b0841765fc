#!/usr/bin/env bash
# An installed tree, even moved to another prefix, serves change requests:
# the host finds the extension and the extension its alias file.
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
cmake --install "$build" --prefix "$tree" >/dev/null
# The registry's install location points into the moved tree.
sed "s|^\"Location\"=.*|\"Location\"=\"$tree/share/vltadmin\"|" "$tree/etc/vltadmin/vltadmin.reg" >"$tree/test.reg"
"$tree/bin/vltadmin-host" --registry "$tree/test.reg" --listen 127.0.0.1:0 >"$tree/out" 2>&1 &
host_pid=$!
for _ in $(seq 1 100); do
  grep -q "listening on" "$tree/out" && break
  kill -0 "$host_pid" 2>/dev/null || { cat "$tree/out"; exit 1; }
  sleep 0.1
done
address=$(sed -n 's/^listening on //p' "$tree/out")
answer=$(curl -s -H 'Content-Type: text/xml' --data-binary \
  '<?xml version="1.0"?><AdminProtocol version="1.0"><RequestChangePassword><UserName>x</UserName><OldPassword>a</OldPassword><NewPassword>b</NewPassword></RequestChangePassword></AdminProtocol>' \
  "http://$address/Scripts/vltadmin/vltadmin.dll")
grep -q "<ErrorId>operation-failed</ErrorId>" <<<"$answer" || { echo "answer: $answer"; cat "$tree/out"; exit 1; }

#!/usr/bin/env bash
# Installs what is needed, builds, creates a demonstration account store with
# the user alice of the domain DEMO (build/demo/accounts.db, mapped to DEMO
# in build/etc/vltadmin.reg), and starts vltadmin-host on its embedded
# defaults (127.0.0.1:8080), serving the extension at
# http://127.0.0.1:8080/Scripts/vltadmin/vltadmin.dll
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh build

# The demonstration store. Every run puts alice back to the password below,
# so the command printed at the end always works once.
STORE=build/demo/accounts.db
ACCOUNTS=./build/bin/vltadmin-accounts
mkdir -p build/demo
if [ ! -e "$STORE" ]; then
  "$ACCOUNTS" create "$STORE" --min-length 8 --complexity on --history 3 --min-age 0 --lockout 5 >/dev/null
fi
"$ACCOUNTS" delete "$STORE" alice >/dev/null 2>&1 || true
printf '%s\n' 'Demo-Passw0rd-1' | "$ACCOUNTS" add "$STORE" alice >/dev/null

cat <<MSG

vltadmin-host is starting on 127.0.0.1:8080 with a demonstration account
store ($STORE): domain DEMO, user alice, password Demo-Passw0rd-1.
From another shell, change alice's password:

  curl -s -X POST -H 'Content-Type: text/xml' --data-binary @- \\
    http://127.0.0.1:8080/Scripts/vltadmin/vltadmin.dll <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<AdminProtocol version="1.0"><RequestChangePassword>
  <UserName>alice</UserName><Domain type="NT">DEMO</Domain>
  <OldPassword>Demo-Passw0rd-1</OldPassword><NewPassword>Demo-Passw0rd-2</NewPassword>
</RequestChangePassword></AdminProtocol>
XML

An empty <ResponseChangePassword> means the password was changed; sent again,
the same command answers <ErrorId>old-password-invalid</ErrorId>. The same
change by a page in a browser: http://127.0.0.1:8080/vltadmin/ Manage the
store with build/bin/vltadmin-accounts (--help). Stop the host with Ctrl-C.
MSG
exec ./build/bin/vltadmin-host --registry build/etc/vltadmin.reg "$@"

#!/usr/bin/env bash
# Installs what is needed, builds, and starts vltadmin-host on its embedded
# defaults (127.0.0.1:8080), serving the extension at
# http://127.0.0.1:8080/Scripts/vltadmin/vltadmin.dll
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh build
cat <<MSG

vltadmin-host is starting on 127.0.0.1:8080. From another shell:

  curl -si -X POST -H 'Content-Type: text/xml' --data-binary @- \\
    http://127.0.0.1:8080/Scripts/vltadmin/vltadmin.dll <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<AdminProtocol version="1.0"><RequestChangePassword>
  <UserName>alice</UserName><Domain type="NT">DEMO</Domain>
  <OldPassword>old-secret</OldPassword><NewPassword>new-secret</NewPassword>
</RequestChangePassword></AdminProtocol>
XML

Stop it with Ctrl-C.
MSG
exec ./build/bin/vltadmin-host --registry build/etc/vltadmin.reg "$@"

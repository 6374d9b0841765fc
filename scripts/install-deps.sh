#!/usr/bin/env bash
# Installs every Debian package the project builds, tests and benchmarks with.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
PKGS=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-dev llvm
  libgtest-dev libgmock-dev libbenchmark-dev
  libicu-dev libboost-dev libssl-dev libsqlite3-dev libcrypt-dev
  libldap-dev libkrb5-dev libsasl2-dev libsasl2-modules-gssapi-mit
  libxml2-dev libexpat1-dev libpugixml-dev
  krb5-kdc krb5-admin-server krb5-user
  slapd
  samba samba-dsdb-modules samba-vfs-modules samba-ad-provision winbind smbclient ldap-utils
  curl wrk nginx-light openssl procps iproute2 python3 valgrind gcovr
  scdoc debhelper lintian adduser logrotate util-linux
  chromium chromium-driver python3-selenium
)
missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  # Keep package scripts from starting system services (nginx) on install.
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' | $SUDO tee /usr/sbin/policy-rc.d >/dev/null
    $SUDO chmod +x /usr/sbin/policy-rc.d
  fi
  # slapd without a system configuration or database: tests run their own.
  echo "slapd slapd/no_configuration boolean true" | $SUDO debconf-set-selections
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

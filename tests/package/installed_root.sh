#!/usr/bin/env bash
# Runs inside a private mount and network namespace (package_test.sh starts
# it with unshare): an overlay of this machine's root, in which the package
# is installed with dpkg as on a real system, the service is run the way its
# unit runs it, then the package is removed and purged. Everything written
# lands in the overlay's tmpfs and vanishes with the namespace.
#   installed_root.sh DEB WORK_DIR
set -euo pipefail
deb=$1
work=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

ip link set lo up
mkdir -p "$work/overlay"
mount -t tmpfs tmpfs "$work/overlay"
mkdir -p "$work/overlay/upper" "$work/overlay/work" "$work/overlay/root"
root=$work/overlay/root
mount -t overlay overlay -o "lowerdir=/,upperdir=$work/overlay/upper,workdir=$work/overlay/work" "$root"
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount -t tmpfs tmpfs "$root/run"
mount -t tmpfs tmpfs "$root/tmp"
cp "$deb" "$root/tmp/vltadmin.deb"
# Runs a command in the root; chroot, env and setpriv each exec the next, so
# a command started in the background has the pid in $! to signal.
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin "$@"; }
in_root_bg() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin "$@" & }

# Nothing of a development install may hide a missing piece of the package.
in_root sh -c '! command -v vltadmin-host' >/dev/null || fail "vltadmin-host is already installed here"

in_root dpkg -i /tmp/vltadmin.deb >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i"; }
in_root getent passwd vltadmin >/dev/null || fail "no system user vltadmin"
[ "$(in_root stat -c '%U:%G %a' /var/lib/vltadmin)" = "vltadmin:vltadmin 750" ] || fail "/var/lib/vltadmin"
[ "$(in_root stat -c '%U:%G %a' /var/log/vltadmin)" = "vltadmin:adm 2750" ] || fail "/var/log/vltadmin"
[ -L "$root/etc/systemd/system/multi-user.target.wants/vltadmin.service" ] || fail "unit not enabled"
echo "installed: user, directories, enabled unit"
if in_root sh -c 'command -v systemd-analyze' >/dev/null; then
  in_root systemd-analyze verify /lib/systemd/system/vltadmin.service >"$work/verify" 2>&1 ||
    { cat "$work/verify"; fail "systemd-analyze verify"; }
  ! grep -q . "$work/verify" || { cat "$work/verify"; fail "systemd-analyze verify has remarks"; }
  echo "systemd-analyze verify: the unit passes"
  exposure=$(in_root systemd-analyze security --offline=true /lib/systemd/system/vltadmin.service 2>&1 |
    grep 'Overall exposure level')
  echo "systemd-analyze security: ${exposure#*: }"
  [[ $exposure == *" OK "* ]] || fail "the unit's exposure is more than OK"
fi

# An account store for the registry's demonstration domain, as an
# administrator would make one.
in_root vltadmin-accounts create /var/lib/vltadmin/demo-accounts.db >/dev/null
printf '%s\n' 'Alice-Passw0rd-1' | in_root vltadmin-accounts add /var/lib/vltadmin/demo-accounts.db alice >/dev/null
in_root chown vltadmin:vltadmin /var/lib/vltadmin/demo-accounts.db
# What the unit's RuntimeDirectory= makes.
in_root install -d -o vltadmin -g vltadmin -m 0770 /run/vltqtr

# A member of the group vltadmin collects traces without root.
in_root adduser --system --quiet --no-create-home operator
in_root adduser --quiet operator vltadmin
in_root_bg setpriv --reuid operator --regid nogroup --init-groups vltqtr --classes all --output /tmp/trace \
  >"$work/vltqtr.out" 2>&1
vltqtr_pid=$!
for _ in $(seq 1 100); do [ -S "$root/run/vltqtr/device.sock" ] && break; sleep 0.1; done
[ -S "$root/run/vltqtr/device.sock" ] || { cat "$work/vltqtr.out"; fail "vltqtr (as operator) made no socket"; }

# The service as its unit starts it: its user, its command line, its options.
exec_start=$(sed -n 's/^ExecStart=//p' "$root/lib/systemd/system/vltadmin.service")
options=$(. "$root/etc/default/vltadmin" && echo "$VLTADMIN_OPTIONS")
host_pid=
start_host() {
  # shellcheck disable=SC2086
  in_root_bg setpriv --reuid vltadmin --regid vltadmin --init-groups ${exec_start//\$VLTADMIN_OPTIONS/$options} \
    >"$work/host.out" 2>"$work/host.err"
  host_pid=$!
  for _ in $(seq 1 100); do grep -q '^listening on ' "$work/host.out" && return 0; sleep 0.1; done
  cat "$work/host.err"
  fail "the installed host did not start"
}
stop_host() { kill "$host_pid"; wait "$host_pid" || fail "the host exited with $?"; }
trap 'kill "$vltqtr_pid" ${host_pid:+"$host_pid"} 2>/dev/null || true' EXIT

change() {
  curl -s -H 'Content-Type: text/xml' --data-binary @- http://127.0.0.1:8080/Scripts/vltadmin/vltadmin.dll <<XML
<?xml version="1.0" encoding="UTF-8"?>
<AdminProtocol version="1.0"><RequestChangePassword><UserName>alice</UserName>
<Domain type="NT">DEMO</Domain><OldPassword>$1</OldPassword><NewPassword>$2</NewPassword>
</RequestChangePassword></AdminProtocol>
XML
}
expect_answer() {  # expected error id ("" for success), old, new
  local answer
  answer=$(change "$2" "$3")
  case "$1:$answer" in
    ":"*"<ResponseChangePassword>"*) [[ $answer != *"<ErrorId>"* ]] || fail "change $2 -> $3: $answer" ;;
    *) [[ $answer == *"<ErrorId>$1</ErrorId>"* ]] || fail "change $2 -> $3: $answer" ;;
  esac
}

start_host
expect_answer "" Alice-Passw0rd-1 Alice-Passw0rd-2
expect_answer old-password-invalid Alice-Passw0rd-1 Alice-Passw0rd-3
curl -sf -o /dev/null -D "$work/page.head" http://127.0.0.1:8080/vltadmin/ || fail "no page at /vltadmin/"
grep -qi '^Content-Security-Policy: ' "$work/page.head" || fail "the page has no CSP"
curl -sf http://127.0.0.1:8080/metrics >"$work/metrics" || fail "no metrics"
grep -q '^vltadmin_change_password_answers_total{answer="success"} 1$' "$work/metrics" ||
  { grep answers_total "$work/metrics"; fail "metrics do not count the change"; }
echo "installed service: change, refusal, page and metrics answered"

# systemctl reload; then a log rotation by the package's rule.
kill -HUP "$host_pid"
for _ in $(seq 1 50); do grep -q 'reloaded' "$work/host.err" && break; sleep 0.1; done
grep -q 'vltadmin-host: reloaded$' "$work/host.err" || { cat "$work/host.err"; fail "no reload on SIGHUP"; }
expect_answer "" Alice-Passw0rd-2 Alice-Passw0rd-3
in_root logrotate --force --state /tmp/logrotate.state /etc/logrotate.d/vltadmin || fail "logrotate"
kill -USR1 "$host_pid"
for _ in $(seq 1 50); do grep -q 'access log opened again' "$work/host.err" && break; sleep 0.1; done
grep -q 'access log opened again' "$work/host.err" || fail "no log reopening on SIGUSR1"
expect_answer "" Alice-Passw0rd-3 Alice-Passw0rd-4
stop_host  # every line written
[ "$(grep -c '"POST ' "$root/var/log/vltadmin/access.log.1")" = 3 ] || fail "rotated log"
[ "$(grep -c '"POST ' "$root/var/log/vltadmin/access.log")" = 1 ] || fail "log reopened after rotation"
! grep -q 'Passw0rd' "$root"/var/log/vltadmin/access.log* || fail "a password in the access log"
kill -INT "$vltqtr_pid"; wait "$vltqtr_pid" || true
[ -s "$root/tmp/trace" ] || { cat "$work/vltqtr.out"; fail "vltqtr collected nothing"; }
! grep -q 'Passw0rd' "$root/tmp/trace" || fail "a password in the trace"
echo "reload, log rotation and vltqtr without root work"

in_root dpkg --remove vltadmin >>"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg --remove"; }
[ ! -e "$root/usr/bin/vltadmin-host" ] || fail "removal left the host"
[ -e "$root/etc/vltadmin/vltadmin.reg" ] || fail "removal took the configuration"
in_root dpkg --purge vltadmin >>"$work/dpkg.log" 2>"$work/purge.err" || { cat "$work/purge.err"; fail "dpkg --purge"; }
[ ! -e "$root/etc/vltadmin" ] && [ ! -e "$root/var/log/vltadmin" ] || fail "purge left configuration or logs"
[ -e "$root/var/lib/vltadmin/demo-accounts.db" ] || fail "purge took the account store"
grep -q 'account stores kept' "$work/purge.err" || fail "purge did not say it kept the stores"
in_root getent passwd vltadmin >/dev/null || fail "the owner of the kept store was removed"
echo "removed; purged, account store kept"

in_root dpkg -i /tmp/vltadmin.deb >>"$work/dpkg.log" 2>&1 || fail "dpkg -i again"
in_root env VLTADMIN_PURGE_ACCOUNT_STORES=yes dpkg --purge vltadmin >>"$work/dpkg.log" 2>&1 || fail "purge with stores"
[ ! -e "$root/var/lib/vltadmin" ] || fail "asked-for purge left the account stores"
! in_root getent passwd vltadmin >/dev/null || fail "purge left the system user"
[ ! -e "$root/etc/systemd/system/multi-user.target.wants/vltadmin.service" ] || fail "purge left the unit enabled"
echo "purged with the account stores: nothing left"

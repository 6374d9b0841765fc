#!/usr/bin/env bash
# Resolving a nested group on a Samba AD DC on loopback: vltadmin-groups
# (the group operation through the directory services, member by member,
# "subtree") beside ldapsearch asking the DC for the same users with the
# in-chain matching rule (LDAP_MATCHING_RULE_IN_CHAIN, 1.2.840.113556.1.4.1941)
# in one paged search. The group Top holds 4 groups, each of them 5 groups,
# each of those 100 users: 3 levels, 2,000 users. Both are one command each,
# a new process, connection and bind each time. Before timing, both answers
# are checked to name the same 2,000 users. Then ROUNDS rounds, the two
# sides alternating which goes first; the ratio vltadmin-groups/ldapsearch
# is taken pair by pair and reported as median and spread.
#
#   flock /tmp/vlt-bench.lock flock /tmp/vlt-samba.lock bench/groups/run.sh [BUILD_DIR]
#
# Environment: ROUNDS (7). Needs Samba and ldap-utils, and the ports of
# tests/support/samba_dc.sh (389, 636, 88, 464) free.
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
SRC="$(cd "$HERE/../.." && pwd)"
BUILD="$(cd "${1:-build}" && pwd)"
ROUNDS="${ROUNDS:-7}"
FIXTURE="$SRC/tests/support/samba_dc.sh"
BASE="DC=example,DC=test"
ADMIN_PW='Adm1n!Passw0rd'

if (exec 3<>/dev/tcp/127.0.0.1/636) 2>/dev/null; then
  echo "run.sh: 127.0.0.1:636 is in use (another DC running?)" >&2
  exit 1
fi
WORK="$(mktemp -d /tmp/vlt_bench_groups.XXXXXX)"
cleanup() {
  "$FIXTURE" stop "$WORK/samba" || true
  rm -rf "$WORK"
}
trap cleanup EXIT

echo "provisioning Samba and 2,000 users..." >&2
"$FIXTURE" start "$WORK/samba" >/dev/null
{
  echo "users u 2000"
  echo "group Top Mid1 Mid2 Mid3 Mid4"
  for m in 1 2 3 4; do
    leaves=""
    for l in 1 2 3 4 5; do leaves+=" Leaf$(( (m - 1) * 5 + l ))"; done
    echo "group Mid$m$leaves"
  done
  for leaf in $(seq 20); do
    echo "group Leaf$leaf"
    echo "members Leaf$leaf u $(( (leaf - 1) * 100 + 1 )) $(( leaf * 100 ))"
  done
} > "$WORK/accounts.txt"
/usr/bin/python3 "$SRC/tests/support/samba_accounts.py" "$WORK/samba" < "$WORK/accounts.txt"
export LDAPTLS_CACERT="$WORK/samba/tls/ca.pem"

printf '%s\n' "$ADMIN_PW" > "$WORK/bind.secret"
chmod 600 "$WORK/bind.secret"
mkdir -p "$WORK/root/System32"
cp "$SRC/data/vltxmlss.txt" "$WORK/root/System32/"
cat > "$WORK/vltadmin.reg" <<EOF
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\Software\\Veltra\\Install]
"Location"="$WORK/root"

[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Veltra\\XMLService]
"ExposeAccessLists"=dword:00000001

[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Active Setup\\Installed Components\\{E92B03AB-B707-11d2-9CBD-0000F87A369E}]
"Version"="2,5,0,0"

[HKEY_CLASSES_ROOT\\CLSID\\{274FAE1F-3626-11D1-A3A4-00C04FB950DC}\\InprocServer32]
@="ACTIVEDS.DLL"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\Directory Services]
"DomainName"="example.test"
"Servers"="ldaps://127.0.0.1/"
"CACertificateFile"="$WORK/samba/tls/ca.pem"
"BindDN"="Administrator@example.test"
"BindPasswordFile"="$WORK/bind.secret"
EOF

ours() {
  "$BUILD/bin/vltadmin-groups" --registry "$WORK/vltadmin.reg" --domain EXAMPLE --subtree --group Top
}
peer() {
  ldapsearch -LLL -x -H ldaps://127.0.0.1/ -D Administrator@example.test -w "$ADMIN_PW" -b "$BASE" \
    -E pr=1000/noprompt \
    "(&(objectCategory=person)(memberOf:1.2.840.113556.1.4.1941:=CN=Top,CN=Users,$BASE))" sAMAccountName
}

# Both must name the same 2,000 users.
ours > "$WORK/ours.xml"
peer > "$WORK/peer.ldif"
grep -o '<UserName domain="EXAMPLE">[^<]*</UserName>' "$WORK/ours.xml" | sed 's/<[^>]*>//g' | sort -u > "$WORK/ours.txt"
grep '^sAMAccountName: ' "$WORK/peer.ldif" | sed 's/^sAMAccountName: //' | sort -u > "$WORK/peer.txt"
count=$(wc -l < "$WORK/ours.txt")
groups=$(grep -c '<Group ' "$WORK/ours.xml")
if [ "$count" -ne 2000 ] || ! cmp -s "$WORK/ours.txt" "$WORK/peer.txt"; then
  echo "run.sh: the answers differ: vltadmin-groups $count users, ldapsearch $(wc -l < "$WORK/peer.txt")" >&2
  exit 1
fi
if grep -q '<ErrorId>' "$WORK/ours.xml"; then
  echo "run.sh: vltadmin-groups answered an error" >&2
  exit 1
fi
echo "both answer the same $count users (vltadmin-groups in $groups Group elements)" >&2

seconds() {
  local start end
  start=$(date +%s%N)
  "$@" > /dev/null
  end=$(date +%s%N)
  echo $(( (end - start) / 1000 ))
}
ours_times=() peer_times=() ratios=()
for round in $(seq "$ROUNDS"); do
  if [ $(( round % 2 )) -eq 1 ]; then
    t_ours=$(seconds ours); t_peer=$(seconds peer)
  else
    t_peer=$(seconds peer); t_ours=$(seconds ours)
  fi
  ours_times+=("$t_ours") peer_times+=("$t_peer")
  ratios+=("$(awk -v a="$t_ours" -v b="$t_peer" 'BEGIN { printf "%.3f", a / b }')")
  printf 'round %d: vltadmin-groups %.1f ms, ldapsearch %.1f ms\n' "$round" \
    "$(awk -v t="$t_ours" 'BEGIN { print t / 1000 }')" "$(awk -v t="$t_peer" 'BEGIN { print t / 1000 }')"
done
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
spread() { printf '%s\n' "$@" | sort -g | awk 'NR == 1 { lo = $1 } { hi = $1 } END { print lo " to " hi }'; }
echo
printf 'vltadmin-groups: median %.1f ms\n' "$(awk -v t="$(median "${ours_times[@]}")" 'BEGIN { print t / 1000 }')"
printf 'ldapsearch (in-chain rule): median %.1f ms\n' "$(awk -v t="$(median "${peer_times[@]}")" 'BEGIN { print t / 1000 }')"
echo "ratio vltadmin-groups / ldapsearch: median $(median "${ratios[@]}"), spread $(spread "${ratios[@]}"), $ROUNDS rounds (target <= 1.5)"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"

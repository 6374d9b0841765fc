#!/usr/bin/python3
# Adds users and groups to the database of a Samba DC started by
# samba_dc.sh, in one transaction (thousands of accounts in seconds, where
# one LDAP add each would take minutes). Lines on standard input:
#   users PREFIX COUNT          users PREFIX0001 .. PREFIX<COUNT>
#   group NAME [MEMBER...]      a global group with these members, given by
#                               account name (users, groups, computers)
#   members NAME PREFIX FIRST LAST
#                               adds PREFIX<FIRST> .. PREFIX<LAST> to group NAME
# Accounts go to CN=Users; users have no password (they cannot log on).
#   samba_accounts.py DIR      (DIR as given to samba_dc.sh start)
import sys

from samba.auth import system_session
from samba.param import LoadParm
from samba.samdb import SamDB

lp = LoadParm()
lp.load(sys.argv[1] + "/dc/etc/smb.conf")
db = SamDB(url=lp.private_path("sam.ldb"), session_info=system_session(), lp=lp)
base = str(db.domain_dn())
lines = [line.split() for line in sys.stdin if line.strip()]


def dn_of(name):
    found = db.search(base=base, expression="(sAMAccountName=%s)" % name, attrs=["dn"])
    return str(found[0].dn)


db.transaction_start()
for words in lines:
    if words[0] == "users":
        for i in range(1, int(words[2]) + 1):
            name = "%s%04d" % (words[1], i)
            db.add({"dn": "CN=%s,CN=Users,%s" % (name, base), "objectClass": "user", "sAMAccountName": name})
    elif words[0] == "group":
        db.add({"dn": "CN=%s,CN=Users,%s" % (words[1], base), "objectClass": "group",
                "sAMAccountName": words[1]})
db.transaction_commit()
# Members once every account exists (groups may hold each other).
db.transaction_start()
for words in lines:
    members = []
    if words[0] == "group":
        members = [dn_of(name) for name in words[2:]]
    elif words[0] == "members":
        members = ["CN=%s%04d,CN=Users,%s" % (words[2], i, base) for i in range(int(words[3]), int(words[4]) + 1)]
    if members:
        db.modify_ldif("dn: %s\nchangetype: modify\nadd: member\n%s\n" %
                       (dn_of(words[1]), "".join("member: %s\n" % m for m in members)))
db.transaction_commit()

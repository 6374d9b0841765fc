// The "group" commands of vltadmin-accounts: groups of the account store
// and their members.
#pragma once

// Usage lines of the group commands, for the tool's help.
extern const char kGroupUsage[];

// Runs "group SUBCOMMAND STORE ..." (argv[1] is "group"); the exit status:
// 0 done, 1 failed, 2 usage error.
int RunGroupCommand(int argc, char** argv);

// The policy options of vltadmin-accounts: --min-length N, --complexity
// on|off, --history N, --min-age SECONDS, --lockout N.
#pragma once

#include <string>

#include "platform/netapi/local/account_store.h"

// Applies the options in argv[first..argc) to |policy|. False, with |error|
// set, for an unknown option or a bad value.
bool ParsePolicyOptions(int argc, char** argv, int first, platform::CAccountPolicy& policy, std::string& error);

// One line per rule, as "policy" shows it.
std::string DescribePolicy(const platform::CAccountPolicy& policy);

// vltadmin-accounts: creates and administers the embedded account store.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "group_commands.h"
#include "password_input.h"
#include "platform/netapi/local/account_store.h"
#include "platform/netapi/netapi.h"
#include "policy_options.h"

namespace {

const char kUsage[] =
    "Usage: vltadmin-accounts COMMAND STORE [ARGUMENTS]\n"
    "\n"
    "Administers an account store, the SQLite file that vltadmin's \"local\"\n"
    "provider changes passwords in.\n"
    "\n"
    "Commands:\n"
    "  create STORE [POLICY...]  create a new store (it must not exist)\n"
    "  add STORE USER            add a user; the password is read from standard\n"
    "                            input, one line (never give it as an argument)\n"
    "  delete STORE USER         remove a user, the user's password history and\n"
    "                            group memberships\n"
    "  list STORE                list users: name, last change (UTC), bad password\n"
    "                            count, locked\n"
    "  policy STORE [POLICY...]  show the policy, or change the rules given\n"
    "  unlock STORE USER         unlock a user and clear the bad password count\n"
    "  group ...                 groups and their members (below)\n"
    "\n"
    "Policy rules (defaults for create in brackets):\n"
    "  --min-length N      shortest password, in UTF-16 units [8]\n"
    "  --complexity on|off three of: capitals, small letters, digits, others [on]\n"
    "  --history N         refuse the current and the N-1 earlier passwords;\n"
    "                      0 allows reuse [3]\n"
    "  --min-age SECONDS   time between changes [0]\n"
    "  --lockout N         wrong old passwords that lock the account; 0 never [5]\n"
    "\n";
const char kUsageEnd[] = "\nExit status: 0 done, 1 failed, 2 usage error.\n";

int Usage(const char* pszMessage = nullptr) {
  if (pszMessage != nullptr) fprintf(stderr, "vltadmin-accounts: %s\n\n", pszMessage);
  fputs(kUsage, stderr);
  fputs(kGroupUsage, stderr);
  fputs(kUsageEnd, stderr);
  return 2;
}

int Fail(const std::string& message) {
  fprintf(stderr, "vltadmin-accounts: %s\n", message.c_str());
  return 1;
}

int Report(DWORD status, const std::string& user, const char* pszDone) {
  switch (status) {
    case NERR_Success:
      printf("%s %s\n", pszDone, user.c_str());
      return 0;
    case NERR_UserExists:
      return Fail(user + ": exists already");
    case NERR_UserNotFound:
      return Fail(user + ": no such user");
    case ERROR_INVALID_PARAMETER:
      return Fail("a user name must not be empty");
    default:
      return Fail(user + ": the store failed");
  }
}

std::string FormatTime(int64_t nTime) {
  time_t t = static_cast<time_t>(nTime);
  tm parts{};
  gmtime_r(&t, &parts);
  char sz[32];
  strftime(sz, sizeof(sz), "%Y-%m-%dT%H:%M:%SZ", &parts);
  return sz;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
    fputs(kUsage, stdout);
    fputs(kGroupUsage, stdout);
    fputs(kUsageEnd, stdout);
    return 0;
  }
  if (argc >= 2 && strcmp(argv[1], "group") == 0) return RunGroupCommand(argc, argv);
  if (argc < 3) return Usage("a command and a store are needed");
  std::string command = argv[1], path = argv[2];
  std::string error;

  if (command == "create") {
    platform::CAccountPolicy policy;
    if (!ParsePolicyOptions(argc, argv, 3, policy, error)) return Usage(error.c_str());
    if (!platform::CAccountStore::Create(path, policy, error)) return Fail(error);
    printf("created %s\n", path.c_str());
    return 0;
  }

  bool fUserCommand = command == "add" || command == "delete" || command == "unlock";
  if (fUserCommand && argc != 4) return Usage((command + " takes a store and a user").c_str());
  if (command == "list" && argc != 3) return Usage("list takes a store");
  if (!fUserCommand && command != "list" && command != "policy") return Usage(("unknown command " + command).c_str());

  auto pStore = platform::CAccountStore::Open(path, error);
  if (!pStore) return Fail(error);

  if (command == "add") {
    CPasswordInput password;
    if (!password.Read("Password: ")) return Fail("no password on standard input (one line, at most 1024 bytes)");
    if (password.Size() == 0) return Fail("the password is empty");
    return Report(pStore->AddUser(argv[3], password.Text()), argv[3], "added");
  }
  if (command == "delete") return Report(pStore->DeleteUser(argv[3]), argv[3], "deleted");
  if (command == "unlock") return Report(pStore->Unlock(argv[3]), argv[3], "unlocked");
  if (command == "list") {
    std::vector<platform::CAccountInfo> users;
    if (!pStore->ListUsers(users)) return Fail(pStore->LastError());
    for (const auto& user : users)
      printf("%s\t%s\t%u\t%s\n", user.name.c_str(), FormatTime(user.nChanged).c_str(), user.nBadCount,
             user.fLocked ? "locked" : "-");
    return 0;
  }
  // policy
  platform::CAccountPolicy policy;
  if (!pStore->GetPolicy(policy)) return Fail(pStore->LastError());
  if (argc > 3) {
    if (!ParsePolicyOptions(argc, argv, 3, policy, error)) return Usage(error.c_str());
    if (!pStore->SetPolicy(policy)) return Fail(pStore->LastError());
  }
  fputs(DescribePolicy(policy).c_str(), stdout);
  return 0;
}

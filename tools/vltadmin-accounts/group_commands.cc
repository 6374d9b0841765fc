#include "group_commands.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/netapi/local/account_store.h"
#include "platform/netapi/netapi.h"

const char kGroupUsage[] =
    "Groups (domain groups hold users of the store; local groups hold users and\n"
    "domain groups of the store, and accounts of other domains):\n"
    "  group add STORE GROUP [--local]   create a domain group, or a local group\n"
    "  group remove STORE GROUP          delete a group (its members stay)\n"
    "  group list STORE                  list groups: name, kind, member count\n"
    "  group members STORE GROUP [CHANGE...]\n"
    "                                    list the members, after the changes:\n"
    "      --add NAME              a user or domain group of the store, or\n"
    "                              DOMAIN\\NAME, a user of another domain\n"
    "      --add-group DOMAIN\\NAME  a group of another domain\n"
    "      --remove NAME|DOMAIN\\NAME\n";

namespace {

int Usage(const std::string& message) {
  fprintf(stderr, "vltadmin-accounts: %s\n\n%s", message.c_str(), kGroupUsage);
  return 2;
}

int Fail(const std::string& message) {
  fprintf(stderr, "vltadmin-accounts: %s\n", message.c_str());
  return 1;
}

// "DOMAIN\NAME" or a name of the store.
platform::CGroupMember ParseMember(const std::string& text, bool fGroup) {
  platform::CGroupMember member;
  size_t nSlash = text.find('\\');
  if (nSlash == std::string::npos) {
    member.name = text;
  } else {
    member.domain = text.substr(0, nSlash);
    member.name = text.substr(nSlash + 1);
  }
  member.fGroup = fGroup;
  return member;
}

std::string Describe(DWORD status, const std::string& group, const std::string& member) {
  switch (status) {
    case NERR_GroupNotFound: return group + ": no such group";
    case NERR_GroupExists: return group + ": a user or group has that name already";
    case NERR_UserNotFound: return member + ": no such user or group in the store";
    case NERR_UserInGroup: return member + ": a member of " + group + " already";
    case NERR_UserNotInGroup: return member + ": not a member of " + group;
    case ERROR_INVALID_MEMBER:
      return member + ": a domain group holds users of the store only, and local groups do not nest";
    case ERROR_INVALID_PARAMETER: return "names must not be empty or hold more than one \"\\\"";
    default: return "the store failed";
  }
}

int Members(platform::CAccountStore& store, const std::string& group, int argc, char** argv, int iFirst) {
  for (int i = iFirst; i < argc; i += 2) {
    std::string option = argv[i];
    if (i + 1 >= argc) return Usage(option + " needs a member");
    std::string text = argv[i + 1];
    DWORD status;
    if (option == "--add" || option == "--add-group") {
      platform::CGroupMember member = ParseMember(text, option == "--add-group");
      if (member.fGroup && member.domain.empty()) return Usage("--add-group takes DOMAIN\\NAME; add groups of the store with --add");
      status = store.AddGroupMember(group, member);
    } else if (option == "--remove") {
      status = store.RemoveGroupMember(group, ParseMember(text, false));
    } else {
      return Usage("unknown option " + option);
    }
    if (status != NERR_Success) return Fail(Describe(status, group, text));
  }
  std::vector<platform::CGroupMember> members;
  DWORD status = store.GetGroupMembers(group, members);
  if (status != NERR_Success) return Fail(Describe(status, group, ""));
  for (const auto& member : members)
    printf("%s%s%s\t%s\n", member.domain.c_str(), member.domain.empty() ? "" : "\\", member.name.c_str(),
           member.fGroup ? "group" : "user");
  return 0;
}

}  // namespace

int RunGroupCommand(int argc, char** argv) {
  if (argc < 4) return Usage("group takes a subcommand and a store");
  std::string command = argv[2], path = argv[3];
  bool fNamed = command == "add" || command == "remove" || command == "members";
  if (fNamed && argc < 5) return Usage("group " + command + " takes a store and a group");
  if (command == "list" && argc != 4) return Usage("group list takes a store");
  if (command == "remove" && argc != 5) return Usage("group remove takes a store and a group");
  if (command == "add" && argc > 6) return Usage("group add takes a store, a group and --local");
  if (command == "add" && argc == 6 && strcmp(argv[5], "--local") != 0) return Usage(std::string("unknown option ") + argv[5]);
  if (!fNamed && command != "list") return Usage("unknown group command " + command);

  std::string error;
  auto pStore = platform::CAccountStore::Open(path, error);
  if (!pStore) return Fail(error);
  if (command == "list") {
    std::vector<platform::CGroupInfo> groups;
    if (!pStore->ListGroups(groups)) return Fail(pStore->LastError());
    for (const auto& group : groups)
      printf("%s\t%s\t%u\n", group.name.c_str(), group.fLocal ? "local" : "domain", group.cMembers);
    return 0;
  }
  std::string group = argv[4];
  if (command == "members") return Members(*pStore, group, argc, argv, 5);
  DWORD status = command == "add" ? pStore->AddGroup(group, argc == 6) : pStore->DeleteGroup(group);
  if (status != NERR_Success) return Fail(Describe(status, group, ""));
  printf("%s %s\n", command == "add" ? "added" : "removed", group.c_str());
  return 0;
}

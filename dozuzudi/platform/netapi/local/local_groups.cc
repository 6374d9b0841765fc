// The "local" provider's groups: the account store's.
#include "platform/netapi/domain_provider.h"
#include "platform/netapi/local/account_store.h"

namespace platform {

NET_API_STATUS GetStoreGroupMembers(const std::string& store, const std::string& sDomain,
                                    const std::string& sGroup, bool fLocal, std::vector<CNetMember>* prgMembers) {
  prgMembers->clear();
  std::string error;
  std::unique_ptr<CAccountStore> pStore = CAccountStore::Open(store, error);
  if (!pStore) return ERROR_NO_SUCH_DOMAIN;
  CGroupInfo info;
  if (!pStore->GetGroup(sGroup, info) || info.fLocal != fLocal) return NERR_GroupNotFound;
  std::vector<CGroupMember> members;
  NET_API_STATUS status = pStore->GetGroupMembers(sGroup, members);
  if (status != NERR_Success) return status;
  for (const CGroupMember& member : members) {
    if (!fLocal) {
      prgMembers->push_back({member.name, SidTypeUser});
      continue;
    }
    // The store's own accounts carry the domain the caller reached it by.
    std::string sMemberDomain = member.domain.empty() ? sDomain : member.domain;
    prgMembers->push_back({sMemberDomain + "\\" + member.name, member.fGroup ? SidTypeGroup : SidTypeUser});
  }
  return NERR_Success;
}

}  // namespace platform

// NT groups through the network management functions: a local group of
// the domain's server, else a domain group of one of its controllers.
#include "admin/groups/as_self.h"
#include "admin/groups/group_request.h"
#include "admin/groups/group_resolution.h"
#include "admin/groups/group_text.h"
#include "platform/netapi/netapi.h"

namespace {

// "\\" and at most 15 characters of a domain: a server name.
const DWORD s_cwServerName = 18;
const DWORD s_cwDomainInServerName = 15;

// The domain controllers of both kinds.
const DWORD s_dwControllerTypes = SV_TYPE_DOMAIN_CTRL | SV_TYPE_DOMAIN_BAKCTRL;

bool IsMissing(const WCHAR* pwsz) { return pwsz == nullptr || pwsz[0] == 0; }

// The group's members: LOCALGROUP_MEMBERS_INFO_2 entries of a local group
// (*pfLocal) or GROUP_USERS_INFO_0 entries of a domain group, in *ppbBuffer
// for NetApiBufferFree. A network management status.
NET_API_STATUS GetNtGroupMembers(const WCHAR* pwszDomain, const WCHAR* pwszGroup, LPBYTE* ppbBuffer,
                                 DWORD* pcEntries, bool* pfLocal) {
  *ppbBuffer = nullptr;
  *pcEntries = 0;
  *pfLocal = false;
  WCHAR wszServer[s_cwServerName];
  wszServer[0] = wszServer[1] = u'\\';
  DWORD cw = 2;
  for (DWORD i = 0; i < s_cwDomainInServerName && pwszDomain[i] != 0; ++i) wszServer[cw++] = pwszDomain[i];
  wszServer[cw] = 0;

  DWORD cTotal = 0;
  NET_API_STATUS status = NetLocalGroupGetMembers(wszServer, pwszGroup, 2, ppbBuffer, MAX_PREFERRED_LENGTH,
                                                  pcEntries, &cTotal, nullptr);
  if (status != NERR_InvalidComputer && status != RPC_S_SERVER_UNAVAILABLE && status != NERR_GroupNotFound) {
    *pfLocal = true;
    if (status == NERR_Success) return status;
    CAsSelf asSelf;
    if (asSelf.Revert())
      status = NetLocalGroupGetMembers(wszServer, pwszGroup, 2, ppbBuffer, MAX_PREFERRED_LENGTH, pcEntries, &cTotal,
                                       nullptr);
    return status;
  }
  if (*ppbBuffer != nullptr) NetApiBufferFree(*ppbBuffer);
  *ppbBuffer = nullptr;

  // A domain group: asked of the domain's first controller.
  LPBYTE pbServers = nullptr;
  DWORD cServers = 0;
  status = NetServerEnum(nullptr, 101, &pbServers, MAX_PREFERRED_LENGTH, &cServers, &cTotal, s_dwControllerTypes,
                         pwszDomain, nullptr);
  WCHAR* pwszController = nullptr;
  if ((status == NERR_Success || status == ERROR_MORE_DATA) && cServers >= 1 && pbServers != nullptr)
    pwszController = JoinText(u"\\\\", reinterpret_cast<SERVER_INFO_101*>(pbServers)[0].sv101_name);
  if (pbServers != nullptr) NetApiBufferFree(pbServers);
  if (pwszController == nullptr) return NERR_GroupNotFound;
  status = NetGroupGetUsers(pwszController, pwszGroup, 0, ppbBuffer, MAX_PREFERRED_LENGTH, pcEntries, &cTotal,
                            nullptr);
  if (status == ERROR_ACCESS_DENIED || status == ERROR_LOGON_FAILURE) {
    CAsSelf asSelf;
    if (asSelf.Revert())
      status = NetGroupGetUsers(pwszController, pwszGroup, 0, ppbBuffer, MAX_PREFERRED_LENGTH, pcEntries, &cTotal,
                                nullptr);
  }
  FreeText(pwszController);
  return status;
}

bool EndsWithDollar(const WCHAR* pwsz) {
  DWORD cw = TextLength(pwsz);
  return cw > 0 && pwsz[cw - 1] == u'$';
}

}  // namespace

void ResolveNtGroupNetApi(CGroupRequest& message, CGroupQueue& queue, const CGroupName& group) {
  const WCHAR* pwszName = group.Name();
  const WCHAR* pwszDomain = group.Domain();
  message.WriteGroupStart(pwszName, pwszDomain, group.Type());
  if (IsMissing(pwszName) || IsMissing(pwszDomain)) {
    message.WriteErrorId(ERR_ID_NOT_FOUND);
    message.WriteGroupEnd();
    return;
  }
  LPBYTE pbBuffer = nullptr;
  DWORD cEntries = 0;
  bool fLocal = false;
  NET_API_STATUS status = GetNtGroupMembers(pwszDomain, pwszName, &pbBuffer, &cEntries, &fLocal);
  if (status != NERR_Success) {
    if (pbBuffer != nullptr) NetApiBufferFree(pbBuffer);
    message.WriteErrorId(status == ERROR_ACCESS_DENIED || status == ERROR_LOGON_FAILURE ? ERR_ID_NO_PERMISSION
                                                                                         : ERR_ID_NOT_FOUND);
    message.WriteGroupEnd();
    return;
  }
  if (fLocal) {
    auto* rgMembers = reinterpret_cast<LOCALGROUP_MEMBERS_INFO_2*>(pbBuffer);
    for (DWORD i = 0; i < cEntries; ++i) {
      SID_NAME_USE eUsage = rgMembers[i].lgrmi2_sidusage;
      if (eUsage != SidTypeUser && eUsage != SidTypeGroup) continue;
      // DOMAIN\name, split at its first backslash; a name without one has
      // no domain to list it under and is passed over.
      const WCHAR* pwszFull = rgMembers[i].lgrmi2_domainandname;
      DWORD cwFull = TextLength(pwszFull), nSlash = 0;
      while (nSlash < cwFull && pwszFull[nSlash] != u'\\') ++nSlash;
      if (nSlash == cwFull) continue;
      WCHAR* pwszMemberDomain = CopyUnitsOf(pwszFull, nSlash);
      const WCHAR* pwszMemberName = pwszFull + nSlash + 1;
      if (pwszMemberDomain == nullptr) continue;
      bool fStop = false;
      if (eUsage == SidTypeUser) {
        message.WriteUserName(pwszMemberName, pwszMemberDomain);
      } else {
        message.WriteGroupName(pwszMemberName, pwszMemberDomain);
        if (queue.Recurse() && !queue.Queue(pwszMemberName, pwszMemberDomain, 1)) {
          message.WriteErrorId(ERR_ID_NOT_FOUND);
          fStop = true;
        }
      }
      FreeText(pwszMemberDomain);
      if (fStop) break;
    }
  } else {
    auto* rgUsers = reinterpret_cast<GROUP_USERS_INFO_0*>(pbBuffer);
    // Machine accounts end in "$" and are not listed.
    for (DWORD i = 0; i < cEntries; ++i)
      if (rgUsers[i].grui0_name != nullptr && !EndsWithDollar(rgUsers[i].grui0_name))
        message.WriteUserName(rgUsers[i].grui0_name, pwszDomain);
  }
  if (pbBuffer != nullptr) NetApiBufferFree(pbBuffer);
  message.WriteGroupEnd();
}

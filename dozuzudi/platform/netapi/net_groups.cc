// NetLocalGroupGetMembers, NetGroupGetUsers and NetServerEnum over the
// domains' providers (domain_provider.cc); the providers' groups live in
// their own files.
#include <cstdlib>
#include <cstring>

#include "platform/netapi/domain_provider.h"
#include "platform/text/wstr.h"

namespace {

// The domain a server name names: "\\NAME" and "NAME" both name NAME; null
// and empty name this machine ("").
std::u16string DomainOfServer(LPCWSTR pwszServer) {
  if (pwszServer == nullptr) return std::u16string();
  if (pwszServer[0] == u'\\' && pwszServer[1] == u'\\') pwszServer += 2;
  return pwszServer;
}

NET_API_STATUS GetMembers(LPCWSTR pwszServer, LPCWSTR pwszGroup, bool fLocal,
                          std::vector<platform::CNetMember>* prgMembers) {
  std::u16string sDomain = DomainOfServer(pwszServer);
  platform::CDomainProvider provider;
  if (!platform::FindDomainProvider(sDomain.c_str(), provider)) return NERR_InvalidComputer;
  std::string sDomainUtf8 = platform::ToUtf8(sDomain), sGroup = platform::ToUtf8(pwszGroup);
  switch (provider.eKind) {
    case platform::EAccountProvider::Local:
      return platform::GetStoreGroupMembers(provider.store, sDomainUtf8, sGroup, fLocal, prgMembers);
    case platform::EAccountProvider::Kerberos:
      return platform::GetDirectoryGroupMembers(provider, sDomainUtf8, sGroup, fLocal, prgMembers);
  }
  return NERR_InvalidComputer;
}

// Packs entries from *pResume on into one block of fixed records followed
// by their strings, as many as prefmaxlen allows (at least one).
// pfnPlace(record, i, string area) writes record i and returns the string
// area past what it used; cbStrings(i) is what entry i needs there.
template <typename TRecord, typename FSize, typename FPlace>
NET_API_STATUS Pack(size_t cEntries, DWORD prefmaxlen, LPBYTE* bufptr, LPDWORD entriesread, LPDWORD totalentries,
                    PDWORD_PTR pResume, FSize cbStrings, FPlace place) {
  size_t iFirst = pResume != nullptr ? static_cast<size_t>(*pResume) : 0;
  if (iFirst > cEntries) iFirst = cEntries;
  size_t cb = 0, iEnd = iFirst;
  while (iEnd < cEntries) {
    size_t cbNext = sizeof(TRecord) + cbStrings(iEnd);
    if (prefmaxlen != MAX_PREFERRED_LENGTH && iEnd > iFirst && cb + cbNext > prefmaxlen) break;
    cb += cbNext;
    ++iEnd;
  }
  *totalentries = static_cast<DWORD>(cEntries - iFirst);
  *entriesread = static_cast<DWORD>(iEnd - iFirst);
  if (iEnd == iFirst) {
    if (pResume != nullptr) *pResume = 0;
    return NERR_Success;
  }
  auto* pb = static_cast<BYTE*>(std::calloc(1, cb));
  if (pb == nullptr) {
    *entriesread = 0;
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  auto* rgRecords = reinterpret_cast<TRecord*>(pb);
  auto* pw = reinterpret_cast<WCHAR*>(pb + (iEnd - iFirst) * sizeof(TRecord));
  for (size_t i = iFirst; i < iEnd; ++i) pw = place(&rgRecords[i - iFirst], i, pw);
  *bufptr = pb;
  if (pResume != nullptr) *pResume = iEnd < cEntries ? static_cast<DWORD_PTR>(iEnd) : 0;
  return iEnd < cEntries ? static_cast<NET_API_STATUS>(ERROR_MORE_DATA) : NERR_Success;
}

WCHAR* PlaceText(WCHAR* pw, const std::u16string& s, LPWSTR* ppwszField) {
  std::memcpy(pw, s.c_str(), (s.size() + 1) * sizeof(WCHAR));
  *ppwszField = pw;
  return pw + s.size() + 1;
}

bool BadOutputs(LPBYTE* bufptr, LPDWORD entriesread, LPDWORD totalentries) {
  if (bufptr != nullptr) *bufptr = nullptr;
  if (entriesread != nullptr) *entriesread = 0;
  if (totalentries != nullptr) *totalentries = 0;
  return bufptr == nullptr || entriesread == nullptr || totalentries == nullptr;
}

}  // namespace

NET_API_STATUS NetLocalGroupGetMembers(LPCWSTR servername, LPCWSTR localgroupname, DWORD level, LPBYTE* bufptr,
                                       DWORD prefmaxlen, LPDWORD entriesread, LPDWORD totalentries,
                                       PDWORD_PTR resumehandle) {
  if (BadOutputs(bufptr, entriesread, totalentries) || localgroupname == nullptr) return ERROR_INVALID_PARAMETER;
  if (level != 2 && level != 3) return ERROR_INVALID_LEVEL;
  std::vector<platform::CNetMember> members;
  NET_API_STATUS status = GetMembers(servername, localgroupname, true, &members);
  if (status != NERR_Success) return status;
  std::vector<std::u16string> rgsNames;
  for (const auto& member : members) rgsNames.push_back(platform::FromUtf8(member.sName));
  auto cbStrings = [&](size_t i) { return (rgsNames[i].size() + 1) * sizeof(WCHAR); };
  if (level == 3)
    return Pack<LOCALGROUP_MEMBERS_INFO_3>(rgsNames.size(), prefmaxlen, bufptr, entriesread, totalentries,
                                           resumehandle, cbStrings,
                                           [&](LOCALGROUP_MEMBERS_INFO_3* pInfo, size_t i, WCHAR* pw) {
                                             return PlaceText(pw, rgsNames[i], &pInfo->lgrmi3_domainandname);
                                           });
  return Pack<LOCALGROUP_MEMBERS_INFO_2>(rgsNames.size(), prefmaxlen, bufptr, entriesread, totalentries, resumehandle,
                                         cbStrings, [&](LOCALGROUP_MEMBERS_INFO_2* pInfo, size_t i, WCHAR* pw) {
                                           pInfo->lgrmi2_sid = nullptr;
                                           pInfo->lgrmi2_sidusage = members[i].eUsage;
                                           return PlaceText(pw, rgsNames[i], &pInfo->lgrmi2_domainandname);
                                         });
}

NET_API_STATUS NetGroupGetUsers(LPCWSTR servername, LPCWSTR groupname, DWORD level, LPBYTE* bufptr, DWORD prefmaxlen,
                                LPDWORD entriesread, LPDWORD totalentries, PDWORD_PTR ResumeHandle) {
  if (BadOutputs(bufptr, entriesread, totalentries) || groupname == nullptr) return ERROR_INVALID_PARAMETER;
  if (level != 0) return ERROR_INVALID_LEVEL;
  std::vector<platform::CNetMember> members;
  NET_API_STATUS status = GetMembers(servername, groupname, false, &members);
  if (status != NERR_Success) return status;
  std::vector<std::u16string> rgsNames;
  for (const auto& member : members) rgsNames.push_back(platform::FromUtf8(member.sName));
  return Pack<GROUP_USERS_INFO_0>(
      rgsNames.size(), prefmaxlen, bufptr, entriesread, totalentries, ResumeHandle,
      [&](size_t i) { return (rgsNames[i].size() + 1) * sizeof(WCHAR); },
      [&](GROUP_USERS_INFO_0* pInfo, size_t i, WCHAR* pw) { return PlaceText(pw, rgsNames[i], &pInfo->grui0_name); });
}

NET_API_STATUS NetServerEnum(LPCWSTR, DWORD level, LPBYTE* bufptr, DWORD prefmaxlen, LPDWORD entriesread,
                             LPDWORD totalentries, DWORD servertype, LPCWSTR domain, LPDWORD resume_handle) {
  if (BadOutputs(bufptr, entriesread, totalentries)) return ERROR_INVALID_PARAMETER;
  if (level != 100 && level != 101) return ERROR_INVALID_LEVEL;
  // Each domain's provider is its own controller, named as the domain is.
  platform::CDomainProvider provider;
  std::u16string sDomain = domain != nullptr ? domain : u"";
  if ((servertype & (SV_TYPE_DOMAIN_CTRL | SV_TYPE_DOMAIN_BAKCTRL)) == 0 ||
      !platform::FindDomainProvider(sDomain.c_str(), provider))
    return ERROR_NO_BROWSER_SERVERS_FOUND;
  std::u16string sName = sDomain.empty() ? u"." : sDomain;
  DWORD_PTR nResume = resume_handle != nullptr ? *resume_handle : 0;
  auto cbStrings = [&](size_t) { return (sName.size() + 1) * sizeof(WCHAR); };
  NET_API_STATUS status;
  if (level == 100) {
    status = Pack<SERVER_INFO_100>(1, prefmaxlen, bufptr, entriesread, totalentries, &nResume, cbStrings,
                                   [&](SERVER_INFO_100* pInfo, size_t, WCHAR* pw) {
                                     pInfo->sv100_platform_id = PLATFORM_ID_NT;
                                     return PlaceText(pw, sName, &pInfo->sv100_name);
                                   });
  } else {
    status = Pack<SERVER_INFO_101>(1, prefmaxlen, bufptr, entriesread, totalentries, &nResume, cbStrings,
                                   [&](SERVER_INFO_101* pInfo, size_t, WCHAR* pw) {
                                     pInfo->sv101_platform_id = PLATFORM_ID_NT;
                                     pInfo->sv101_version_major = 10;
                                     pInfo->sv101_type = SV_TYPE_SERVER | SV_TYPE_SERVER_NT | SV_TYPE_DOMAIN_CTRL;
                                     pw = PlaceText(pw, sName, &pInfo->sv101_name);
                                     pInfo->sv101_comment = pw - 1;  // the name's terminator: no comment
                                     return pw;
                                   });
  }
  if (resume_handle != nullptr) *resume_handle = static_cast<DWORD>(nResume);
  return status;
}

// NT groups through the directory services: the group's LDAP object (its
// members, and the users whose primary group it is), else its WinNT object.
#include "admin/groups/as_self.h"
#include "admin/groups/group_request.h"
#include "admin/groups/group_resolution.h"
#include "admin/groups/group_text.h"
#include "platform/activeds/adsi.h"
#include "platform/com/com.h"
#include "platform/text/wstr.h"

namespace {

// Step statuses, and the error id each is answered with.
enum EAdsStatus { ADS_STATUS_OK = 0, ADS_STATUS_BAD_REQUEST = 1, ADS_STATUS_NOT_FOUND = 3, ADS_STATUS_NO_PERMISSION = 4,
                 ADS_STATUS_FAILED = 65535 };

enum EMemberKind { MEMBERS_USERS, MEMBERS_GROUPS };

const WCHAR s_wszLdapPrefix[] = u"LDAP://";
const DWORD s_cwLdapPrefix = 7;
const WCHAR s_wszPrimaryGroupToken[] = u"primaryGroupToken";
const WCHAR s_wszAccountName[] = u"sAMAccountName";
const int s_cwFilterRoom = 21;
const WCHAR s_wszPrimaryGroupFilter[] = u"(&(objectCategory=person)(primaryGroupID=";

void WriteAdsStatus(CGroupRequest& message, DWORD nStatus) {
  switch (nStatus) {
    case ADS_STATUS_OK: break;
    case ADS_STATUS_BAD_REQUEST: message.WriteErrorId(ERR_ID_BAD_REQUEST); break;
    case ADS_STATUS_NOT_FOUND: message.WriteErrorId(ERR_ID_NOT_FOUND); break;
    case ADS_STATUS_NO_PERMISSION: message.WriteErrorId(ERR_ID_NO_PERMISSION); break;
    default: message.WriteErrorId(ERR_ID_UNSPECIFIED); break;
  }
}

// ADsGetObject, repeated as the process when it fails while the thread
// impersonates.
HRESULT GetObjectAsSelf(const CAdsiEntryPoints& adsi, const WCHAR* pwszPath, REFIID riid, void** ppObject) {
  HRESULT hr = adsi.pfnADsGetObject(pwszPath, riid, ppObject);
  if (SUCCEEDED(hr)) return hr;
  CAsSelf asSelf;
  if (asSelf.Revert()) hr = adsi.pfnADsGetObject(pwszPath, riid, ppObject);
  return hr;
}

// Translates a name from one form to another with a new name translator.
// *ppwszOut is the caller's (FreeText).
DWORD TranslateName(const WCHAR* pwszName, LONG nFrom, LONG nTo, WCHAR** ppwszOut) {
  *ppwszOut = nullptr;
  IADsNameTranslate* pTranslate = nullptr;
  if (FAILED(CoCreateInstance(CLSID_NameTranslate, nullptr, CLSCTX_INPROC_SERVER, IID_IADsNameTranslate,
                              reinterpret_cast<void**>(&pTranslate))))
    return ADS_STATUS_FAILED;
  DWORD nStatus = ADS_STATUS_FAILED;
  BSTR bstrServer = SysAllocString(u"");
  BSTR bstrName = SysAllocString(pwszName);
  BSTR bstrOut = nullptr;
  if (bstrServer != nullptr && bstrName != nullptr && SUCCEEDED(pTranslate->Init(ADS_NAME_INITTYPE_GC, bstrServer)) &&
      SUCCEEDED(pTranslate->Set(nFrom, bstrName))) {
    nStatus = ADS_STATUS_NOT_FOUND;
    if (SUCCEEDED(pTranslate->Get(nTo, &bstrOut)) && bstrOut != nullptr) {
      *ppwszOut = CopyUnitsOf(bstrOut, SysStringLen(bstrOut));
      nStatus = *ppwszOut != nullptr ? ADS_STATUS_OK : ADS_STATUS_FAILED;
    }
  }
  SysFreeString(bstrOut);
  SysFreeString(bstrName);
  SysFreeString(bstrServer);
  pTranslate->Release();
  return nStatus;
}

// "LDAP://" and the DN of DOMAIN\name.
DWORD BuildGroupLdapPath(const WCHAR* pwszDomain, const WCHAR* pwszName, WCHAR** ppwszPath) {
  *ppwszPath = nullptr;
  WCHAR* pwszNt4 = JoinText(pwszDomain, u"\\", pwszName);
  if (pwszNt4 == nullptr) return ADS_STATUS_FAILED;
  WCHAR* pwszDn = nullptr;
  DWORD nStatus = TranslateName(pwszNt4, ADS_NAME_TYPE_NT4, ADS_NAME_TYPE_1779, &pwszDn);
  if (nStatus == ADS_STATUS_OK) {
    *ppwszPath = JoinText(s_wszLdapPrefix, pwszDn);
    if (*ppwszPath == nullptr) nStatus = ADS_STATUS_FAILED;
  }
  FreeText(pwszDn);
  FreeText(pwszNt4);
  return nStatus;
}

// The path of the domain object: DOMAIN\ alone.
DWORD BuildDomainLdapPath(const WCHAR* pwszDomain, WCHAR** ppwszPath) {
  return BuildGroupLdapPath(pwszDomain, u"", ppwszPath);
}

// The domain and the name of a member's path: "LDAP://DN" through the
// translator, "WinNT://DOMAIN/name" by its slashes.
DWORD SplitAdsPath(const WCHAR* pwszPath, WCHAR** ppwszDomain, WCHAR** ppwszName) {
  *ppwszDomain = *ppwszName = nullptr;
  DWORD cwPath = TextLength(pwszPath);
  bool fLdap = cwPath >= s_cwLdapPrefix;
  for (DWORD i = 0; fLdap && i < s_cwLdapPrefix; ++i) fLdap = pwszPath[i] == s_wszLdapPrefix[i];
  WCHAR* pwszFull = nullptr;
  WCHAR wchSeparator = u'/';
  if (fLdap) {
    DWORD nStatus = TranslateName(pwszPath + s_cwLdapPrefix, ADS_NAME_TYPE_1779, ADS_NAME_TYPE_NT4, &pwszFull);
    if (nStatus != ADS_STATUS_OK) return nStatus;
    wchSeparator = u'\\';
  } else {
    pwszFull = CopyUnitsOf(pwszPath, cwPath);
    if (pwszFull == nullptr) return ADS_STATUS_FAILED;
  }
  DWORD cwFull = TextLength(pwszFull);
  DWORD nLast = cwFull;
  for (DWORD i = 0; i < cwFull; ++i)
    if (pwszFull[i] == wchSeparator) nLast = i;
  DWORD nStatus = ADS_STATUS_OK;
  if (nLast == cwFull) {
    nStatus = ADS_STATUS_NOT_FOUND;
  } else {
    // The domain runs from the separator before the last one (a WinNT path)
    // or from the start (an NT4 name).
    DWORD nStart = 0;
    if (!fLdap)
      for (DWORD i = 0; i < nLast; ++i)
        if (pwszFull[i] == u'/') nStart = i + 1;
    *ppwszDomain = CopyUnitsOf(pwszFull + nStart, nLast - nStart);
    *ppwszName = CopyUnitsOf(pwszFull + nLast + 1, cwFull - nLast - 1);
    if (*ppwszDomain == nullptr || *ppwszName == nullptr) {
      FreeText(*ppwszDomain);
      FreeText(*ppwszName);
      *ppwszDomain = *ppwszName = nullptr;
      nStatus = ADS_STATUS_FAILED;
    }
  }
  FreeText(pwszFull);
  return nStatus;
}

// Reads the group's primaryGroupToken; false when it cannot be read.
bool ReadPrimaryGroupToken(IADsGroup* pGroup, const CAdsiEntryPoints& adsi, LONG* pnToken) {
  WCHAR wszName[sizeof(s_wszPrimaryGroupToken) / sizeof(WCHAR)];
  for (size_t i = 0; i < sizeof(wszName) / sizeof(WCHAR); ++i) wszName[i] = s_wszPrimaryGroupToken[i];
  LPWSTR rgpwszNames[] = {wszName};
  VARIANT vNames;
  VariantInit(&vNames);
  if (SUCCEEDED(adsi.pfnADsBuildVarArrayStr(rgpwszNames, 1, &vNames))) pGroup->GetInfoEx(vNames, 0);
  VariantClear(&vNames);
  VARIANT vToken;
  VariantInit(&vToken);
  BSTR bstrName = SysAllocString(s_wszPrimaryGroupToken);
  bool fRead = bstrName != nullptr && SUCCEEDED(pGroup->Get(bstrName, &vToken));
  SysFreeString(bstrName);
  if (fRead && vToken.vt == VT_I4) {
    *pnToken = vToken.lVal;
  } else if (fRead && vToken.vt == VT_BSTR && vToken.bstrVal != nullptr && vToken.bstrVal[0] != 0) {
    *pnToken = _wtol(vToken.bstrVal);
  } else {
    fRead = false;
  }
  VariantClear(&vToken);
  return fRead;
}

// The filter for the users whose primary group has the token.
WCHAR* PrimaryGroupFilter(LONG nToken) {
  WCHAR wszNumber[s_cwFilterRoom];
  int cw = 0;
  unsigned long nValue = nToken < 0 ? 0ul - static_cast<unsigned long>(nToken) : static_cast<unsigned long>(nToken);
  do {
    wszNumber[cw++] = static_cast<WCHAR>(u'0' + nValue % 10);
    nValue /= 10;
  } while (nValue != 0);
  if (nToken < 0) wszNumber[cw++] = u'-';
  WCHAR wszDigits[s_cwFilterRoom + 3];
  int cwDigits = 0;
  while (cw > 0) wszDigits[cwDigits++] = wszNumber[--cw];
  wszDigits[cwDigits++] = u')';
  wszDigits[cwDigits++] = u')';
  wszDigits[cwDigits] = 0;
  return JoinText(s_wszPrimaryGroupFilter, wszDigits);
}

// The users whose primary group this is, by a paged directory search.
DWORD ListPrimaryGroupUsers(CGroupRequest& message, const CAdsiEntryPoints& adsi, IADsGroup* pGroup,
                            const WCHAR* pwszDomain) {
  LONG nToken = 0;
  // A group without a readable token (a directory with no primary groups)
  // has no such users: nothing is searched for.
  if (!ReadPrimaryGroupToken(pGroup, adsi, &nToken)) return ADS_STATUS_OK;
  WCHAR* pwszPath = nullptr;
  if (BuildDomainLdapPath(pwszDomain, &pwszPath) != ADS_STATUS_OK) return ADS_STATUS_NOT_FOUND;
  IDirectorySearch* pSearch = nullptr;
  HRESULT hr = adsi.pfnADsGetObject(pwszPath, IID_IDirectorySearch, reinterpret_cast<void**>(&pSearch));
  FreeText(pwszPath);
  if (FAILED(hr) || pSearch == nullptr) return ADS_STATUS_NOT_FOUND;

  ADS_SEARCHPREF_INFO rgPrefs[2] = {};
  rgPrefs[0].dwSearchPref = ADS_SEARCHPREF_SEARCH_SCOPE;
  rgPrefs[0].vValue.dwType = ADSTYPE_INTEGER;
  rgPrefs[0].vValue.Integer = ADS_SCOPE_SUBTREE;
  rgPrefs[1].dwSearchPref = ADS_SEARCHPREF_PAGESIZE;
  rgPrefs[1].vValue.dwType = ADSTYPE_INTEGER;
  rgPrefs[1].vValue.Integer = 1000;
  pSearch->SetSearchPreference(rgPrefs, 2);

  DWORD nStatus = ADS_STATUS_FAILED;
  WCHAR* pwszFilter = PrimaryGroupFilter(nToken);
  WCHAR wszAccount[sizeof(s_wszAccountName) / sizeof(WCHAR)];
  for (size_t i = 0; i < sizeof(wszAccount) / sizeof(WCHAR); ++i) wszAccount[i] = s_wszAccountName[i];
  LPWSTR rgpwszAttributes[] = {wszAccount};
  ADS_SEARCH_HANDLE hSearch = nullptr;
  if (pwszFilter != nullptr && SUCCEEDED(pSearch->ExecuteSearch(pwszFilter, rgpwszAttributes, 1, &hSearch))) {
    nStatus = ADS_STATUS_OK;
    hr = pSearch->GetFirstRow(hSearch);
    while (SUCCEEDED(hr) && hr != S_ADS_NOMORE_ROWS) {
      ADS_SEARCH_COLUMN column;
      // A row whose account name cannot be read is passed over.
      if (SUCCEEDED(pSearch->GetColumn(hSearch, wszAccount, &column))) {
        if (column.dwNumValues > 0 && column.pADsValues != nullptr && column.pADsValues[0].dwType != ADSTYPE_INTEGER &&
            column.pADsValues[0].dwType != ADSTYPE_OCTET_STRING && column.pADsValues[0].CaseIgnoreString != nullptr)
          message.WriteUserName(column.pADsValues[0].CaseIgnoreString, pwszDomain);
        pSearch->FreeColumn(&column);
      }
      hr = pSearch->GetNextRow(hSearch);
    }
    pSearch->CloseSearchHandle(hSearch);
  }
  FreeText(pwszFilter);
  pSearch->Release();
  return nStatus;
}

// Lists the members of one kind; nested groups are queued when the
// resolution follows them.
DWORD ListGroupMembers(CGroupRequest& message, CGroupQueue& queue, EMemberKind eKind, IADsGroup* pGroup) {
  IADsMembers* pMembers = nullptr;
  IUnknown* pUnknown = nullptr;
  IEnumVARIANT* pEnum = nullptr;
  bool fEnum = SUCCEEDED(pGroup->Members(&pMembers)) && pMembers != nullptr &&
               SUCCEEDED(pMembers->get__NewEnum(&pUnknown)) && pUnknown != nullptr &&
               SUCCEEDED(pUnknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&pEnum))) &&
               pEnum != nullptr;
  if (pUnknown != nullptr) pUnknown->Release();
  if (pMembers != nullptr) pMembers->Release();
  if (!fEnum) return ADS_STATUS_NO_PERMISSION;

  VARIANT vItem;
  VariantInit(&vItem);
  ULONG cFetched = 0;
  while (pEnum->Next(1, &vItem, &cFetched) == S_OK) {
    if (vItem.vt != VT_DISPATCH) {
      VariantClear(&vItem);
      break;
    }
    IADs* pItem = nullptr;
    if (cFetched == 1 && vItem.pdispVal != nullptr &&
        SUCCEEDED(vItem.pdispVal->QueryInterface(eKind == MEMBERS_USERS ? IID_IADsUser : IID_IADsGroup,
                                                 reinterpret_cast<void**>(&pItem))) &&
        pItem != nullptr) {
      BSTR bstrPath = nullptr;
      WCHAR* pwszDomain = nullptr;
      WCHAR* pwszName = nullptr;
      if (SUCCEEDED(pItem->get_ADsPath(&bstrPath)) && bstrPath != nullptr &&
          SplitAdsPath(bstrPath, &pwszDomain, &pwszName) == ADS_STATUS_OK) {
        if (eKind == MEMBERS_USERS) {
          message.WriteUserName(pwszName, pwszDomain);
        } else {
          message.WriteGroupName(pwszName, pwszDomain);
          if (queue.Recurse()) queue.Queue(pwszName, pwszDomain, 1);
        }
      }
      FreeText(pwszDomain);
      FreeText(pwszName);
      SysFreeString(bstrPath);
      pItem->Release();
    }
    VariantClear(&vItem);
  }
  pEnum->Release();
  return ADS_STATUS_OK;
}

bool IsMissing(const WCHAR* pwsz) { return pwsz == nullptr || pwsz[0] == 0; }

}  // namespace

void ResolveNtGroupAdsi(CGroupRequest& message, CGroupQueue& queue, const CAdsiEntryPoints& adsi,
                        const CGroupName& group) {
  const WCHAR* pwszName = group.Name();
  const WCHAR* pwszDomain = group.Domain();
  message.WriteGroupStart(pwszName, pwszDomain, 1);
  if (IsMissing(pwszName) || IsMissing(pwszDomain)) {
    message.WriteErrorId(ERR_ID_NOT_FOUND);
    message.WriteGroupEnd();
    return;
  }
  IADsGroup* pGroup = nullptr;
  HRESULT hr = E_FAIL;
  WCHAR* pwszPath = nullptr;
  if (BuildGroupLdapPath(pwszDomain, pwszName, &pwszPath) == ADS_STATUS_OK) {
    hr = GetObjectAsSelf(adsi, pwszPath, IID_IADsGroup, reinterpret_cast<void**>(&pGroup));
    FreeText(pwszPath);
  }
  bool fListGroups = true;
  if (hr == S_OK && pGroup != nullptr) {
    DWORD nPrimary = ListPrimaryGroupUsers(message, adsi, pGroup, pwszDomain);
    DWORD nUsers = ListGroupMembers(message, queue, MEMBERS_USERS, pGroup);
    if (nPrimary != ADS_STATUS_OK)
      WriteAdsStatus(message, nPrimary);
    else if (nUsers != ADS_STATUS_OK)
      WriteAdsStatus(message, nUsers);
  } else {
    if (pGroup != nullptr) pGroup->Release();
    pGroup = nullptr;
    pwszPath = JoinText(u"WinNT://", pwszDomain, nullptr);
    WCHAR* pwszWinNT = pwszPath != nullptr ? JoinText(pwszPath, u"/", pwszName) : nullptr;
    FreeText(pwszPath);
    hr = pwszWinNT != nullptr ? GetObjectAsSelf(adsi, pwszWinNT, IID_IADsGroup, reinterpret_cast<void**>(&pGroup))
                              : E_OUTOFMEMORY;
    FreeText(pwszWinNT);
    if (hr != S_OK || pGroup == nullptr) {
      DWORD nCode = static_cast<DWORD>(hr) & 0xFFFF;
      WriteAdsStatus(message, nCode == ERROR_ACCESS_DENIED || nCode == ERROR_LOGON_FAILURE ? ADS_STATUS_NO_PERMISSION
                                                                                           : ADS_STATUS_NOT_FOUND);
      fListGroups = false;
    } else {
      WriteAdsStatus(message, ListGroupMembers(message, queue, MEMBERS_USERS, pGroup));
    }
  }
  if (fListGroups) WriteAdsStatus(message, ListGroupMembers(message, queue, MEMBERS_GROUPS, pGroup));
  if (pGroup != nullptr) pGroup->Release();
  message.WriteGroupEnd();
}

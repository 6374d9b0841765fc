#include "platform/activeds/winnt_group.h"

#include <memory>
#include <vector>

#include "platform/activeds/ads_group_defaults.h"
#include "platform/activeds/ads_members.h"
#include "platform/activeds/ads_object.h"
#include "platform/activeds/ads_user_defaults.h"
#include "platform/netapi/netapi.h"

namespace {

struct CWinNTMember {
  std::string sDomain;
  std::string sName;
  bool fGroup;
};

bool IsNotHere(NET_API_STATUS status) {
  return status == NERR_GroupNotFound || status == NERR_InvalidComputer || status == RPC_S_SERVER_UNAVAILABLE;
}

// The members of the group, as a local group, else as a domain group.
NET_API_STATUS ReadWinNTMembers(const std::string& sDomain, const std::string& sName,
                                std::vector<CWinNTMember>* prgMembers) {
  prgMembers->clear();
  std::u16string sServer = u"\\\\" + platform::FromUtf8(sDomain);
  std::u16string sGroup = platform::FromUtf8(sName);
  LPBYTE pb = nullptr;
  DWORD cRead = 0, cTotal = 0;
  NET_API_STATUS status = NetLocalGroupGetMembers(sServer.c_str(), sGroup.c_str(), 2, &pb, MAX_PREFERRED_LENGTH,
                                                  &cRead, &cTotal, nullptr);
  if (status == NERR_Success) {
    auto* rgInfo = reinterpret_cast<LOCALGROUP_MEMBERS_INFO_2*>(pb);
    for (DWORD i = 0; i < cRead; ++i) {
      if (rgInfo[i].lgrmi2_sidusage != SidTypeUser && rgInfo[i].lgrmi2_sidusage != SidTypeGroup) continue;
      std::string sFull = platform::ToUtf8(rgInfo[i].lgrmi2_domainandname);
      size_t nSlash = sFull.find('\\');
      if (nSlash == std::string::npos) continue;
      prgMembers->push_back({sFull.substr(0, nSlash), sFull.substr(nSlash + 1),
                             rgInfo[i].lgrmi2_sidusage == SidTypeGroup});
    }
    NetApiBufferFree(pb);
    return NERR_Success;
  }
  if (!IsNotHere(status)) return status;
  status = NetGroupGetUsers(sServer.c_str(), sGroup.c_str(), 0, &pb, MAX_PREFERRED_LENGTH, &cRead, &cTotal,
                            nullptr);
  if (status != NERR_Success) return status;
  auto* rgInfo = reinterpret_cast<GROUP_USERS_INFO_0*>(pb);
  for (DWORD i = 0; i < cRead; ++i) prgMembers->push_back({sDomain, platform::ToUtf8(rgInfo[i].grui0_name), false});
  NetApiBufferFree(pb);
  return NERR_Success;
}

// What WinNT objects share: a domain, a name and a class.
template <typename TBase>
class CWinNTObject : public CAdsBase<TBase> {
 public:
  CWinNTObject(std::string sDomain, std::string sName, const char* pszClass, const IID& riidOwn)
      : CAdsBase<TBase>(riidOwn), m_sDomain(std::move(sDomain)), m_sName(std::move(sName)), m_pszClass(pszClass) {}

  HRESULT STDMETHODCALLTYPE get_Name(BSTR* retval) override { return this->Text(m_sName, retval); }
  HRESULT STDMETHODCALLTYPE get_Class(BSTR* retval) override { return this->Text(m_pszClass, retval); }
  HRESULT STDMETHODCALLTYPE get_ADsPath(BSTR* retval) override {
    return this->Text("WinNT://" + m_sDomain + "/" + m_sName, retval);
  }
  HRESULT STDMETHODCALLTYPE get_Parent(BSTR* retval) override { return this->Text("WinNT://" + m_sDomain, retval); }
  HRESULT STDMETHODCALLTYPE Get(BSTR bstrName, VARIANT* pvProp) override {
    if (bstrName == nullptr || pvProp == nullptr) return E_POINTER;
    VariantInit(pvProp);
    return E_ADS_PROPERTY_NOT_FOUND;
  }

 protected:
  std::string m_sDomain;
  std::string m_sName;
  const char* m_pszClass;
};

class CWinNTUser final : public CWinNTObject<CAdsUserDefaults> {
 public:
  CWinNTUser(std::string sDomain, std::string sName)
      : CWinNTObject(std::move(sDomain), std::move(sName), "User", IID_IADsUser) {}
  // The change through the domain's provider.
  HRESULT STDMETHODCALLTYPE ChangePassword(BSTR bstrOld, BSTR bstrNew) override {
    if (bstrOld == nullptr || bstrNew == nullptr) return E_ADS_BAD_PARAMETER;
    std::u16string sDomain = platform::FromUtf8(m_sDomain), sName = platform::FromUtf8(m_sName);
    NET_API_STATUS status = NetUserChangePassword(sDomain.c_str(), sName.c_str(), bstrOld, bstrNew);
    return status == NERR_Success ? S_OK : HRESULT_FROM_WIN32(status);
  }
};

class CWinNTGroup final : public CWinNTObject<CAdsGroupDefaults> {
 public:
  CWinNTGroup(std::string sDomain, std::string sName)
      : CWinNTObject(std::move(sDomain), std::move(sName), "Group", IID_IADsGroup) {}

  // Reads the members; a status other than 0 means no such group here.
  NET_API_STATUS Bind() {
    NET_API_STATUS status = ReadWinNTMembers(m_sDomain, m_sName, &m_rgMembers);
    m_fBound = status == NERR_Success;
    return status;
  }

  HRESULT STDMETHODCALLTYPE Members(IADsMembers** ppMembers) override {
    if (ppMembers == nullptr) return E_POINTER;
    *ppMembers = nullptr;
    if (!m_fBound) {
      NET_API_STATUS status = Bind();
      if (status != NERR_Success) return HRESULT_FROM_WIN32(status);
    }
    auto pMembers = std::make_shared<std::vector<CWinNTMember>>(m_rgMembers);
    auto pMake = std::make_shared<MemberMaker>([pMembers](size_t i) -> IADs* {
      const CWinNTMember& member = (*pMembers)[i];
      if (member.fGroup) return new CWinNTGroup(member.sDomain, member.sName);
      // Machine accounts are computers, not users.
      if (!member.sName.empty() && member.sName.back() == '$')
        return new CWinNTObject<IADs>(member.sDomain, member.sName, "Computer", IID_IADs);
      return new CWinNTUser(member.sDomain, member.sName);
    });
    return CreateMembers(pMembers->size(), std::move(pMake), ppMembers);
  }

 private:
  bool m_fBound = false;
  std::vector<CWinNTMember> m_rgMembers;
};

}  // namespace

HRESULT OpenWinNTObject(const std::string& sPath, REFIID riid, void** ppObject) {
  *ppObject = nullptr;
  std::string sRest = sPath.substr(0, sPath.find(','));
  size_t nSlash = sRest.find('/');
  if (nSlash == std::string::npos || nSlash == 0 || nSlash + 1 == sRest.size() ||
      sRest.find('/', nSlash + 1) != std::string::npos)
    return E_ADS_BAD_PATHNAME;
  auto* pGroup = new CWinNTGroup(sRest.substr(0, nSlash), sRest.substr(nSlash + 1));
  NET_API_STATUS status = pGroup->Bind();
  HRESULT hr = status == NERR_Success ? pGroup->QueryInterface(riid, ppObject) : HRESULT_FROM_WIN32(status);
  pGroup->Release();
  return hr;
}

// A stand-in directory-services library for tests: the two entry points the
// request handler resolves, and a small directory of the domain FAKE for
// the group resolution, with what a real directory rarely shows:
//   group "tokenless"  no readable primaryGroupToken; one member, user "una"
//   group "primary"    token 513; no members; the primary-group search
//                      finds "ann", a row without sAMAccountName, and "cid"
// The name translator maps FAKE\name to CN=name,DC=fake and back, FAKE\ to
// DC=fake. FakeAdsSearches() counts the searches made.
#include <atomic>
#include <string>

#include "fake_ads_user.h"
#include "platform/activeds/ads_group_defaults.h"
#include "platform/activeds/adsi.h"

namespace {

std::atomic<int> g_cSearches{0};

// Reference counting shared by the fakes.
template <typename TBase>
class CFake : public TBase {
 public:
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_cRef; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG c = --m_cRef;
    if (c == 0) delete this;
    return c;
  }
  virtual ~CFake() = default;

 protected:
  HRESULT Answer(bool fOwn, void** ppv) {
    *ppv = fOwn ? this : nullptr;
    if (fOwn) AddRef();
    return fOwn ? S_OK : E_NOINTERFACE;
  }
  std::atomic<ULONG> m_cRef{1};
};

template <typename TBase>
using CFakeDispatch = CFake<platform::CDispatchWithoutTypeInfo<TBase>>;
template <typename TBase>
using CFakeObject = CFake<CFakeAdsObject<TBase>>;

std::u16string Text(BSTR b) { return b == nullptr ? std::u16string() : std::u16string(b); }

class CFakeTranslate final : public CFakeDispatch<IADsNameTranslate> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return this->Answer(riid == IID_IUnknown || riid == IID_IADsNameTranslate, ppv);
  }
  HRESULT STDMETHODCALLTYPE put_ChaseReferral(LONG) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Init(LONG, BSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE InitEx(LONG, BSTR, BSTR, BSTR, BSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Set(LONG nType, BSTR bstr) override {
    std::u16string s = Text(bstr);
    if (nType == ADS_NAME_TYPE_1779) {
      m_sDn = s;
      return S_OK;
    }
    if (s.rfind(u"FAKE\\", 0) != 0) return E_FAIL;
    m_sDn = s.size() == 5 ? u"DC=fake" : u"CN=" + s.substr(5) + u",DC=fake";
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Get(LONG nType, BSTR* pbstr) override {
    std::u16string s = m_sDn;
    if (nType == ADS_NAME_TYPE_NT4)
      s = m_sDn == u"DC=fake" ? u"FAKE\\" : u"FAKE\\" + m_sDn.substr(3, m_sDn.find(u',') - 3);
    *pbstr = SysAllocString(s.c_str());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetEx(LONG, VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetEx(LONG, VARIANT*) override { return E_NOTIMPL; }

 private:
  std::u16string m_sDn;
};

class CFakeUser final : public CFakeObject<IADs> {
 public:
  explicit CFakeUser(std::u16string sPath) : m_sPath(std::move(sPath)) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    // Stands for a user: answers IADsUser with its IADs part, which is all
    // the resolution calls.
    return this->Answer(riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IADs || riid == IID_IADsUser, ppv);
  }
  HRESULT STDMETHODCALLTYPE get_ADsPath(BSTR* pbstr) override {
    *pbstr = SysAllocString(m_sPath.c_str());
    return S_OK;
  }

 private:
  std::u16string m_sPath;
};

class CFakeEnum final : public CFake<IEnumVARIANT> {
 public:
  explicit CFakeEnum(bool fOne) : m_fOne(fOne) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return this->Answer(riid == IID_IUnknown || riid == IID_IEnumVARIANT, ppv);
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG, VARIANT* rgVar, ULONG* pc) override {
    *pc = m_fOne ? 1 : 0;
    if (!m_fOne) return S_FALSE;
    m_fOne = false;
    rgVar[0].vt = VT_DISPATCH;
    rgVar[0].pdispVal = new CFakeUser(u"LDAP://CN=una,DC=fake");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE Reset() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

 private:
  bool m_fOne;
};

class CFakeMembers final : public CFakeDispatch<IADsMembers> {
 public:
  explicit CFakeMembers(bool fOne) : m_fOne(fOne) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return this->Answer(riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IADsMembers, ppv);
  }
  HRESULT STDMETHODCALLTYPE get_Count(LONG* pc) override {
    *pc = m_fOne ? 1 : 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** pp) override {
    *pp = new CFakeEnum(m_fOne);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Filter(VARIANT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_Filter(VARIANT) override { return E_NOTIMPL; }

 private:
  bool m_fOne;
};

class CFakeGroup final : public CFakeObject<CAdsGroupDefaults> {
 public:
  explicit CFakeGroup(bool fToken) : m_fToken(fToken) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return this->Answer(riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IADs || riid == IID_IADsGroup, ppv);
  }
  HRESULT STDMETHODCALLTYPE Get(BSTR, VARIANT* pv) override {
    if (!m_fToken) return E_ADS_PROPERTY_NOT_FOUND;
    pv->vt = VT_I4;
    pv->lVal = 513;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Members(IADsMembers** pp) override {
    *pp = new CFakeMembers(!m_fToken);
    return S_OK;
  }

 private:
  bool m_fToken;
};

class CFakeSearch final : public CFake<IDirectorySearch> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return this->Answer(riid == IID_IUnknown || riid == IID_IDirectorySearch, ppv);
  }
  HRESULT STDMETHODCALLTYPE SetSearchPreference(PADS_SEARCHPREF_INFO, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ExecuteSearch(LPWSTR, LPWSTR*, DWORD, PADS_SEARCH_HANDLE ph) override {
    ++g_cSearches;
    *ph = this;
    m_iRow = -1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE AbandonSearch(ADS_SEARCH_HANDLE) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetFirstRow(ADS_SEARCH_HANDLE) override { return Move(0); }
  HRESULT STDMETHODCALLTYPE GetNextRow(ADS_SEARCH_HANDLE) override { return Move(m_iRow + 1); }
  HRESULT STDMETHODCALLTYPE GetPreviousRow(ADS_SEARCH_HANDLE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNextColumnName(ADS_SEARCH_HANDLE, LPWSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetColumn(ADS_SEARCH_HANDLE, LPWSTR, PADS_SEARCH_COLUMN pColumn) override {
    static const char16_t* const s_rgpwszRows[] = {u"ann", nullptr, u"cid"};
    if (s_rgpwszRows[m_iRow] == nullptr) return E_ADS_COLUMN_NOT_SET;
    m_value.dwType = ADSTYPE_CASE_IGNORE_STRING;
    m_value.CaseIgnoreString = const_cast<LPWSTR>(s_rgpwszRows[m_iRow]);
    *pColumn = {nullptr, ADSTYPE_CASE_IGNORE_STRING, &m_value, 1, nullptr};
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE FreeColumn(PADS_SEARCH_COLUMN) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE CloseSearchHandle(ADS_SEARCH_HANDLE) override { return S_OK; }

 private:
  HRESULT Move(int iRow) {
    m_iRow = iRow;
    return iRow < 3 ? S_OK : S_ADS_NOMORE_ROWS;
  }
  int m_iRow = -1;
  ADSVALUE m_value{};
};

}  // namespace

extern "C" {
int FakeAdsSearches() { return g_cSearches.load(); }

HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  return platform::GetClassObject({{CLSID_NameTranslate, platform::CClassFactory<CFakeTranslate>::Instance()}}, rclsid,
                                  riid, ppv);
}

HRESULT ADsGetObject(LPCWSTR pwszPath, REFIID riid, void** ppObject) {
  *ppObject = nullptr;
  std::u16string sPath = pwszPath != nullptr ? pwszPath : u"";
  if (sPath == u"LDAP://DC=fake" && riid == IID_IDirectorySearch) {
    *ppObject = static_cast<IDirectorySearch*>(new CFakeSearch());
    return S_OK;
  }
  if ((sPath == u"LDAP://CN=tokenless,DC=fake" || sPath == u"LDAP://CN=primary,DC=fake") && riid == IID_IADsGroup) {
    *ppObject = static_cast<IADsGroup*>(new CFakeGroup(sPath.find(u"primary") != std::u16string::npos));
    return S_OK;
  }
  return static_cast<HRESULT>(0x80004005u);
}

HRESULT ADsBuildVarArrayStr(LPWSTR*, DWORD, VARIANT* pVar) {
  pVar->vt = VT_EMPTY;
  return S_OK;
}
}

#include "platform/activeds/ads_members.h"

namespace {

class CMemberEnum final : public IEnumVARIANT {
 public:
  CMemberEnum(size_t cMembers, std::shared_ptr<MemberMaker> pMakeMember)
      : m_cMembers(cMembers), m_pMakeMember(std::move(pMakeMember)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IEnumVARIANT) {
      *ppv = static_cast<IEnumVARIANT*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return m_cRef.fetch_add(1) + 1; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG cRef = m_cRef.fetch_sub(1) - 1;
    if (cRef == 0) delete this;
    return cRef;
  }

  HRESULT STDMETHODCALLTYPE Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) override {
    if (rgVar == nullptr && celt != 0) return E_POINTER;
    ULONG cFetched = 0;
    while (cFetched < celt && m_iNext < m_cMembers) {
      IADs* pMember = (*m_pMakeMember)(m_iNext++);
      if (pMember == nullptr) continue;
      VariantInit(&rgVar[cFetched]);
      rgVar[cFetched].vt = VT_DISPATCH;
      rgVar[cFetched].pdispVal = pMember;
      ++cFetched;
    }
    if (pCeltFetched != nullptr) *pCeltFetched = cFetched;
    return cFetched == celt ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override {
    size_t cLeft = m_cMembers - m_iNext;
    m_iNext += celt < cLeft ? celt : cLeft;
    return celt <= cLeft ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    m_iNext = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** ppEnum) override {
    if (ppEnum == nullptr) return E_POINTER;
    auto* pClone = new CMemberEnum(m_cMembers, m_pMakeMember);
    pClone->m_iNext = m_iNext;
    *ppEnum = pClone;
    return S_OK;
  }

 private:
  ~CMemberEnum() = default;

  std::atomic<ULONG> m_cRef{1};
  size_t m_cMembers;
  std::shared_ptr<MemberMaker> m_pMakeMember;
  size_t m_iNext = 0;
};

class CMembers final : public IADsMembers {
 public:
  CMembers(size_t cMembers, std::shared_ptr<MemberMaker> pMakeMember)
      : m_cMembers(cMembers), m_pMakeMember(std::move(pMakeMember)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IADsMembers) {
      *ppv = static_cast<IADsMembers*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return m_cRef.fetch_add(1) + 1; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG cRef = m_cRef.fetch_sub(1) - 1;
    if (cRef == 0) delete this;
    return cRef;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE get_Count(LONG* plCount) override {
    if (plCount == nullptr) return E_POINTER;
    *plCount = static_cast<LONG>(m_cMembers);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** ppEnumerator) override {
    if (ppEnumerator == nullptr) return E_POINTER;
    *ppEnumerator = new CMemberEnum(m_cMembers, m_pMakeMember);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Filter(VARIANT* pvFilter) override {
    if (pvFilter == nullptr) return E_POINTER;
    VariantInit(pvFilter);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Filter(VARIANT) override { return E_NOTIMPL; }

 private:
  ~CMembers() = default;

  std::atomic<ULONG> m_cRef{1};
  size_t m_cMembers;
  std::shared_ptr<MemberMaker> m_pMakeMember;
};

}  // namespace

HRESULT CreateMembers(size_t cMembers, std::shared_ptr<MemberMaker> pMakeMember, IADsMembers** ppMembers) {
  if (ppMembers == nullptr) return E_POINTER;
  *ppMembers = new CMembers(cMembers, std::move(pMakeMember));
  return S_OK;
}

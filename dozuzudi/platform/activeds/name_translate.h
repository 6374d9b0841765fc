// The name translator (CLSID_NameTranslate): finds an object of the
// server's own domain by one name form and answers another, by searching
// the directory. Forms: ADS_NAME_TYPE_1779 (DN), ADS_NAME_TYPE_NT4
// ("DOMAIN\name", the account name being sAMAccountName on Active Directory
// and uid elsewhere) and ADS_NAME_TYPE_USER_PRINCIPAL_NAME (userPrincipalName,
// or mail on directories whose entries have none).
#pragma once

#include <atomic>
#include <string>

#include "platform/activeds/directory_session.h"
#include "platform/activeds/adsi.h"
#include "platform/com/inproc_server.h"

class CNameTranslate final : public platform::CDispatchWithoutTypeInfo<IADsNameTranslate> {
 public:
  CNameTranslate() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return m_cRef.fetch_add(1) + 1; }
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE put_ChaseReferral(LONG) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Init(LONG lnSetType, BSTR bstrADsPath) override;
  HRESULT STDMETHODCALLTYPE InitEx(LONG lnSetType, BSTR bstrADsPath, BSTR bstrUserID,
                                   BSTR bstrDomain, BSTR bstrPassword) override;
  HRESULT STDMETHODCALLTYPE Set(LONG lnSetType, BSTR bstrADsPath) override;
  HRESULT STDMETHODCALLTYPE Get(LONG lnFormatType, BSTR* pbstrADsPath) override;
  HRESULT STDMETHODCALLTYPE SetEx(LONG, VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetEx(LONG, VARIANT*) override { return E_NOTIMPL; }

 private:
  ~CNameTranslate();

  std::atomic<ULONG> m_cRef{1};
  CDirectorySession* m_pSession = nullptr;
  std::string m_sDn;  // the object that Set found
};

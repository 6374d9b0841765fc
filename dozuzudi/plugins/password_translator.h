// The password translator: an optional in-process server that names the
// password to use in place of the one a user typed.
//
// Class PasswordTranslator, CLSID {7C2E9A41-5D3B-4E8F-9A60-1B4C8D2E7F35};
// interface IPasswordTranslator, IID {3F8A1D62-9C47-4B25-8E1D-6A0B5C9F2E84},
// an IDispatch with two methods of its own:
//   slot 7  get_Version: the interface version, 1.
//   slot 8  Translate(domain, user, password, result): on success (S_OK)
//           *result holds the password to use as a VT_BSTR, allocated with
//           SysAllocString(Len); the caller wipes and clears it. A null BSTR
//           stands for an absent string; a null domain means the user's
//           directory rather than an NT domain. The arguments stay the
//           caller's. On failure *result is left empty.
// The password library calls only slot 8.
#pragma once

#include "platform/com/com.h"

class IPasswordTranslator : public IDispatch {
 public:
  virtual HRESULT STDMETHODCALLTYPE get_Version(LONG* pnVersion) = 0;
  virtual HRESULT STDMETHODCALLTYPE Translate(BSTR bstrDomain, BSTR bstrUser, BSTR bstrPassword,
                                              VARIANT* pvarResult) = 0;
};

// {7C2E9A41-5D3B-4E8F-9A60-1B4C8D2E7F35}
inline constexpr CLSID CLSID_PasswordTranslator = {
    0x7C2E9A41, 0x5D3B, 0x4E8F, {0x9A, 0x60, 0x1B, 0x4C, 0x8D, 0x2E, 0x7F, 0x35}};
// {3F8A1D62-9C47-4B25-8E1D-6A0B5C9F2E84}
inline constexpr IID IID_IPasswordTranslator = {
    0x3F8A1D62, 0x9C47, 0x4B25, {0x8E, 0x1D, 0x6A, 0x0B, 0x5C, 0x9F, 0x2E, 0x84}};

// The class context the password library creates the translator with: every
// kind of server.
inline constexpr DWORD kdwTranslatorClsContext = 0x17;

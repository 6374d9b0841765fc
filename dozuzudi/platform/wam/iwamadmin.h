// The IIS WAM administration object: the COM class through which setup
// creates and deletes the web server's applications.
//
// vltadmin-host's implementation is the in-process server libvltwam.so
// ("vltwam.dll"), registered under
// HKEY_CLASSES_ROOT\CLSID\{61738644-F196-11D0-9953-00C04FD919C1}\InprocServer32.
// It records applications in the host's metabase file (metabase.h):
//   AppCreate(path, fInProc)   records the application at the metabase path
//                              (one entry per path; creating it again keeps
//                              one entry, with the new isolation);
//   AppDelete(path, fRecursive) removes it, and with fRecursive every
//                              application below it; deleting where there is
//                              none succeeds;
// both S_OK, or E_POINTER for a null path, E_INVALIDARG for a path that is
// not a metabase path (see NormalizeMetabasePath in metabase.h),
// HRESULT_FROM_WIN32(ERROR_INVALID_DATA) when the metabase file is
// malformed (it is left as it is), or the HRESULT of the file error. The
// other methods answer E_NOTIMPL.
// Thread safe; concurrent callers in any processes never lose an entry.
#pragma once

#include "platform/base/api.h"
#include "platform/com/com.h"

VLT_API_BEGIN

// {61738644-F196-11D0-9953-00C04FD919C1}
inline constexpr CLSID CLSID_WamAdmin = {0x61738644, 0xF196, 0x11D0,
                                         {0x99, 0x53, 0x00, 0xC0, 0x4F, 0xD9, 0x19, 0xC1}};
// {29822AB7-F302-11D0-9953-00C04FD919C1}
inline constexpr IID IID_IWamAdmin = {0x29822AB7, 0xF302, 0x11D0,
                                      {0x99, 0x53, 0x00, 0xC0, 0x4F, 0xD9, 0x19, 0xC1}};

// Methods in COM vtable order, after IUnknown's.
class IWamAdmin : public IUnknown {
 public:
  virtual HRESULT STDMETHODCALLTYPE AppCreate(LPCWSTR szMDPath, BOOL fInProc) = 0;
  virtual HRESULT STDMETHODCALLTYPE AppDelete(LPCWSTR szMDPath, BOOL fRecursive) = 0;
  virtual HRESULT STDMETHODCALLTYPE AppUnLoad(LPCWSTR szMDPath, BOOL fRecursive) = 0;
  virtual HRESULT STDMETHODCALLTYPE AppGetStatus(LPCWSTR szMDPath, DWORD* pdwAppStatus) = 0;
  virtual HRESULT STDMETHODCALLTYPE AppDeleteRecoverable(LPCWSTR szMDPath, BOOL fRecursive) = 0;
  virtual HRESULT STDMETHODCALLTYPE AppRecover(LPCWSTR szMDPath, BOOL fRecursive) = 0;
};
VLT_API_END

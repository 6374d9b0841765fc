// The WAM administration object of vltadmin-host (iwamadmin.h) and the
// module's entry point for COM activation.
#include <atomic>
#include <string>

#include "platform/base/win32_error.h"
#include "platform/com/inproc_server.h"
#include "platform/registry/registry.h"
#include "platform/text/wstr.h"
#include "platform/wam/iwamadmin.h"
#include "platform/wam/metabase.h"

namespace {

constexpr DWORD kErrorInvalidData = 13;

using platform::wam::CMetabase;

HRESULT HResultOf(int err) {
  if (err == 0) return S_OK;
  if (err == platform::wam::kMetabaseMalformed) return HRESULT_FROM_WIN32(kErrorInvalidData);
  return HRESULT_FROM_WIN32(platform::Win32ErrorFromErrno(err));
}

// Applies |change| to the application at |szMDPath| in the metabase beside
// the registry file in use.
template <typename Change>
HRESULT ChangeApplication(LPCWSTR szMDPath, Change change) {
  if (szMDPath == nullptr) return E_POINTER;
  std::string path;
  if (!platform::wam::NormalizeMetabasePath(platform::ToUtf8(szMDPath), &path)) return E_INVALIDARG;
  std::string file = platform::wam::MetabaseFileBeside(platform::RegistryFilePath());
  return HResultOf(platform::wam::UpdateMetabaseFile(
      file, [&](CMetabase& metabase) { return change(metabase, path); }));
}

class CWamAdmin final : public IWamAdmin {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
    if (ppvObject == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IWamAdmin) {
      AddRef();
      *ppvObject = static_cast<IWamAdmin*>(this);
      return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_cRef; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG cRef = --m_cRef;
    if (cRef == 0) delete this;
    return cRef;
  }

  HRESULT STDMETHODCALLTYPE AppCreate(LPCWSTR szMDPath, BOOL fInProc) override {
    return ChangeApplication(szMDPath, [fInProc](CMetabase& metabase, const std::string& path) {
      return metabase.Create(path, fInProc != FALSE);
    });
  }
  HRESULT STDMETHODCALLTYPE AppDelete(LPCWSTR szMDPath, BOOL fRecursive) override {
    return ChangeApplication(szMDPath, [fRecursive](CMetabase& metabase, const std::string& path) {
      return metabase.Delete(path, fRecursive != FALSE);
    });
  }
  HRESULT STDMETHODCALLTYPE AppUnLoad(LPCWSTR, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AppGetStatus(LPCWSTR, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AppDeleteRecoverable(LPCWSTR, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AppRecover(LPCWSTR, BOOL) override { return E_NOTIMPL; }

 private:
  std::atomic<ULONG> m_cRef{1};
};

}  // namespace

extern "C" HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  return platform::GetClassObject({{CLSID_WamAdmin, platform::CClassFactory<CWamAdmin>::Instance()}},
                                  rclsid, riid, ppv);
}

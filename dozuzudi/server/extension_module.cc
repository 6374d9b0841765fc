#include "server/extension_module.h"

#include <dlfcn.h>

#include <cstring>
#include <utility>

CExtensionModule::CExtensionModule(std::string urlPath, std::string library)
    : m_urlPath(std::move(urlPath)), m_library(std::move(library)) {}

CExtensionModule::~CExtensionModule() {
  // The library stays mapped: extension threads may still be unwinding, and
  // the process is about to end anyway.
}

bool CExtensionModule::Load(std::string& err) {
  m_hModule = dlopen(m_library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (m_hModule == nullptr) {
    const char* pszErr = dlerror();
    err = "cannot load extension " + m_library + ": " + (pszErr ? pszErr : "unknown error");
    return false;
  }
  struct {
    const char* pszName;
    void** ppfn;
  } rgExports[] = {
      {"GetExtensionVersion", reinterpret_cast<void**>(&m_pfnVersion)},
      {"HttpExtensionProc", reinterpret_cast<void**>(&m_pfnProc)},
      {"TerminateExtension", reinterpret_cast<void**>(&m_pfnTerminate)},
  };
  for (auto& e : rgExports) {
    *e.ppfn = dlsym(m_hModule, e.pszName);
    if (*e.ppfn == nullptr) {
      err = "extension " + m_library + " does not export " + e.pszName;
      return false;
    }
  }
  HSE_VERSION_INFO info;
  std::memset(&info, 0, sizeof(info));
  if (!m_pfnVersion(&info)) {
    err = "extension " + m_library + " refused to start (GetExtensionVersion returned FALSE)";
    return false;
  }
  m_fStarted = true;
  info.lpszExtensionDesc[HSE_MAX_EXT_DLL_NAME_LEN - 1] = '\0';
  m_description = info.lpszExtensionDesc;
  return true;
}

void CExtensionModule::Terminate() {
  if (!m_fStarted) return;
  m_fStarted = false;
  m_pfnTerminate(HSE_TERM_MUST_UNLOAD);
}

namespace {
DWORD WINAPI RefuseRequest(EXTENSION_CONTROL_BLOCK*) { return HSE_STATUS_ERROR; }
}  // namespace

void CExtensionModule::RefuseRequests() {
  m_fStarted = false;
  m_pfnProc = &RefuseRequest;
}

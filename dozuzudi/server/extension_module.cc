#include "server/extension_module.h"

#include <dlfcn.h>

#include <chrono>
#include <cstring>
#include <thread>
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
  // Optional: the extension's statistics.
  m_pfnMetrics = reinterpret_cast<PFN_GETEXTENSIONMETRICS>(dlsym(m_hModule, "GetExtensionMetrics"));
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

bool CExtensionModule::Enter(std::function<void()> resume) const {
  CMutexLock guard(&m_gateLock);
  if (m_fRestarting) {
    m_rgHeld.push_back(std::move(resume));
    return false;
  }
  ++m_nInside;
  return true;
}

void CExtensionModule::Leave() const {
  CMutexLock guard(&m_gateLock);
  --m_nInside;
}

void CExtensionModule::Hold() {
  CMutexLock guard(&m_gateLock);
  m_fRestarting = true;
}

void CExtensionModule::WaitIdle() const {
  for (;;) {
    {
      CMutexLock guard(&m_gateLock);
      if (m_nInside == 0) return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

bool CExtensionModule::Restart(std::string& err) {
  // Also after a refused start: TerminateExtension clears what that start
  // left, so that the next one can succeed.
  m_pfnTerminate(HSE_TERM_MUST_UNLOAD);
  HSE_VERSION_INFO info;
  std::memset(&info, 0, sizeof(info));
  m_fStarted = m_pfnVersion(&info) != FALSE;
  if (m_fStarted) return true;
  err = "extension " + m_library + " refused to start again (GetExtensionVersion returned FALSE)";
  return false;
}

void CExtensionModule::Release() {
  std::vector<std::function<void()>> rgHeld;
  {
    CMutexLock guard(&m_gateLock);
    m_fRestarting = false;
    rgHeld.swap(m_rgHeld);
  }
  for (auto& resume : rgHeld) resume();
}

void CExtensionModule::AppendMetrics(std::string& text) const {
  if (m_pfnMetrics == nullptr) return;
  std::string buffer(16 * 1024, '\0');
  for (int nTry = 0; nTry < 4; ++nTry) {
    DWORD cb = static_cast<DWORD>(buffer.size());
    if (m_pfnMetrics(buffer.data(), &cb)) {
      size_t cch = ::strnlen(buffer.data(), buffer.size());
      text.append(buffer.data(), cch);
      if (cch > 0 && text.back() != '\n') text.push_back('\n');
      return;
    }
    if (cb <= buffer.size() || cb > (1u << 24)) return;  // a confused extension
    buffer.assign(cb, '\0');
  }
}

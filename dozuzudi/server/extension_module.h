// One ISAPI extension library loaded with dlopen: its three exports and the
// URL path it serves.
#pragma once

#include <string>

#include "platform/isapi/isapi.h"

class CExtensionModule {
 public:
  CExtensionModule(std::string urlPath, std::string library);
  ~CExtensionModule();
  CExtensionModule(const CExtensionModule&) = delete;
  CExtensionModule& operator=(const CExtensionModule&) = delete;

  // Loads the library, resolves the exports and calls GetExtensionVersion.
  // Returns false with a message in |err| when any step fails.
  bool Load(std::string& err);

  // Calls TerminateExtension once (if the extension started). Returns only
  // when the extension has answered every request it took.
  void Terminate();

  // After a failed Load: every request is answered with a server error.
  void RefuseRequests();

  DWORD HttpExtensionProc(EXTENSION_CONTROL_BLOCK* pECB) const { return m_pfnProc(pECB); }

  const std::string& UrlPath() const { return m_urlPath; }
  const std::string& Library() const { return m_library; }
  const std::string& Description() const { return m_description; }

 private:
  std::string m_urlPath;
  std::string m_library;
  std::string m_description;
  void* m_hModule = nullptr;
  bool m_fStarted = false;
  PFN_GETEXTENSIONVERSION m_pfnVersion = nullptr;
  PFN_HTTPEXTENSIONPROC m_pfnProc = nullptr;
  PFN_TERMINATEEXTENSION m_pfnTerminate = nullptr;
};

#include "server/application_map.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/base/module.h"
#include "platform/files/files.h"
#include "platform/registry/registry.h"
#include "server/script_url.h"

namespace {

constexpr std::string_view kSiteRoot = "/LM/W3SVC/1/ROOT/Scripts";
constexpr WCHAR kwszVirtualRootsKey[] =
    u"SYSTEM\\CurrentControlSet\\Services\\W3SVC\\Parameters\\Virtual Roots";

CApplicationMap::CFileStamp StampOf(const std::string& file) {
  CApplicationMap::CFileStamp stamp;
  struct stat st;
  if (stat(file.c_str(), &st) != 0) return stamp;
  return platform::FileStampOf(st);
}

// D as a POSIX path: the "/Scripts" virtual root up to its first comma;
// empty when there is none.
std::string ReadScriptsDirectory() {
  HKEY hKey = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kwszVirtualRootsKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
    return {};
  std::u16string value = platform::ReadRegistryText(hKey, u"/Scripts");
  RegCloseKey(hKey);
  size_t iComma = value.find(u',');
  if (iComma == std::u16string::npos || iComma == 0) return {};
  value.resize(iComma);
  return platform::PosixPath(value.c_str());
}

}  // namespace

CApplicationMap::CApplicationMap(std::string metabaseFile) : m_metabaseFile(std::move(metabaseFile)) {}

CApplicationMap::~CApplicationMap() = default;

void CApplicationMap::RefreshLocked() {
  CFileStamp metabaseStamp = StampOf(m_metabaseFile);
  CFileStamp registryStamp = StampOf(platform::RegistryFilePath());
  if (m_fRead && metabaseStamp == m_metabaseStamp && registryStamp == m_registryStamp) return;
  m_fRead = true;
  m_metabaseStamp = metabaseStamp;
  m_registryStamp = registryStamp;
  m_scriptsDir = ReadScriptsDirectory();
  std::string reason;
  int err = platform::wam::ReadMetabaseFile(m_metabaseFile, &m_metabase, &reason);
  if (err != 0) {
    // Serves no application rather than a guess at what the file meant.
    m_metabase = platform::wam::CMetabase();
    std::fprintf(stderr, "vltadmin-host: metabase %s: %s; serving no applications\n",
                 m_metabaseFile.c_str(),
                 err == platform::wam::kMetabaseMalformed ? reason.c_str() : std::strerror(err));
  }
}

const CExtensionModule* CApplicationMap::Find(std::string_view path, std::string_view& pathInfo) {
  std::string_view dirs, name, info;
  if (!SplitScriptUrl(path, &dirs, &name, &info)) return nullptr;
  CMutexLock lock(&m_lock);
  RefreshLocked();
  if (m_scriptsDir.empty() || m_metabase.Covering(std::string(kSiteRoot) + std::string(dirs)) == nullptr)
    return nullptr;
  std::string library = m_scriptsDir + std::string(dirs) + "/" + platform::ModuleFileName(std::string(name));
  const CExtensionModule* pModule = ModuleLocked(library, path.substr(0, path.size() - info.size()));
  if (pModule != nullptr) pathInfo = info;
  return pModule;
}

const CExtensionModule* CApplicationMap::ModuleLocked(const std::string& library,
                                                      std::string_view scriptUrl) {
  CFileStamp stamp = StampOf(library);
  auto it = m_modules.find(library);
  if (it != m_modules.end() && !(it->second.m_fFailed && it->second.m_stamp != stamp))
    return it->second.m_pModule.get();
  if (!stamp.m_fExists) return nullptr;
  // A module that failed may still be in use by a request: it is kept.
  if (it != m_modules.end()) m_rgRetired.push_back(std::move(it->second.m_pModule));
  CLoaded& loaded = m_modules[library];
  loaded.m_stamp = stamp;
  loaded.m_pModule = std::make_unique<CExtensionModule>(std::string(scriptUrl), library);
  std::string err;
  loaded.m_fFailed = !loaded.m_pModule->Load(err);
  if (loaded.m_fFailed) {
    std::fprintf(stderr, "vltadmin-host: %s\n", err.c_str());
    loaded.m_pModule->RefuseRequests();
  }
  return loaded.m_pModule.get();
}

void CApplicationMap::TerminateAll() {
  CMutexLock lock(&m_lock);
  for (auto& [library, loaded] : m_modules) loaded.m_pModule->Terminate();
}

std::vector<CExtensionModule*> CApplicationMap::Started() {
  CMutexLock lock(&m_lock);
  std::vector<CExtensionModule*> rgStarted;
  for (auto& [library, loaded] : m_modules)
    if (!loaded.m_fFailed) rgStarted.push_back(loaded.m_pModule.get());
  return rgStarted;
}

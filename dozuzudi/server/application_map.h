// The web applications that setup created, as vltadmin-host serves them.
//
// A URL path "/Scripts/DIRS/NAME.dll" (DIRS: zero or more names; anything
// after NAME.dll is the extension's path info) runs the extension library
// D\DIRS\NAME.dll, loaded by the module rule (the file D/DIRS/libname.so),
// where D is the scripts directory of the registry's web server setting
// (value "/Scripts" of the key Virtual Roots under HKEY_LOCAL_MACHINE
// SYSTEM\CurrentControlSet\Services\W3SVC\Parameters, up to its first
// comma) -- but only while
// the metabase (platform/wam/metabase.h) holds an application whose path
// covers "/LM/W3SVC/1/ROOT/Scripts/DIRS". Names compare without regard to
// case against the metabase, and as the file system makes them on disk.
// Anything else gets no extension (404): another URL, a name "." or "..",
// an empty name or a backslash, no D, no application, no such file.
//
// The metabase file and the registry file are checked (stat) at every
// lookup and read again when either changed, so a created or deleted
// application counts from the next request on. A library is loaded
// (GetExtensionVersion called) by the first request that reaches it and
// stays loaded for the life of the process; one that fails to load answers
// every request with a server error until its file changes, and is reported
// once on standard error.
//
// Thread safe: Find may be called from any thread (it blocks while a
// library loads).
#pragma once

#include <sys/types.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/file_stamp.h"
#include "platform/wam/metabase.h"
#include "server/extension_module.h"
#include "server/host_mutex.h"

class CApplicationMap {
 public:
  explicit CApplicationMap(std::string metabaseFile);
  ~CApplicationMap();
  CApplicationMap(const CApplicationMap&) = delete;
  CApplicationMap& operator=(const CApplicationMap&) = delete;

  // The extension for |path| with |pathInfo| (a view into |path|) set, or
  // null when there is none.
  const CExtensionModule* Find(std::string_view path, std::string_view& pathInfo) EXCLUDES(m_lock);

  // Calls TerminateExtension of every library loaded.
  void TerminateAll() EXCLUDES(m_lock);

  // The libraries loaded and started so far (for reloads and statistics);
  // they stay valid for the life of the map.
  std::vector<CExtensionModule*> Started() EXCLUDES(m_lock);

  // What identifies one version of a file.
  using CFileStamp = platform::CFileStamp;

 private:
  struct CLoaded {
    std::unique_ptr<CExtensionModule> m_pModule;
    CFileStamp m_stamp;  // of the file when it was loaded
    bool m_fFailed = false;
  };

  void RefreshLocked() REQUIRES(m_lock);
  const CExtensionModule* ModuleLocked(const std::string& library, std::string_view scriptUrl)
      REQUIRES(m_lock);

  const std::string m_metabaseFile;
  CMutex m_lock;
  CFileStamp m_metabaseStamp GUARDED_BY(m_lock);
  CFileStamp m_registryStamp GUARDED_BY(m_lock);
  bool m_fRead GUARDED_BY(m_lock) = false;
  platform::wam::CMetabase m_metabase GUARDED_BY(m_lock);
  std::string m_scriptsDir GUARDED_BY(m_lock);  // POSIX path; empty: none
  std::map<std::string, CLoaded> m_modules GUARDED_BY(m_lock);  // by library file
  std::vector<std::unique_ptr<CExtensionModule>> m_rgRetired GUARDED_BY(m_lock);
};

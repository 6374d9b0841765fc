// What vltadmin-host does on SIGHUP (systemctl reload): the access log is
// opened again, the page files are read again, and each extension library
// restarts (TerminateExtension, GetExtensionVersion) so that it reads its
// start-up settings from the registry file again; requests that arrive
// meanwhile wait and are then served. SIGUSR1 only opens the access log
// again (log rotation).
#pragma once

#include <memory>
#include <vector>

#include "server/access_log.h"
#include "server/extension_module.h"
#include "server/page_files.h"

// Problems go to standard error; false when any step failed.
bool ReloadHost(CAccessLog& log, CPageFiles& pages,
                const std::vector<std::unique_ptr<CExtensionModule>>& rgExtensions);
bool ReopenAccessLog(CAccessLog& log);
// The same, saying so on standard error (SIGUSR1).
bool ReopenAccessLogAndSay(CAccessLog& log);

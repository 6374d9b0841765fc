// Bound service-identity connections kept for reuse: at most
// kMaxIdleConnections idle ones per server list, CA file and identity. The
// password file is checked on every acquire, so a file that became readable
// by others stops the service identity at once.
#pragma once

#include "ldap_connection.h"

namespace platform {

inline constexpr size_t kMaxIdleConnections = 4;

// An idle connection of the settings' identity, or a new one, bound.
int AcquireServiceConnection(const DirectorySettings& settings, LDAP** ppld);
// Gives a connection back: kept when fReusable and there is room, else
// closed. A connection whose last operation lost the server is not reusable,
// and the idle connections of the same key are closed with it.
void ReturnServiceConnection(const DirectorySettings& settings, LDAP* pld, bool fReusable);
// True when the result code shows that the connection itself failed.
bool IsConnectionFailure(int nCode);

}  // namespace platform

// Connections to a tree's servers kept open between contexts, so that a
// login does not pay a new connection (and TLS handshake) each time. A kept
// connection may still be bound as its last user: whoever takes one binds it
// before any other operation.
#pragma once

#include <ldap.h>

#include <string>

namespace netwin32 {

inline constexpr size_t kMaxIdleConnections = 8;

// An idle connection of the key, or null.
LDAP* TakeIdleConnection(const std::string& sKey);
// Keeps the connection for the key, or unbinds it when the key has enough.
void KeepIdleConnection(const std::string& sKey, LDAP* pld);
// Unbinds the key's idle connections (their server was lost); an empty
// key, every key's.
void DropIdleConnections(const std::string& sKey);

}  // namespace netwin32

#include "platform/ldap/directory_connection.h"

#include "platform/ldap/ldap_gssapi.h"

#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <set>

namespace platform {
namespace {

bool IsLoopbackUri(const std::string& sUri) {
  size_t nStart = sUri.find("://");
  if (nStart == std::string::npos) return false;
  std::string sHost = sUri.substr(nStart + 3);
  return sHost.rfind("127.", 0) == 0 || sHost.rfind("[::1]", 0) == 0 ||
         sHost.rfind("localhost", 0) == 0;
}

// liblber frees the buffers of encoded requests without wiping them (its
// memory functions serve only callers with a memory context, which libldap
// never passes), and a bind or password-modify request carries passwords.
// This layer sits on top of each connection's I/O stack, sees every request
// in clear before it is encrypted and sent, and zeroes each byte once it has
// been written: libldap never reads a request's bytes again after writing
// them (referrals, which would resend them, are off).
ber_slen_t WipeAfterWrite(Sockbuf_IO_Desc* pDesc, void* pv, ber_len_t cb) {
  ber_slen_t cbWritten = LBER_SBIOD_WRITE_NEXT(pDesc, pv, cb);
  if (cbWritten > 0) explicit_bzero(pv, static_cast<size_t>(cbWritten));
  return cbWritten;
}
ber_slen_t ReadThrough(Sockbuf_IO_Desc* pDesc, void* pv, ber_len_t cb) {
  return LBER_SBIOD_READ_NEXT(pDesc, pv, cb);
}
int ControlThrough(Sockbuf_IO_Desc* pDesc, int nOption, void* pvArg) {
  return LBER_SBIOD_CTRL_NEXT(pDesc, nOption, pvArg);
}
Sockbuf_IO s_wipingIo = {nullptr, nullptr, ControlThrough, ReadThrough, WipeAfterWrite, nullptr};

// libldap sets up its global options on first use without a lock; two
// workers opening their first connections at once would race there.
void InitializeLibraryOnce() {
  static std::once_flag s_once;
  std::call_once(s_once, [] {
    int nVersion = 0;
    ldap_get_option(nullptr, LDAP_OPT_PROTOCOL_VERSION, &nVersion);
  });
}

// Set when libldap has a TCP connection, before any TLS handshake, so that
// a failed ldaps connection tells a TLS failure from an unreachable server.
thread_local bool t_fTransportUp = false;

int NoteTransportUp(LDAP*, Sockbuf*, LDAPURLDesc*, sockaddr*, ldap_conncb*) {
  t_fTransportUp = true;
  return 0;
}
void NoteTransportDown(LDAP*, Sockbuf*, ldap_conncb*) {}
ldap_conncb s_transportCallbacks = {NoteTransportUp, NoteTransportDown, nullptr};

int ConnectOne(const CConnectionSettings& settings, const std::string& sUri, LDAP** ppld) {
  InitializeLibraryOnce();
  LDAP* pld = nullptr;
  int nCode = ldap_initialize(&pld, sUri.c_str());
  if (nCode != LDAP_SUCCESS) return nCode;
  ldap_set_option(pld, LDAP_OPT_CONNECT_CB, &s_transportCallbacks);
  t_fTransportUp = false;
  int nVersion = LDAP_VERSION3;
  ldap_set_option(pld, LDAP_OPT_PROTOCOL_VERSION, &nVersion);
  ldap_set_option(pld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
  timeval tv = {static_cast<time_t>(settings.nTimeoutSeconds), 0};
  ldap_set_option(pld, LDAP_OPT_TIMEOUT, &tv);
  bool fLdaps = sUri.rfind("ldaps://", 0) == 0;
  bool fPlain = !fLdaps && settings.fAllowPlainLoopback && IsLoopbackUri(sUri);
  // A network timeout on a TLS connection makes libldap's handshake spin;
  // it is set for connections that stay plain until StartTLS only.
  if (!fLdaps) ldap_set_option(pld, LDAP_OPT_NETWORK_TIMEOUT, &tv);
  if (!fPlain) {
    int nDemand = LDAP_OPT_X_TLS_DEMAND;
    ldap_set_option(pld, LDAP_OPT_X_TLS_REQUIRE_CERT, &nDemand);
    if (!settings.sCaFile.empty())
      ldap_set_option(pld, LDAP_OPT_X_TLS_CACERTFILE, settings.sCaFile.c_str());
    int nNewContext = 0;
    ldap_set_option(pld, LDAP_OPT_X_TLS_NEWCTX, &nNewContext);
  }
  if (fLdaps)
    nCode = ldap_connect(pld);
  else if (!fPlain && settings.fStartTls)
    nCode = ldap_start_tls_s(pld, nullptr, nullptr);
  else if (!fPlain)
    nCode = LDAP_CONFIDENTIALITY_REQUIRED;  // plain LDAP to a remote server
  else
    nCode = ldap_connect(pld);
  Sockbuf* pSockbuf = nullptr;
  if (nCode == LDAP_SUCCESS && (ldap_get_option(pld, LDAP_OPT_SOCKBUF, &pSockbuf) != LDAP_OPT_SUCCESS ||
                                pSockbuf == nullptr ||
                                ber_sockbuf_add_io(pSockbuf, &s_wipingIo, LBER_SBIOD_LEVEL_APPLICATION,
                                                   nullptr) != 0))
    nCode = LDAP_LOCAL_ERROR;  // never send a password through an unwiped buffer
  if (nCode != LDAP_SUCCESS) {
    ldap_unbind_ext_s(pld, nullptr, nullptr);
    // A server that took the connection and failed its TLS handshake.
    if (fLdaps && nCode == LDAP_SERVER_DOWN && t_fTransportUp) nCode = LDAP_CONNECT_ERROR;
    return nCode;
  }
  *ppld = pld;
  return LDAP_SUCCESS;
}

// Says once per file and state why a secret file is refused: the service's
// identity is otherwise lost without a word.
void ReportSecretFile(const std::string& sPath, const struct stat* pst, int nErrno) {
  char szWhy[160];
  if (pst == nullptr)
    std::snprintf(szWhy, sizeof szWhy, "cannot be read (%s)", std::strerror(nErrno));
  else if (!S_ISREG(pst->st_mode))
    std::snprintf(szWhy, sizeof szWhy, "is not a regular file");
  else
    std::snprintf(szWhy, sizeof szWhy,
                  "has mode %04o: it must not be readable by group or others (chmod 600)",
                  static_cast<unsigned>(pst->st_mode & 07777));
  static std::mutex s_lock;
  static std::set<std::string>* s_pReported = new std::set<std::string>;
  {
    std::lock_guard<std::mutex> guard(s_lock);
    if (s_pReported->size() > 256) s_pReported->clear();
    if (!s_pReported->insert(sPath + '\n' + szWhy).second) return;
  }
  std::fprintf(stderr, "vltadmin: directory: secret file %s %s\n", sPath.c_str(), szWhy);
}

// An ldaps connection cannot use libldap's network timeout (it makes the
// TLS handshake spin), so its connect and handshake run on a thread of their
// own and the caller waits at most the network timeout. A connection given
// up on is closed by that thread when it is made after all.
int ConnectOneBounded(const CConnectionSettings& settings, const std::string& sUri, LDAP** ppld) {
  if (sUri.rfind("ldaps://", 0) != 0) return ConnectOne(settings, sUri, ppld);
  struct CConnect {
    std::mutex lock;
    std::condition_variable done;
    bool fDone = false, fAbandoned = false;
    int nCode = LDAP_SERVER_DOWN;
    LDAP* pld = nullptr;
  };
  auto connect = std::make_shared<CConnect>();
  try {
    std::thread([connect, settings, sUri] {
      LDAP* pld = nullptr;
      int nCode = ConnectOne(settings, sUri, &pld);
      std::lock_guard<std::mutex> guard(connect->lock);
      if (connect->fAbandoned) {
        if (pld != nullptr) ldap_unbind_ext_s(pld, nullptr, nullptr);
        return;
      }
      connect->nCode = nCode;
      connect->pld = pld;
      connect->fDone = true;
      connect->done.notify_one();
    }).detach();
  } catch (const std::system_error&) {
    return LDAP_NO_MEMORY;
  }
  std::unique_lock<std::mutex> guard(connect->lock);
  if (!connect->done.wait_for(guard, std::chrono::seconds(settings.nTimeoutSeconds),
                              [&] { return connect->fDone; })) {
    connect->fAbandoned = true;
    return LDAP_TIMEOUT;
  }
  *ppld = connect->pld;
  return connect->nCode;
}

}  // namespace

int OpenDirectoryConnection(const CConnectionSettings& settings, LDAP** ppld) {
  *ppld = nullptr;
  int nCode = LDAP_SERVER_DOWN;
  for (const std::string& sUri : settings.rgsServers) {
    nCode = ConnectOneBounded(settings, sUri, ppld);
    if (nCode == LDAP_SUCCESS) break;
  }
  return nCode;
}

int BindSimple(LDAP* pld, const std::string& sDn, const std::string& sPassword) {
  berval cred;
  cred.bv_val = const_cast<char*>(sPassword.c_str());
  cred.bv_len = sPassword.size();
  return ldap_sasl_bind_s(pld, sDn.c_str(), LDAP_SASL_SIMPLE, &cred, nullptr, nullptr, nullptr);
}

int BindServiceIdentity(LDAP* pld, const CDirectorySettings& settings) {
  if (!settings.sKeytab.empty()) return BindGssapi(pld, settings);
  if (settings.sBindDn.empty() || settings.sPasswordFile.empty()) return LDAP_INVALID_CREDENTIALS;
  int fd = open(settings.sPasswordFile.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    ReportSecretFile(settings.sPasswordFile, nullptr, errno);
    return LDAP_INVALID_CREDENTIALS;
  }
  struct stat st {};
  // A password that others can read is no longer the service's alone.
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 077) != 0 ||
      st.st_size > 4096) {
    if (!S_ISREG(st.st_mode) || (st.st_mode & 077) != 0) ReportSecretFile(settings.sPasswordFile, &st, 0);
    close(fd);
    return LDAP_INVALID_CREDENTIALS;
  }
  char rgb[4097];
  ssize_t cb = read(fd, rgb, sizeof rgb - 1);
  close(fd);
  if (cb < 0) cb = 0;
  std::string sPassword(rgb, static_cast<size_t>(cb));
  std::memset(rgb, 0, sizeof rgb);
  size_t nEnd = sPassword.find_first_of("\r\n");
  if (nEnd != std::string::npos) {
    std::memset(sPassword.data() + nEnd, 0, sPassword.size() - nEnd);
    sPassword.resize(nEnd);
  }
  int nCode = BindSimple(pld, settings.sBindDn, sPassword);
  WipeString(&sPassword);
  return nCode;
}

bool IsPrivateFile(const std::string& sPath) {
  struct stat st {};
  if (sPath.empty()) return false;
  if (stat(sPath.c_str(), &st) != 0) {
    ReportSecretFile(sPath, nullptr, errno);
    return false;
  }
  if (!S_ISREG(st.st_mode) || (st.st_mode & 077) != 0) {
    ReportSecretFile(sPath, &st, 0);
    return false;
  }
  return true;
}

std::string DiagnosticMessage(LDAP* pld) {
  char* psz = nullptr;
  ldap_get_option(pld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &psz);
  std::string s = psz != nullptr ? psz : "";
  ldap_memfree(psz);
  return s;
}

void WipeString(std::string* ps) {
  volatile char* pch = ps->data();
  for (size_t i = 0; i < ps->size(); ++i) pch[i] = 0;
  ps->clear();
}

}  // namespace platform

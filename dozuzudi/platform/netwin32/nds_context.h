// A context: its tree, name context, login and open searches, behind a
// handle of the library's table. Every operation takes the context's own
// lock, so a handle misused by two threads at once stays consistent.
#pragma once

#include <ldap.h>
#include <signal.h>

#include <map>
#include <memory>
#include <string>

#include "platform/base/sync.h"
#include "platform/netwin32/nds_name.h"
#include "platform/netwin32/tree_settings.h"

#define NDS_SCOPED_CAPABILITY VLT_TSA(scoped_lockable)

namespace netwin32 {

class NDS_SCOPED_CAPABILITY CSectionLock {
 public:
  explicit CSectionLock(CRITICAL_SECTION* pcs) ACQUIRE(pcs) : m_pcs(pcs) { EnterCriticalSection(m_pcs); }
  ~CSectionLock() RELEASE() { LeaveCriticalSection(m_pcs); }
  CSectionLock(const CSectionLock&) = delete;
  CSectionLock& operator=(const CSectionLock&) = delete;

 private:
  CRITICAL_SECTION* m_pcs;
};

// Keeps a write to a connection that its server closed from killing the
// process with SIGPIPE when the process does not ignore it (a web server
// does): SIGPIPE is blocked on this thread while the guard lives, and one
// raised meanwhile is taken before the old mask returns.
class CSigpipeGuard {
 public:
  CSigpipeGuard() {
    struct sigaction action {};
    if (sigaction(SIGPIPE, nullptr, &action) == 0 && action.sa_handler == SIG_IGN) return;
    m_fActive = true;
    sigemptyset(&m_set);
    sigaddset(&m_set, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    m_fWasPending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &m_set, &m_old);
  }
  ~CSigpipeGuard() {
    if (!m_fActive) return;
    sigset_t pending;
    sigpending(&pending);
    if (!m_fWasPending && sigismember(&pending, SIGPIPE) == 1) {
      timespec ts = {0, 0};
      sigtimedwait(&m_set, nullptr, &ts);
    }
    pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
  }
  CSigpipeGuard(const CSigpipeGuard&) = delete;
  CSigpipeGuard& operator=(const CSigpipeGuard&) = delete;

 private:
  bool m_fActive = false;
  bool m_fWasPending = false;
  sigset_t m_set;
  sigset_t m_old;
};

class CSearchIteration;
struct CSearchRequest;

class CNdsContext {
 public:
  CNdsContext();
  ~CNdsContext();

  NWDSCCODE SetTree(std::string_view sTree) EXCLUDES(m_cs);
  NWDSCCODE SetNameContext(std::string_view sName) EXCLUDES(m_cs);
  NWDSCCODE Login(std::string_view sUser, std::string_view sPassword) EXCLUDES(m_cs);
  NWDSCCODE ChangePassword(std::string_view sObject, std::string_view sOld, std::string_view sNew)
      EXCLUDES(m_cs);
  NWDSCCODE Logout() EXCLUDES(m_cs);
  // Logs out and makes every later call answer NDS_ERR_BAD_CONTEXT.
  void Close() EXCLUDES(m_cs);
  NWDSCCODE Search(const CSearchRequest& request, int32_t* piIteration, Buf_T* pResult)
      EXCLUDES(m_cs);
  // 0 while the context is open (for calls that only need a valid handle).
  NWDSCCODE Check() EXCLUDES(m_cs);

 private:
  // Parses a name against the name context into its DN.
  NWDSCCODE NameToDn(std::string_view sName, bool fContainer, std::string* psDn) REQUIRES(m_cs);
  // Binds the context's connection (taking one first when it has none) as
  // the DN with the password; an empty DN binds anonymously. A kept
  // connection that turns out lost is replaced once. An LDAP result code;
  // *prgpResponse gets the response's controls.
  int Bind(const std::string& sDn, const std::string& sPassword, LDAPControl** rgpControls,
           LDAPControl*** prgpResponse) REQUIRES(m_cs);
  // Waits for the operation's result within the network timeout: an LDAP
  // result code (LDAP_TIMEOUT, or the connection's failure).
  int WaitResult(int nMessage, LDAPMessage** ppResult) REQUIRES(m_cs);
  // Gives the connection up (idle for the tree when sound) and wipes the
  // login.
  void EndSession() REQUIRES(m_cs);
  // A connection bound as the login, or anonymously without one.
  NWDSCCODE EnsureSession() REQUIRES(m_cs);
  void NoteResult(int nCode) REQUIRES(m_cs);
  NWDSCCODE StartSearch(const CSearchRequest& request, std::unique_ptr<CSearchIteration>* ppIteration)
      REQUIRES(m_cs);
  NWDSCCODE GroupMembershipAttribute(std::string* psName) REQUIRES(m_cs);

  CRITICAL_SECTION m_cs;
  bool m_fClosed GUARDED_BY(m_cs) = false;
  bool m_fHasTree GUARDED_BY(m_cs) = false;
  CTreeSettings m_tree GUARDED_BY(m_cs);
  CNdsName m_nameContext GUARDED_BY(m_cs);
  LDAP* m_pld GUARDED_BY(m_cs) = nullptr;
  bool m_fBroken GUARDED_BY(m_cs) = false;  // the connection lost its server
  bool m_fBound GUARDED_BY(m_cs) = false;   // m_pld is bound as the login (or anonymously)
  bool m_fLoggedIn GUARDED_BY(m_cs) = false;
  std::string m_sLoginDn GUARDED_BY(m_cs);
  std::string m_sPassword GUARDED_BY(m_cs);  // UTF-8, wiped on logout
  std::map<int32_t, std::unique_ptr<CSearchIteration>> m_iterations GUARDED_BY(m_cs);
  int32_t m_nNextIteration GUARDED_BY(m_cs) = 1;
};

// The context of a handle, or null for a handle that is not in the table.
std::shared_ptr<CNdsContext> FindContext(NWDSContextHandle context);

// Overwrites a secret's whole storage (a moved-from string keeps its
// characters in place) and empties it.
void WipeSecret(std::string* ps);

// Maps an LDAP result code of a connection or operation to a completion
// code (connection failures, TLS failures, refusals).
NWDSCCODE CodeFromLdap(int nCode);

}  // namespace netwin32

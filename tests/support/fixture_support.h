// Scratch directories, free loopback ports and the servers that tests start
// through fixture scripts (a KDC, a Samba domain controller, slapd).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "scratch_dir.h"

namespace vlttest {

// Distinct loopback ports free for TCP and UDP at the moment of asking.
inline std::vector<unsigned short> FreePorts(size_t count) {
  std::vector<int> sockets;
  std::vector<unsigned short> ports;
  while (ports.size() < count && sockets.size() < 64) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int tcp = socket(AF_INET, SOCK_STREAM, 0);
    socklen_t cb = sizeof(address);
    if (tcp < 0 || bind(tcp, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        getsockname(tcp, reinterpret_cast<sockaddr*>(&address), &cb) != 0)
      break;
    sockets.push_back(tcp);
    int udp = socket(AF_INET, SOCK_DGRAM, 0);
    if (udp >= 0 && bind(udp, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0)
      ports.push_back(ntohs(address.sin_port));
    if (udp >= 0) sockets.push_back(udp);
  }
  for (int fd : sockets) close(fd);
  return ports;
}

// A loopback port that takes connections and never answers them.
class CSilentServer {
 public:
  CSilentServer() : m_fd(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t cb = sizeof address;
    if (bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(m_fd, 64) == 0 &&
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &cb) == 0)
      m_nPort = ntohs(address.sin_port);
  }
  ~CSilentServer() { close(m_fd); }
  unsigned short Port() const { return m_nPort; }  // 0 when it could not listen

 private:
  int m_fd;
  unsigned short m_nPort = 0;
};

// Runs the script tests/|script| of the source tree with |arguments|
// through the shell; its exit status.
inline int RunTestScript(const std::string& script, const std::string& arguments) {
  const char* pszSource = getenv("VLT_SOURCE_DIR");
  std::string command = "bash " + std::string(pszSource ? pszSource : ".") + "/tests/" + script + " " + arguments;
  int status = system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// Runs |command| through the shell; what it wrote on standard output, and
// its exit status in *pnExit (-1 when it did not exit).
inline std::string RunCommand(const std::string& command, int* pnExit) {
  std::string out;
  FILE* pf = popen(command.c_str(), "r");
  char rgch[4096];
  for (size_t cb; pf != nullptr && (cb = fread(rgch, 1, sizeof rgch, pf)) > 0;) out.append(rgch, cb);
  int status = pf != nullptr ? pclose(pf) : -1;
  *pnExit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

// A server run by a fixture script under tests/: "SCRIPT start DIR PORT..."
// starts it in a scratch directory on free loopback ports and exits 77 when
// the server's programs are not installed; "SCRIPT stop DIR" stops it. The
// destructor always stops it.
class CScriptedServer {
 public:
  static constexpr int kMissing = 77;

  CScriptedServer(std::string script, size_t cPorts) : m_script(std::move(script)), m_cPorts(cPorts) {}
  ~CScriptedServer() { Stop(); }
  CScriptedServer(const CScriptedServer&) = delete;
  CScriptedServer& operator=(const CScriptedServer&) = delete;

  // 0 when running; kMissing when not installed; another value when the
  // start failed (the script printed why).
  int Start() {
    m_rgnPorts = FreePorts(m_cPorts + 1);  // the last one stays unused
    if (m_rgnPorts.size() != m_cPorts + 1) return 1;
    std::string arguments = "start " + Dir();
    for (size_t i = 0; i < m_cPorts; ++i) arguments += " " + std::to_string(m_rgnPorts[i]);
    int status = RunTestScript(m_script, arguments);
    m_fStarted = status != kMissing;
    return status;
  }
  void Stop() {
    if (m_fStarted) RunTestScript(m_script, "stop " + Dir());
    m_fStarted = false;
  }
  // Stops the server and starts it again on the same ports and data.
  bool Restart() const { return RunTestScript(m_script, "restart " + Dir()) == 0; }

  const std::string& Dir() const { return m_dir.Dir(); }
  unsigned short Port(size_t i) const { return m_rgnPorts[i]; }
  unsigned short UnusedPort() const { return m_rgnPorts[m_cPorts]; }

 private:
  CScratchDir m_dir;
  std::string m_script;
  size_t m_cPorts;
  std::vector<unsigned short> m_rgnPorts;
  bool m_fStarted = false;
};

// Starts a scripted server in a test or its SetUp, or skips the test when
// the server's programs (|what|) are not installed.
#define VLT_START_OR_SKIP(server, what)                                                        \
  do {                                                                                          \
    int nStart = (server).Start();                                                              \
    if (nStart == vlttest::CScriptedServer::kMissing) GTEST_SKIP() << what << " is not installed"; \
    ASSERT_EQ(nStart, 0) << "starting " << what << " failed";                                   \
  } while (0)

// Writes a bind password file with the given mode.
inline void WriteSecret(const std::string& path, const std::string& password, mode_t mode = 0600) {
  std::ofstream(path) << password << "\n";
  chmod(path.c_str(), mode);
}

inline std::string ShellQuoted(const std::string& s) {
  std::string sOut = "'";
  for (char ch : s) sOut += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return sOut + "'";
}

// A private slapd run by a fixture script on tests/support/slapd.sh: plain
// LDAP (with StartTLS when fTls) on Port(0), ldaps on Port(1) when fTls.
class CSlapd : public CScriptedServer {
 public:
  CSlapd(std::string script, bool fTls) : CScriptedServer(std::move(script), fTls ? 2 : 1) {}
  std::string Uri() const { return "ldap://127.0.0.1:" + std::to_string(Port(0)) + "/"; }
  std::string TlsUri() const { return "ldaps://127.0.0.1:" + std::to_string(Port(1)) + "/"; }
  // CaFile() signs the server's certificate, OtherCaFile() does not.
  std::string CaFile() const { return Dir() + "/tls/ca.pem"; }
  std::string OtherCaFile() const { return Dir() + "/tls/other-ca.pem"; }
  // The running server's process id, 0 when unknown.
  pid_t Pid() const {
    pid_t pid = 0;
    std::ifstream(Dir() + "/run/slapd.pid") >> pid;
    return pid;
  }
  // Stops the server's process and waits until all its threads are stopped:
  // SIGSTOP wakes one thread, which then stops the others, so on a busy
  // machine another thread may still answer a request after kill returns.
  bool Freeze() const {
    pid_t pid = Pid();
    if (pid <= 0 || kill(pid, SIGSTOP) != 0) return false;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    for (int i = 0; i < 1000; ++i) {
      bool fAllStopped = true;
      std::error_code ec;
      for (const auto& task : std::filesystem::directory_iterator(tasks, ec)) {
        std::string stat;
        std::getline(std::ifstream(task.path() / "stat"), stat);
        size_t iState = stat.rfind(") ");
        fAllStopped = fAllStopped && iState != std::string::npos && iState + 2 < stat.size() &&
                      stat[iState + 2] == 'T';
      }
      if (fAllStopped && !ec) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  bool Thaw() const { return kill(Pid(), SIGCONT) == 0; }
  // True when a simple bind as the DN with the password succeeds.
  bool CanBind(const std::string& sDn, const std::string& sPassword) const {
    return system(("ldapwhoami -x -H " + Uri() + " -D " + ShellQuoted(sDn) + " -w " + ShellQuoted(sPassword) +
                   " >/dev/null 2>&1").c_str()) == 0;
  }
};

}  // namespace vlttest

#include "host_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "scratch_dir.h"

std::string CHostProcess::BinDir() {
  const char* psz = std::getenv("VLT_BUILD_BIN");
  return psz != nullptr ? psz : "bin";
}

CHostProcess::~CHostProcess() {
  Kill();
  if (!m_stderrPath.empty()) unlink(m_stderrPath.c_str());
}

bool CHostProcess::Start(const std::vector<std::string>& args, std::chrono::milliseconds timeout) {
  std::vector<std::string> argv{BinDir() + "/vltadmin-host"};
  bool fListen = false;
  for (const auto& a : args) fListen = fListen || a == "--listen" || a.rfind("--listen=", 0) == 0;
  if (!fListen) argv.insert(argv.end(), {"--listen", "127.0.0.1:0"});
  argv.insert(argv.end(), args.begin(), args.end());

  char szStderr[] = "/tmp/vlt_host_stderr_XXXXXX";
  int fdErr = mkstemp(szStderr);
  if (fdErr < 0) return false;
  m_stderrPath = szStderr;
  int rgfdOut[2];
  if (pipe2(rgfdOut, O_CLOEXEC) != 0) {
    close(fdErr);
    return false;
  }
  m_pid = fork();
  if (m_pid == 0) {
    dup2(rgfdOut[1], 1);
    dup2(fdErr, 2);
    for (const auto& e : m_env) setenv(e.first.c_str(), e.second.c_str(), 1);
    std::vector<char*> rgpsz;
    for (auto& a : argv) rgpsz.push_back(a.data());
    rgpsz.push_back(nullptr);
    execv(rgpsz[0], rgpsz.data());
    _exit(127);
  }
  close(rgfdOut[1]);
  close(fdErr);
  if (m_pid < 0) {
    close(rgfdOut[0]);
    return false;
  }

  // Read stdout up to the "listening on ADDR:PORT" line.
  std::string out;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  bool fReady = false;
  while (!fReady && std::chrono::steady_clock::now() < deadline) {
    pollfd pfd{rgfdOut[0], POLLIN, 0};
    if (poll(&pfd, 1, 50) <= 0) continue;
    char rgch[512];
    ssize_t cb = read(rgfdOut[0], rgch, sizeof(rgch));
    if (cb <= 0) break;  // the host ended
    out.append(rgch, static_cast<size_t>(cb));
    size_t iLine = out.find("listening on ");
    if (iLine != std::string::npos && out.find('\n', iLine) != std::string::npos) {
      std::string address = out.substr(iLine + 13, out.find('\n', iLine) - iLine - 13);
      m_nPort = static_cast<unsigned short>(std::atoi(address.substr(address.rfind(':') + 1).c_str()));
      fReady = true;
      // A separate metrics listener is announced before.
      if (size_t iMetrics = out.find("metrics on "); iMetrics < iLine) {
        std::string metrics = out.substr(iMetrics + 11, out.find('\n', iMetrics) - iMetrics - 11);
        m_nMetricsPort = static_cast<unsigned short>(std::atoi(metrics.substr(metrics.rfind(':') + 1).c_str()));
      }
    }
  }
  close(rgfdOut[0]);
  if (!fReady) {
    if (WaitExit(std::chrono::milliseconds(2000)) == -1) Kill();
    return false;
  }
  return true;
}

int CHostProcess::WaitExit(std::chrono::milliseconds timeout) {
  if (m_pid <= 0) return m_nExit;
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    pid_t r = waitpid(m_pid, &status, WNOHANG);
    if (r == m_pid) {
      m_pid = -1;
      m_nExit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return m_nExit;
    }
    if (r < 0 || std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

int CHostProcess::Stop(int nSignal, std::chrono::milliseconds timeout) {
  if (m_pid <= 0) return m_nExit;
  kill(m_pid, nSignal);
  int n = WaitExit(timeout);
  if (n == -1) Kill();
  return n;
}

void CHostProcess::Kill() {
  if (m_pid <= 0) return;
  kill(m_pid, SIGKILL);
  int status = 0;
  waitpid(m_pid, &status, 0);
  m_pid = -1;
  m_nExit = -1;
}

std::string CHostProcess::Stderr() const { return vlttest::ReadFile(m_stderrPath); }

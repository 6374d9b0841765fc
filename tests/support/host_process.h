// Starts vltadmin-host as a child process on a free loopback port and
// always stops it: Stop() sends a signal and collects the exit status; the
// destructor kills a host that is still running.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

class CHostProcess {
 public:
  CHostProcess() = default;
  ~CHostProcess();
  CHostProcess(const CHostProcess&) = delete;
  CHostProcess& operator=(const CHostProcess&) = delete;

  // The build's bin directory (env VLT_BUILD_BIN).
  static std::string BinDir();

  // Runs bin/vltadmin-host with |args| (and "--listen 127.0.0.1:0" unless
  // the arguments name a listen address) and waits for its "listening on"
  // line. Returns false when the host ended or did not get ready in time;
  // ExitStatus() and Stderr() then tell why.
  bool Start(const std::vector<std::string>& args,
             std::chrono::milliseconds timeout = std::chrono::seconds(15));

  // An environment variable for the next Start (in the child only).
  void SetEnv(const std::string& name, const std::string& value) { m_env.emplace_back(name, value); }

  unsigned short Port() const { return m_nPort; }
  // The port of --metrics-listen, 0 without one.
  unsigned short MetricsPort() const { return m_nMetricsPort; }
  pid_t Pid() const { return m_pid; }

  // Sends |nSignal| and waits for the exit. Returns the exit code, 128+signal
  // when the host died of a signal, or -1 when it had to be killed after
  // |timeout|.
  int Stop(int nSignal, std::chrono::milliseconds timeout = std::chrono::seconds(20));
  // Waits for an exit without signalling (see Stop for the result).
  int WaitExit(std::chrono::milliseconds timeout);
  int ExitStatus() const { return m_nExit; }

  // Everything the host wrote to stderr so far.
  std::string Stderr() const;

 private:
  void Kill();

  pid_t m_pid = -1;
  int m_nExit = -1;
  unsigned short m_nPort = 0;
  unsigned short m_nMetricsPort = 0;
  std::string m_stderrPath;
  std::vector<std::pair<std::string, std::string>> m_env;
};

// Searches another process's memory (/proc/PID/maps and /proc/PID/mem) for
// byte strings, and says where each one lies: which mapping, and whether the
// bytes around it look like a raw HTTP request (a socket read buffer).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vlttest {

struct CMemoryNeedle {
  std::string label;  // e.g. "old password, UTF-16LE"
  std::string bytes;
};

struct CMemoryHit {
  std::string label;
  uintptr_t address = 0;
  std::string mapping;  // "[heap]", "[stack]", a file, or "anonymous rw-p 8.0 MiB"
  bool fInHttpRequest = false;  // "POST " shortly before it
  std::string before;           // up to 48 bytes in front of it, printable ones as they are
  std::string thread;           // the name of the thread whose stack it lies in, if one does
};

// Every occurrence of every needle in the readable mappings of |pid| below a
// gibibyte each (the caller must be allowed to trace it: same user, or root).
// A thread's stack is found through the stack pointer of the system call it
// waits in, so threads should be idle.
std::vector<CMemoryHit> FindInProcessMemory(pid_t pid, const std::vector<CMemoryNeedle>& needles);

// One line per hit, for a failure message or a report.
std::string DescribeHits(const std::vector<CMemoryHit>& hits);

}  // namespace vlttest

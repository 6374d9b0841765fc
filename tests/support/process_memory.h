// Searches a process's writable memory (heap, stacks, anonymous and data
// mappings; freed blocks too) for byte strings, and says where each one
// lies: which mapping, which thread's stack, and whether the bytes around it
// look like a raw HTTP request (a socket read buffer). The test's own
// process may be searched too: needles are kept masked, so that the search
// never finds a needle's own copy.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vlttest {

struct CMemoryNeedle {
  // |bytes| as they are, or each of them widened to a UTF-16LE code unit
  // (Latin-1 text). To search the own process, give a literal: read-only
  // memory is not searched.
  CMemoryNeedle(std::string label, std::string_view bytes, bool fWiden = false);
  std::string label;  // e.g. "old password, UTF-16LE"
  std::string masked;
};

struct CMemoryHit {
  std::string label;
  uintptr_t address = 0;
  std::string mapping;  // "[heap]", "[stack]", a file, or "anonymous rw-p 8192 KiB"
  bool fInHttpRequest = false;  // "POST " shortly before it
  std::string before;           // up to 48 bytes in front of it, printable ones as they are
  std::string thread;           // the name of the thread whose stack it lies in, if one does
};

// Every occurrence of every needle in the writable mappings of |pid| below a
// gibibyte each (the caller must be allowed to trace it: same user, or root).
// *pfReadable says whether the memory could be read at all. A thread's stack
// is found through the stack pointer of the system call it waits in, so
// threads should be idle.
std::vector<CMemoryHit> FindInProcessMemory(pid_t pid, const std::vector<CMemoryNeedle>& needles,
                                            bool* pfReadable = nullptr);

// Whether |pid| holds |pszSecret| (a literal of more than 30 ASCII
// characters) as UTF-8 or UTF-16LE. A freed block keeps its bytes but the
// first 16, where the allocator links it: the search looks for what follows
// the secret's first 16 characters.
bool HoldsSecret(pid_t pid, const char* pszSecret, bool* pfReadable = nullptr);

// One line per hit, for a failure message or a report.
std::string DescribeHits(const std::vector<CMemoryHit>& hits);

}  // namespace vlttest

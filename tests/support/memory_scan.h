// Whether a process's writable memory (heap, stacks, anonymous and data
// mappings; freed blocks too) holds a secret, as UTF-8 or as UTF-16LE. A
// freed block keeps its bytes but the first 16, where the allocator links
// it: the scan looks for what follows the secret's first 16 characters, so
// secrets are longer than 30. The secret is kept masked, so that the scan
// never finds a copy of its own; give it as a literal (read-only memory).
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace vlttest {

class CSecretScan {
 public:
  explicit CSecretScan(const char* pszSecret) {
    EXPECT_GT(strlen(pszSecret), 30u);
    for (const char* p = pszSecret + 16; *p; ++p) {
      m_utf8.push_back(static_cast<char>(*p ^ kMask));
      m_utf16.push_back(static_cast<char>(*p ^ kMask));
      m_utf16.push_back(static_cast<char>(0 ^ kMask));
    }
  }

  // True when the process holds the secret; false too when its memory
  // cannot be read (then *pfReadable is false).
  bool FoundIn(pid_t pid, bool* pfReadable = nullptr) const {
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    int fd = open(("/proc/" + std::to_string(pid) + "/mem").c_str(), O_RDONLY);
    if (pfReadable) *pfReadable = fd >= 0;
    if (fd < 0) return false;
    bool fFound = false;
    std::vector<char> chunk(1 << 20);
    for (std::string line; !fFound && std::getline(maps, line);) {
      unsigned long nStart = 0, nEnd = 0;
      char szPerms[8] = "";
      if (sscanf(line.c_str(), "%lx-%lx %7s", &nStart, &nEnd, szPerms) != 3) continue;
      // Writable mappings only, and not the huge reserved ones of sanitizers.
      if (szPerms[0] != 'r' || szPerms[1] != 'w' || nEnd - nStart > (256ul << 20)) continue;
      for (unsigned long at = nStart; !fFound && at < nEnd;) {
        size_t cb = std::min<unsigned long>(chunk.size(), nEnd - at);
        ssize_t cbRead = pread(fd, chunk.data(), cb, static_cast<off_t>(at));
        if (cbRead <= 0) break;
        fFound = Holds(chunk.data(), static_cast<size_t>(cbRead), m_utf8) ||
                 Holds(chunk.data(), static_cast<size_t>(cbRead), m_utf16);
        // Chunks overlap so that a secret across their border is seen.
        at += static_cast<size_t>(cbRead) < cb || cb < chunk.size() ? cbRead : cbRead - m_utf16.size();
      }
    }
    explicit_bzero(chunk.data(), chunk.size());
    close(fd);
    return fFound;
  }

 private:
  static constexpr char kMask = 0x5A;

  static bool Holds(const char* pb, size_t cb, const std::string& masked) {
    const char chFirst = static_cast<char>(masked[0] ^ kMask);
    for (const char* p = pb; cb >= masked.size() && (p = static_cast<const char*>(memchr(p, chFirst, pb + cb - p)));
         ++p) {
      if (static_cast<size_t>(pb + cb - p) < masked.size()) break;
      size_t k = 1;
      while (k < masked.size() && p[k] == static_cast<char>(masked[k] ^ kMask)) ++k;
      if (k == masked.size()) return true;
    }
    return false;
  }

  std::string m_utf8;
  std::string m_utf16;
};

}  // namespace vlttest

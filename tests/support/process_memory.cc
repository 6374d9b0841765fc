#include "process_memory.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace vlttest {

namespace {

constexpr char kMask = 0x5A;

// Where |masked| (unmasked) first occurs in |buffer| from |iFrom|, or npos.
size_t FindMasked(const std::string& buffer, const std::string& masked, size_t iFrom) {
  const char chFirst = static_cast<char>(masked[0] ^ kMask);
  const char* pb = buffer.data();
  const char* pbEnd = pb + buffer.size();
  for (const char* p = pb + iFrom; p < pbEnd && (p = static_cast<const char*>(memchr(p, chFirst, pbEnd - p))); ++p) {
    if (static_cast<size_t>(pbEnd - p) < masked.size()) break;
    size_t k = 1;
    while (k < masked.size() && p[k] == static_cast<char>(masked[k] ^ kMask)) ++k;
    if (k == masked.size()) return static_cast<size_t>(p - pb);
  }
  return std::string::npos;
}

// Each waiting thread's stack pointer and name (from /proc/PID/task).
std::map<unsigned long, std::string> ThreadStackPointers(pid_t pid) {
  std::map<unsigned long, std::string> threads;
  std::error_code ec;
  for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
    std::ifstream syscall(task.path() / "syscall"), comm(task.path() / "comm");
    std::string fields, word, last, beforeLast, name;
    std::getline(syscall, fields);
    std::getline(comm, name);
    for (std::istringstream in(fields); in >> word;) {
      beforeLast = last;
      last = word;
    }
    if (beforeLast.rfind("0x", 0) == 0) threads[std::stoul(beforeLast, nullptr, 16)] = name;
  }
  return threads;
}

}  // namespace

CMemoryNeedle::CMemoryNeedle(std::string labelIn, std::string_view bytes, bool fWiden) : label(std::move(labelIn)) {
  for (char c : bytes) {
    masked.push_back(static_cast<char>(c ^ kMask));
    if (fWiden) masked.push_back(kMask);
  }
}

std::vector<CMemoryHit> FindInProcessMemory(pid_t pid, const std::vector<CMemoryNeedle>& needles, bool* pfReadable) {
  std::vector<CMemoryHit> hits;
  const std::map<unsigned long, std::string> stacks = ThreadStackPointers(pid);
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  int fd = open(("/proc/" + std::to_string(pid) + "/mem").c_str(), O_RDONLY | O_CLOEXEC);
  if (pfReadable) *pfReadable = fd >= 0;
  if (fd < 0) return hits;
  size_t cbLongest = 0;
  for (const auto& needle : needles) cbLongest = std::max(cbLongest, needle.masked.size());
  constexpr unsigned long kChunk = 1 << 20, kContext = 2048;
  std::string line, buffer;
  // Never grown: a freed copy of the buffer would hold what it found.
  buffer.reserve(kChunk + kContext + cbLongest);
  while (std::getline(maps, line)) {
    unsigned long nStart = 0, nEnd = 0;
    char szPerms[8] = {};
    char szPath[512] = {};
    if (std::sscanf(line.c_str(), "%lx-%lx %7s %*s %*s %*s %511[^\n]", &nStart, &nEnd, szPerms, szPath) < 3 ||
        szPerms[0] != 'r' || szPerms[1] != 'w')
      continue;
    // Reservations of a gibibyte or more (a sanitizer's shadow memory) hold
    // no data of the program's own.
    if (nEnd - nStart >= (1ul << 30)) continue;
    std::string mapping = szPath;
    std::string thread;
    auto it = stacks.lower_bound(nStart);
    if (it != stacks.end() && it->first < nEnd) thread = it->second;
    if (mapping.empty()) {
      char szSize[64];
      std::snprintf(szSize, sizeof szSize, "anonymous %s %lu KiB", szPerms, (nEnd - nStart) / 1024);
      mapping = szSize;
    }
    // Each chunk is read with some context in front and the longest needle
    // behind; only hits that start inside the chunk count.
    for (unsigned long nAt = nStart; nAt < nEnd; nAt += kChunk) {
      const unsigned long nFrom = nAt - std::min(nAt - nStart, kContext);
      const unsigned long nTo = std::min(nEnd, nAt + kChunk + cbLongest);
      buffer.resize(nTo - nFrom);
      ssize_t cb = pread(fd, buffer.data(), buffer.size(), static_cast<off_t>(nFrom));
      if (cb <= 0) break;
      buffer.resize(static_cast<size_t>(cb));
      for (const auto& needle : needles) {
        for (size_t i = FindMasked(buffer, needle.masked, 0); i != std::string::npos;
             i = FindMasked(buffer, needle.masked, i + 1)) {
          if (nFrom + i < nAt || nFrom + i >= nAt + kChunk) continue;  // another chunk's
          size_t iContext = i > kContext ? i - kContext : 0;
          bool fHttp = buffer.find("POST ", iContext) < i;
          std::string before;
          for (size_t j = i > 48 ? i - 48 : 0; j < i; ++j)
            before.push_back(buffer[j] >= 0x20 && buffer[j] < 0x7f ? buffer[j] : '.');
          hits.push_back({needle.label, nFrom + i, mapping, fHttp, before, thread});
        }
      }
    }
  }
  buffer.resize(buffer.capacity());
  explicit_bzero(buffer.data(), buffer.size());
  close(fd);
  return hits;
}

bool HoldsSecret(pid_t pid, const char* pszSecret, bool* pfReadable) {
  EXPECT_GT(strlen(pszSecret), 30u);
  return !FindInProcessMemory(pid, {{"UTF-8", pszSecret + 16}, {"UTF-16LE", pszSecret + 16, true}}, pfReadable)
              .empty();
}

std::string DescribeHits(const std::vector<CMemoryHit>& hits) {
  std::ostringstream out;
  for (const auto& hit : hits)
    out << "  " << hit.label << " at 0x" << std::hex << hit.address << std::dec << " in " << hit.mapping
        << (hit.thread.empty() ? "" : " (the stack of thread " + hit.thread + ")")
        << (hit.fInHttpRequest ? " (inside a raw HTTP request)" : "") << " after \"" << hit.before << "\"\n";
  return out.str();
}

}  // namespace vlttest

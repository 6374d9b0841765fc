// The trace device "\\.\Global\VLTQTR" on Linux: a connection to the trace
// collector's Unix socket (see trace_device.h for the requests and
// trace_wire.h for the messages).
#include "platform/trace/trace_device.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/base/handle.h"
#include "platform/base/sync.h"
#include "platform/trace/trace_wire.h"

namespace platform {
namespace {

// Device names compare without regard to ASCII case, as on Windows.
bool IsTraceDeviceName(LPCWSTR name) {
  const WCHAR* pwWant = kTraceDeviceName;
  for (; *pwWant != 0; ++pwWant, ++name) {
    WCHAR a = *name, b = *pwWant;
    if (a >= u'a' && a <= u'z') a = static_cast<WCHAR>(a - u'a' + u'A');
    if (b >= u'a' && b <= u'z') b = static_cast<WCHAR>(b - u'a' + u'A');
    if (a != b) return false;
  }
  return *name == 0;
}

// The process's own user, root, or a user in the process's group.
bool IsTrustedCollector(uid_t uid) {
  if (uid == ::geteuid() || uid == 0) return true;
  const gid_t gidOwn = ::getegid();
  std::vector<char> rgchBuffer(16384);
  passwd entry{};
  passwd* pEntry = nullptr;
  if (::getpwuid_r(uid, &entry, rgchBuffer.data(), rgchBuffer.size(), &pEntry) != 0 || pEntry == nullptr)
    return false;
  if (pEntry->pw_gid == gidOwn) return true;
  int cGroups = 64;
  std::vector<gid_t> rgGroups(static_cast<size_t>(cGroups));
  if (::getgrouplist(pEntry->pw_name, pEntry->pw_gid, rgGroups.data(), &cGroups) < 0) {
    rgGroups.resize(static_cast<size_t>(cGroups));
    if (::getgrouplist(pEntry->pw_name, pEntry->pw_gid, rgGroups.data(), &cGroups) < 0) return false;
  }
  for (int i = 0; i < cGroups; ++i)
    if (rgGroups[static_cast<size_t>(i)] == gidOwn) return true;
  return false;
}

std::string SocketPath() {
  const char* env = std::getenv(kTraceDeviceSocketVariable);
  return env != nullptr && *env != 0 ? std::string(env) : std::string(kTraceDeviceDefaultSocket);
}

void Append(std::vector<unsigned char>& out, const void* pb, size_t cb) {
  const auto* p = static_cast<const unsigned char*>(pb);
  out.insert(out.end(), p, p + cb);
}

class CTraceDevice final : public CKernelObject {
 public:
  explicit CTraceDevice(int fd) : m_fd(fd) { InitializeCriticalSection(&m_openLock); }
  ~CTraceDevice() override {
    DeleteCriticalSection(&m_openLock);
    ::close(m_fd);
  }

  BOOL IoControl(DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize, LPVOID lpOutBuffer,
                 DWORD nOutBufferSize, LPDWORD lpBytesReturned) override {
    if (lpBytesReturned != nullptr) *lpBytesReturned = 0;
    switch (dwIoControlCode) {
      case IOCTL_QTR_OPEN:
        return Open(lpInBuffer, nInBufferSize, lpOutBuffer, nOutBufferSize, lpBytesReturned);
      case IOCTL_QTR_WRITE:
        return Write(lpInBuffer, nInBufferSize);
      default:
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
  }

 private:
  BOOL Open(LPVOID lpIn, DWORD cbIn, LPVOID lpOut, DWORD cbOut, LPDWORD lpBytesReturned)
      EXCLUDES(m_openLock) {
    if (lpIn == nullptr || cbIn < 16 || lpOut == nullptr || cbOut < 8) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    const void* rgpIn[2];
    std::memcpy(rgpIn, lpIn, sizeof rgpIn);
    const auto* pbGuid = static_cast<const unsigned char*>(rgpIn[0]);
    const auto* pwName = static_cast<const WCHAR*>(rgpIn[1]);
    if (pbGuid == nullptr || pwName == nullptr) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    size_t cwName = 0;
    while (cwName < kTraceModuleNameMax && pwName[cwName] != 0) ++cwName;

    std::vector<unsigned char> message;
    const CTraceWireHeader header{kTraceWireOpen};
    Append(message, &header, sizeof header);
    Append(message, pbGuid, 16);
    Append(message, pwName, cwName * sizeof(WCHAR));

    // One open at a time on this connection, so that each reply meets its
    // request; writes never read from the socket and need no lock.
    EnterCriticalSection(&m_openLock);
    const BOOL fResult = Exchange(message, lpOut, lpBytesReturned);
    LeaveCriticalSection(&m_openLock);
    return fResult;
  }

  // Sends an open request and takes its reply. A collector that does not
  // answer in time, or answers with something other than a reply, is given
  // up: the connection is shut, so that later requests fail at once.
  BOOL Exchange(const std::vector<unsigned char>& message, LPVOID lpOut, LPDWORD lpBytesReturned)
      REQUIRES(m_openLock) {
    if (::send(m_fd, message.data(), message.size(), MSG_NOSIGNAL) < 0) {
      GiveUp();
      SetLastError(ERROR_BROKEN_PIPE);
      return FALSE;
    }
    unsigned char rgbReply[sizeof(CTraceWireHeader) + sizeof(int32_t)];
    alignas(cmsghdr) char rgbControl[CMSG_SPACE(4 * sizeof(int))];
    iovec iov{rgbReply, sizeof rgbReply};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = rgbControl;
    msg.msg_controllen = sizeof rgbControl;
    ssize_t cbReply;
    do {
      cbReply = ::recvmsg(m_fd, &msg, MSG_CMSG_CLOEXEC);
    } while (cbReply < 0 && errno == EINTR);
    // Every descriptor that came is closed, except a single state block.
    int fdState = -1;
    int cDescriptors = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); cbReply >= 0 && c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
      if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
      const size_t cfd = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
      for (size_t i = 0; i < cfd; ++i) {
        int fd;
        std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
        if (++cDescriptors == 1)
          fdState = fd;
        else
          ::close(fd);
      }
    }
    CTraceWireHeader replyHeader{};
    int32_t nStatus = -1;
    if (cbReply == static_cast<ssize_t>(sizeof rgbReply)) {
      std::memcpy(&replyHeader, rgbReply, sizeof replyHeader);
      std::memcpy(&nStatus, rgbReply + sizeof replyHeader, sizeof nStatus);
    }
    const bool fMalformed = cbReply != static_cast<ssize_t>(sizeof rgbReply) ||
                            replyHeader.nType != kTraceWireOpenReply || cDescriptors > 1 ||
                            (msg.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) != 0;
    if (fMalformed) {
      if (fdState >= 0) ::close(fdState);
      GiveUp();
      SetLastError(ERROR_BROKEN_PIPE);
      return FALSE;
    }
    if (nStatus != 0) {
      if (fdState >= 0) ::close(fdState);
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    void* pState = nullptr;
    if (fdState >= 0) {
      pState = MapStateBlock(fdState);
      ::close(fdState);
      if (pState == nullptr) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
      }
    }
    std::memcpy(lpOut, &pState, sizeof pState);
    if (lpBytesReturned != nullptr) *lpBytesReturned = sizeof pState;
    return TRUE;
  }

  // Maps a state block the collector sent. Only a sealed memory file that
  // holds a whole block and can never shrink is taken: reading a block that
  // the collector cut short would kill the process (SIGBUS). Null otherwise.
  static void* MapStateBlock(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size < static_cast<off_t>(sizeof(TRACE_STATE_BLOCK)))
      return nullptr;
    const int fSeals = ::fcntl(fd, F_GET_SEALS);
    if (fSeals < 0 || (fSeals & F_SEAL_SHRINK) == 0) return nullptr;
    void* p = ::mmap(nullptr, sizeof(TRACE_STATE_BLOCK), PROT_READ, MAP_SHARED, fd, 0);
    return p == MAP_FAILED ? nullptr : p;  // stays mapped for the life of the process
  }

  void GiveUp() { ::shutdown(m_fd, SHUT_RDWR); }

  BOOL Write(LPVOID lpIn, DWORD cbIn) {
    EVENT_TRACE_HEADER header;
    if (lpIn == nullptr || cbIn < sizeof header + sizeof(MOF_FIELD)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    std::memcpy(&header, lpIn, sizeof header);
    if (header.Size < sizeof header + sizeof(MOF_FIELD) || header.Size > cbIn ||
        header.GuidPtr == 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    const size_t cEntries = (header.Size - sizeof header) / sizeof(MOF_FIELD);
    const auto* pbEntries = static_cast<const unsigned char*>(lpIn) + sizeof header;
    MOF_FIELD entry0;
    std::memcpy(&entry0, pbEntries, sizeof entry0);
    if (entry0.DataPtr == 0 || entry0.Length != sizeof(uint16_t)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }

    // The record holds addresses: read the GUID, the number and every item
    // from the caller's memory now, while the caller waits.
    std::vector<unsigned char> message;
    size_t cbData = 0;
    for (size_t i = 1; i < cEntries; ++i) {
      MOF_FIELD entry;
      std::memcpy(&entry, pbEntries + i * sizeof entry, sizeof entry);
      cbData += entry.Length;
      if (entry.DataPtr == 0 && entry.Length != 0) cbData = kTraceRecordDataMax + 1;
    }
    if (cbData > kTraceRecordDataMax) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    message.reserve(64 + cbData + 4 * cEntries);
    const CTraceWireHeader wireHeader{kTraceWireRecord};
    Append(message, &wireHeader, sizeof wireHeader);
    Append(message, &header.HistoricalContext, sizeof header.HistoricalContext);
    Append(message, reinterpret_cast<const void*>(header.GuidPtr), 16);
    Append(message, reinterpret_cast<const void*>(entry0.DataPtr), sizeof(uint16_t));
    const uint16_t cItems = static_cast<uint16_t>(cEntries - 1);
    Append(message, &cItems, sizeof cItems);
    for (size_t i = 1; i < cEntries; ++i) {
      MOF_FIELD entry;
      std::memcpy(&entry, pbEntries + i * sizeof entry, sizeof entry);
      const uint32_t cb = entry.Length;
      Append(message, &cb, sizeof cb);
      if (cb != 0) Append(message, reinterpret_cast<const void*>(entry.DataPtr), cb);
    }
    // A collector that stopped reading costs a caller one wait of
    // kTraceWriteTimeoutMs; records are then dropped without waiting until
    // the collector takes one again.
    const int fFlags = MSG_NOSIGNAL | (m_fStalled.load(std::memory_order_relaxed) ? MSG_DONTWAIT : 0);
    ssize_t cbSent;
    do {
      cbSent = ::send(m_fd, message.data(), message.size(), fFlags);
    } while (cbSent < 0 && errno == EINTR);
    if (cbSent < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) m_fStalled.store(true, std::memory_order_relaxed);
      SetLastError(ERROR_BROKEN_PIPE);
      return FALSE;
    }
    m_fStalled.store(false, std::memory_order_relaxed);
    return TRUE;
  }

  const int m_fd;
  std::atomic<bool> m_fStalled{false};
  CRITICAL_SECTION m_openLock;
};

}  // namespace

HANDLE OpenDevice(LPCWSTR name) {
  if (name == nullptr || !IsTraceDeviceName(name)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  const std::string path = SocketPath();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return INVALID_HANDLE_VALUE;
  }
  // The send timeout also bounds the connect, which waits while the
  // collector's backlog is full. The collector answers an open at once; one
  // that hangs must not hang the module that registers.
  const timeval timeout{kTraceWriteTimeoutMs / 1000, (kTraceWriteTimeoutMs % 1000) * 1000};
  const timeval openTimeout{kTraceOpenTimeoutMs / 1000, (kTraceOpenTimeoutMs % 1000) * 1000};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &openTimeout, sizeof openTimeout);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  // Records may describe what the process does: they go only to a collector
  // of the process's own user, of root, or of a member of the process's
  // group (the operators a service's group admits to its socket).
  ucred peer{};
  socklen_t cbPeer = sizeof peer;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &cbPeer) != 0 || !IsTrustedCollector(peer.uid)) {
    ::close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return ToHandle(new CTraceDevice(fd));
}

}  // namespace platform

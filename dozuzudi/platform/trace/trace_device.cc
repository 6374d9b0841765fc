// The trace device "\\.\Global\VLTQTR" on Linux: a connection to the trace
// collector's Unix socket (see trace_device.h for the requests and
// trace_wire.h for the messages).
#include "platform/trace/trace_device.h"

#include <errno.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

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

  // Sends an open request and takes its reply.
  BOOL Exchange(const std::vector<unsigned char>& message, LPVOID lpOut, LPDWORD lpBytesReturned)
      REQUIRES(m_openLock) {
    if (::send(m_fd, message.data(), message.size(), MSG_NOSIGNAL) < 0) {
      SetLastError(ERROR_BROKEN_PIPE);
      return FALSE;
    }
    unsigned char rgbReply[sizeof(CTraceWireHeader) + sizeof(int32_t)];
    alignas(cmsghdr) char rgbControl[CMSG_SPACE(sizeof(int))];
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
    int fdState = -1;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
      if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS)
        std::memcpy(&fdState, CMSG_DATA(c), sizeof(int));
    }
    CTraceWireHeader replyHeader{};
    int32_t nStatus = -1;
    if (cbReply == static_cast<ssize_t>(sizeof rgbReply)) {
      std::memcpy(&replyHeader, rgbReply, sizeof replyHeader);
      std::memcpy(&nStatus, rgbReply + sizeof replyHeader, sizeof nStatus);
    }
    if (cbReply <= 0 || replyHeader.nType != kTraceWireOpenReply) {
      if (fdState >= 0) ::close(fdState);
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
      void* p = ::mmap(nullptr, sizeof(TRACE_STATE_BLOCK), PROT_READ, MAP_SHARED, fdState, 0);
      ::close(fdState);
      if (p == MAP_FAILED) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
      }
      pState = p;  // stays mapped for the life of the process
    }
    std::memcpy(lpOut, &pState, sizeof pState);
    if (lpBytesReturned != nullptr) *lpBytesReturned = sizeof pState;
    return TRUE;
  }

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
    ssize_t cbSent;
    do {
      cbSent = ::send(m_fd, message.data(), message.size(), MSG_NOSIGNAL);
    } while (cbSent < 0 && errno == EINTR);
    if (cbSent < 0) {
      SetLastError(ERROR_BROKEN_PIPE);
      return FALSE;
    }
    return TRUE;
  }

  const int m_fd;
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
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  const timeval timeout{kTraceWriteTimeoutMs / 1000, (kTraceWriteTimeoutMs % 1000) * 1000};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  // The collector answers an open at once; a collector that hangs must not
  // hang the module that registers.
  const timeval openTimeout{2, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &openTimeout, sizeof openTimeout);
  return ToHandle(new CTraceDevice(fd));
}

}  // namespace platform

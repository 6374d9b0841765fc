#include "trace_collector.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/text/wstr.h"
#include "platform/trace/trace_device.h"
#include "platform/trace/trace_wire.h"

namespace vltqtr {
namespace {

template <typename T>
bool ReadField(const uint8_t*& pb, const uint8_t* pbEnd, T* pValue) {
  if (static_cast<size_t>(pbEnd - pb) < sizeof(T)) return false;
  std::memcpy(pValue, pb, sizeof(T));
  pb += sizeof(T);
  return true;
}

template <typename T>
void AppendField(std::vector<uint8_t>& out, const T& value) {
  const auto* p = reinterpret_cast<const uint8_t*>(&value);
  out.insert(out.end(), p, p + sizeof(T));
}

// Little-endian UTF-16 bytes (an odd last byte ignored) as UTF-8.
std::string Utf16ToUtf8(const uint8_t* pb, size_t cb) {
  std::u16string text(cb / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(pb[2 * i] | (pb[2 * i + 1] << 8));
  return platform::ToUtf8(text);
}

int64_t NowNs() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

bool SendAll(int fd, const void* pb, size_t cb) {
  ssize_t n;
  do {
    n = ::send(fd, pb, cb, MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(cb);
}

bool MakeAddress(const std::string& path, sockaddr_un* pAddress, std::string* psError) {
  *pAddress = sockaddr_un{};
  pAddress->sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof pAddress->sun_path) {
    *psError = "socket path too long or empty: " + path;
    return false;
  }
  std::memcpy(pAddress->sun_path, path.c_str(), path.size() + 1);
  return true;
}

// Reads (or parses) a record body: GUID, number, count, items.
bool ParseRecordBody(const uint8_t* pb, const uint8_t* pbEnd, CTraceRecord* pRecord) {
  if (static_cast<size_t>(pbEnd - pb) < 16) return false;
  std::memcpy(pRecord->rgbMessageGuid.data(), pb, 16);
  pb += 16;
  uint16_t cItems = 0;
  if (!ReadField(pb, pbEnd, &pRecord->nMessage) || !ReadField(pb, pbEnd, &cItems)) return false;
  pRecord->rgItems.reserve(cItems);
  for (uint16_t i = 0; i < cItems; ++i) {
    uint32_t cb = 0;
    if (!ReadField(pb, pbEnd, &cb) || static_cast<size_t>(pbEnd - pb) < cb) return false;
    pRecord->rgItems.emplace_back(pb, pb + cb);
    pb += cb;
  }
  return pb == pbEnd;
}

}  // namespace

bool CTraceCollector::CSubscription::Covers(const std::string& sModule) const {
  return rgsModules.empty() ||
         std::find(rgsModules.begin(), rgsModules.end(), sModule) != rgsModules.end();
}

CTraceCollector::CTraceCollector(CCollectorOptions options, CRecordSink sink)
    : m_options(std::move(options)), m_sink(std::move(sink)), m_rgbBuffer(platform::kTraceWireMax) {
  m_own.rgsModules = m_options.rgsModules;
  m_own.bClassFlags = m_options.bClassFlags;
  m_own.nLevel = m_options.nLevel;
  if (::pipe2(m_rgfdStop, O_CLOEXEC | O_NONBLOCK) != 0) m_rgfdStop[0] = m_rgfdStop[1] = -1;
}

CTraceCollector::~CTraceCollector() {
  DisableAll();
  for (auto& [fd, connection] : m_connections) ::close(fd);
  if (m_fdListen >= 0) {
    ::close(m_fdListen);
    ::unlink(m_sSocketPath.c_str());
  }
  if (m_fdUpstream >= 0) ::close(m_fdUpstream);
  for (int fd : m_rgfdStop)
    if (fd >= 0) ::close(fd);
}

bool CTraceCollector::Start(std::string* psError) {
  m_sSocketPath = ResolveSocketPath(m_options.sSocketPath);
  if (m_rgfdStop[0] < 0) {
    *psError = "cannot create the stop pipe";
    return false;
  }
  if (StartViewer(psError)) return true;
  return StartServer(psError);
}

bool CTraceCollector::StartViewer(std::string* psError) {
  sockaddr_un address;
  if (!MakeAddress(m_sSocketPath, &address, psError)) return false;
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return false;
  }
  std::vector<uint8_t> message;
  AppendField(message, platform::CTraceWireHeader{platform::kTraceWireView});
  AppendField(message, m_own.bClassFlags);
  AppendField(message, m_own.nLevel);
  for (const auto& sModule : m_own.rgsModules) {
    message.insert(message.end(), sModule.begin(), sModule.end());
    message.push_back(0);
  }
  if (!SendAll(fd, message.data(), message.size())) {
    ::close(fd);
    *psError = "the collector at " + m_sSocketPath + " refused the viewer";
    return false;
  }
  m_fdUpstream = fd;
  return true;
}

bool CTraceCollector::StartServer(std::string* psError) {
  sockaddr_un address;
  if (!MakeAddress(m_sSocketPath, &address, psError)) return false;
  const size_t iSlash = m_sSocketPath.rfind('/');
  if (iSlash != std::string::npos && iSlash > 0)
    ::mkdir(m_sSocketPath.substr(0, iSlash).c_str(), 0755);  // may exist already
  ::unlink(m_sSocketPath.c_str());  // a stale socket: no collector answered on it
  m_fdListen = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (m_fdListen < 0 ||
      ::bind(m_fdListen, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(m_fdListen, 64) != 0) {
    *psError = "cannot listen on " + m_sSocketPath + ": " + std::strerror(errno);
    if (m_fdListen >= 0) ::close(m_fdListen);
    m_fdListen = -1;
    return false;
  }
  // Like a system device, open to every process of the machine; only the
  // collector's own user may attach as a viewer (HandleView).
  ::chmod(m_sSocketPath.c_str(), 0666);
  return true;
}

void CTraceCollector::Stop() {
  const char c = 1;
  if (m_rgfdStop[1] >= 0) (void)!::write(m_rgfdStop[1], &c, 1);
}

void CTraceCollector::Run() {
  if (IsViewer())
    RunViewer();
  else if (m_fdListen >= 0)
    RunServer();
}

void CTraceCollector::RunViewer() {
  for (;;) {
    pollfd rgPoll[2] = {{m_rgfdStop[0], POLLIN, 0}, {m_fdUpstream, POLLIN, 0}};
    if (m_idle) m_idle();
    if (::poll(rgPoll, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    const bool fStop = rgPoll[0].revents != 0;
    // Take what has arrived; when stopping, everything already forwarded.
    for (int n = 0; fStop || n < 256; ++n) {
      const ssize_t cb =
          ::recv(m_fdUpstream, m_rgbBuffer.data(), m_rgbBuffer.size(), MSG_DONTWAIT);
      if (cb == 0) return;  // the collector went away
      if (cb < 0) break;
      HandleForward(m_rgbBuffer.data(), static_cast<size_t>(cb));
    }
    if (fStop) {
      if (m_idle) m_idle();
      return;
    }
  }
}

void CTraceCollector::RunServer() {
  std::vector<pollfd> rgPoll;
  for (;;) {
    rgPoll.clear();
    rgPoll.push_back({m_rgfdStop[0], POLLIN, 0});
    rgPoll.push_back({m_fdListen, POLLIN, 0});
    for (const auto& [fd, connection] : m_connections) rgPoll.push_back({fd, POLLIN, 0});
    if (m_idle) m_idle();
    if (::poll(rgPoll.data(), rgPoll.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (rgPoll[0].revents != 0) break;
    if (rgPoll[1].revents != 0) Accept();
    for (size_t i = 2; i < rgPoll.size(); ++i) {
      if (rgPoll[i].revents == 0) continue;
      auto it = m_connections.find(rgPoll[i].fd);
      if (it != m_connections.end() && !ReadConnection(it->second, false))
        CloseConnection(rgPoll[i].fd);
    }
  }
  // Records already sent belong to this run: take them before disabling.
  std::vector<int> rgfd;
  for (const auto& [fd, connection] : m_connections) rgfd.push_back(fd);
  for (int fd : rgfd) {
    auto it = m_connections.find(fd);
    if (it != m_connections.end() && !ReadConnection(it->second, true)) CloseConnection(fd);
  }
  DisableAll();
  if (m_idle) m_idle();
}

void CTraceCollector::Accept() {
  for (;;) {
    const int fd = ::accept4(m_fdListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    CConnection connection;
    connection.fd = fd;
    ucred credentials{};
    socklen_t cbCredentials = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &cbCredentials) == 0) {
      connection.nPid = credentials.pid;
      connection.nUid = credentials.uid;
    }
    const timeval timeout{1, 0};  // a stuck viewer must not stop the collector
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    m_connections.emplace(fd, connection);
  }
}

bool CTraceCollector::ReadConnection(CConnection& connection, bool fDrain) {
  // A bounded batch per wake keeps one busy writer from starving the others;
  // a drain reads everything that is queued.
  for (int n = 0; fDrain || n < 256; ++n) {
    const ssize_t cb = ::recv(connection.fd, m_rgbBuffer.data(), m_rgbBuffer.size(), MSG_DONTWAIT);
    if (cb < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    if (cb == 0) return false;
    HandleMessage(connection, m_rgbBuffer.data(), static_cast<size_t>(cb));
  }
  return true;
}

void CTraceCollector::HandleMessage(CConnection& connection, const uint8_t* pb, size_t cb) {
  platform::CTraceWireHeader header{};
  if (cb < sizeof header) return;
  std::memcpy(&header, pb, sizeof header);
  pb += sizeof header;
  cb -= sizeof header;
  switch (header.nType) {
    case platform::kTraceWireOpen:
      HandleOpen(connection, pb, cb);
      break;
    case platform::kTraceWireRecord:
      HandleRecord(connection, pb, cb);
      break;
    case platform::kTraceWireView:
      HandleView(connection, pb, cb);
      break;
    default:
      break;
  }
}

void CTraceCollector::HandleOpen(CConnection& connection, const uint8_t* pb, size_t cb) {
  m_cOpens.fetch_add(1, std::memory_order_relaxed);
  int32_t nStatus = 0;
  int fdState = -1;
  if (cb < 16 || m_options.eOpenAnswer == CCollectorOptions::EOpenAnswer::kRefuse) {
    nStatus = 1;
  } else if (m_options.eOpenAnswer == CCollectorOptions::EOpenAnswer::kState) {
    fdState = ::memfd_create("vltqtr-state", MFD_CLOEXEC);
    void* pMapped = MAP_FAILED;
    if (fdState >= 0 && ::ftruncate(fdState, sizeof(TRACE_STATE_BLOCK)) == 0)
      pMapped = ::mmap(nullptr, sizeof(TRACE_STATE_BLOCK), PROT_READ | PROT_WRITE, MAP_SHARED,
                       fdState, 0);
    if (pMapped == MAP_FAILED) {
      if (fdState >= 0) ::close(fdState);
      fdState = -1;
      nStatus = 1;
    } else {
      CRegistration registration;
      registration.nHandle = m_nNextHandle++;
      registration.fdConnection = connection.fd;
      registration.nPid = connection.nPid;
      registration.sModule = Utf16ToUtf8(pb + 16, cb - 16);
      registration.pState = static_cast<TRACE_STATE_BLOCK*>(pMapped);
      auto& stored = m_registrations[registration.nHandle] = registration;
      UpdateState(stored);
    }
  }

  std::vector<uint8_t> reply;
  AppendField(reply, platform::CTraceWireHeader{platform::kTraceWireOpenReply});
  AppendField(reply, nStatus);
  iovec iov{reply.data(), reply.size()};
  msghdr msg{};
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  alignas(cmsghdr) char rgbControl[CMSG_SPACE(sizeof(int))] = {};
  if (fdState >= 0) {
    msg.msg_control = rgbControl;
    msg.msg_controllen = sizeof rgbControl;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &fdState, sizeof(int));
  }
  ::sendmsg(connection.fd, &msg, MSG_NOSIGNAL);
  if (fdState >= 0) ::close(fdState);
}

void CTraceCollector::HandleRecord(CConnection& connection, const uint8_t* pb, size_t cb) {
  const uint8_t* pbEnd = pb + cb;
  const uint8_t* pbBody = pb + sizeof(uint64_t);
  uint64_t nHandle = 0;
  if (!ReadField(pb, pbEnd, &nHandle)) return;
  auto it = m_registrations.find(nHandle);
  // A process sends the records of all its modules through any of its
  // connections; another process's logger handles are not accepted.
  if (it == m_registrations.end() || it->second.nPid != connection.nPid) return;
  const CRegistration& registration = it->second;

  CTraceRecord record;
  record.nTimeNs = NowNs();
  record.nPid = registration.nPid;
  record.sModule = registration.sModule;
  if (!ParseRecordBody(pbBody, pbEnd, &record)) return;

  if (m_own.bClassFlags != 0 && m_own.Covers(record.sModule) && m_sink) m_sink(record);

  std::vector<uint8_t> forward;
  for (auto& [fd, viewer] : m_connections) {
    if (!viewer.fViewer || viewer.subscription.bClassFlags == 0 ||
        !viewer.subscription.Covers(record.sModule))
      continue;
    if (forward.empty()) {
      AppendField(forward, platform::CTraceWireHeader{platform::kTraceWireForward});
      AppendField(forward, record.nTimeNs);
      AppendField(forward, record.nPid);
      AppendField(forward, static_cast<uint16_t>(record.sModule.size()));
      forward.insert(forward.end(), record.sModule.begin(), record.sModule.end());
      forward.insert(forward.end(), pbBody, pbEnd);
    }
    SendAll(fd, forward.data(), forward.size());
  }
}

void CTraceCollector::HandleView(CConnection& connection, const uint8_t* pb, size_t cb) {
  // Only the collector's own user (or root) may watch what others trace.
  if (connection.nUid != ::getuid() && connection.nUid != 0) {
    ::shutdown(connection.fd, SHUT_RDWR);  // the viewer sees the end at once
    return;
  }
  const uint8_t* pbEnd = pb + cb;
  CSubscription subscription;
  if (!ReadField(pb, pbEnd, &subscription.bClassFlags) ||
      !ReadField(pb, pbEnd, &subscription.nLevel))
    return;
  while (pb < pbEnd) {
    const uint8_t* pbZero = std::find(pb, pbEnd, 0);
    subscription.rgsModules.emplace_back(pb, pbZero);
    pb = pbZero == pbEnd ? pbEnd : pbZero + 1;
  }
  connection.fViewer = true;
  connection.subscription = std::move(subscription);
  UpdateAllStates();
}

void CTraceCollector::HandleForward(const uint8_t* pb, size_t cb) {
  const uint8_t* pbEnd = pb + cb;
  platform::CTraceWireHeader header{};
  CTraceRecord record;
  uint16_t cbModule = 0;
  if (!ReadField(pb, pbEnd, &header) || header.nType != platform::kTraceWireForward ||
      !ReadField(pb, pbEnd, &record.nTimeNs) || !ReadField(pb, pbEnd, &record.nPid) ||
      !ReadField(pb, pbEnd, &cbModule) || static_cast<size_t>(pbEnd - pb) < cbModule)
    return;
  record.sModule.assign(reinterpret_cast<const char*>(pb), cbModule);
  pb += cbModule;
  if (ParseRecordBody(pb, pbEnd, &record) && m_sink) m_sink(record);
}

void CTraceCollector::CloseConnection(int fd) {
  auto it = m_connections.find(fd);
  if (it == m_connections.end()) return;
  const bool fViewer = it->second.fViewer;
  for (auto reg = m_registrations.begin(); reg != m_registrations.end();) {
    if (reg->second.fdConnection == fd) {
      // The module's process may still hold the block: leave it silent.
      __atomic_store_n(&reg->second.pState->LoggerHandle, 0, __ATOMIC_RELEASE);
      ::munmap(reg->second.pState, sizeof(TRACE_STATE_BLOCK));
      reg = m_registrations.erase(reg);
    } else {
      ++reg;
    }
  }
  ::close(fd);
  m_connections.erase(it);
  if (fViewer) UpdateAllStates();
}

void CTraceCollector::UpdateState(CRegistration& registration) {
  uint8_t bFlags = 0;
  uint8_t nLevel = 0;
  auto add = [&](const CSubscription& subscription) {
    if (subscription.bClassFlags == 0 || !subscription.Covers(registration.sModule)) return;
    bFlags = static_cast<uint8_t>(bFlags | subscription.bClassFlags);
    nLevel = std::max(nLevel, subscription.nLevel);
  };
  add(m_own);
  for (const auto& [fd, connection] : m_connections)
    if (connection.fViewer) add(connection.subscription);

  TRACE_STATE_BLOCK* pState = registration.pState;
  if (bFlags == 0) {
    __atomic_store_n(&pState->LoggerHandle, 0, __ATOMIC_RELEASE);
    __atomic_store_n(&pState->ClassFlags, 0, __ATOMIC_RELEASE);
    __atomic_store_n(&pState->Level, 0, __ATOMIC_RELEASE);
  } else {
    __atomic_store_n(&pState->ClassFlags, bFlags, __ATOMIC_RELEASE);
    __atomic_store_n(&pState->Level, nLevel, __ATOMIC_RELEASE);
    __atomic_store_n(&pState->LoggerHandle, registration.nHandle, __ATOMIC_RELEASE);
  }
}

void CTraceCollector::UpdateAllStates() {
  for (auto& [nHandle, registration] : m_registrations) UpdateState(registration);
}

void CTraceCollector::DisableAll() {
  m_own.bClassFlags = 0;
  for (auto& [fd, connection] : m_connections) connection.subscription.bClassFlags = 0;
  UpdateAllStates();
}

}  // namespace vltqtr

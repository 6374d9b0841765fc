// Datagrams of a hostile local client through a real connection to a
// collector that runs on a thread of this process. The input is a list of
// datagrams, each a 16-bit length and its bytes. After them the client asks
// for a module's registration, whose reply shows that the collector read
// everything before it; a connection the collector ended is made again.
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/trace/trace_wire.h"
#include "trace_collector.h"

namespace {

vltqtr::CTraceCollector* g_pCollector = nullptr;
std::string g_socketPath;
int g_fd = -1;

void StartOnce() {
  if (g_pCollector != nullptr) return;
  char szDir[] = "/tmp/vltqtr-fuzz-XXXXXX";
  g_socketPath = std::string(mkdtemp(szDir)) + "/device.sock";
  vltqtr::CCollectorOptions options;
  options.sSocketPath = g_socketPath;
  options.bClassFlags = 0xFF;
  options.nLevel = 255;
  g_pCollector = new vltqtr::CTraceCollector(options, [](const vltqtr::CTraceRecord& record) {
    (void)vltqtr::FormatGuid(record.rgbMessageGuid);
    for (const auto& item : record.rgItems) (void)vltqtr::FormatItem(item);
  });
  std::string error;
  if (!g_pCollector->Start(&error)) abort();
  std::thread([] { g_pCollector->Run(); }).detach();
}

int Connect() {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, g_socketPath.c_str());
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) abort();
  const timeval timeout{5, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  return fd;
}

// Sends an open request and reads until the reply to it: |cOpens| opens of
// the input come first. Forwarded records (when the input made this a
// viewer) and view replies are passed over. False when the collector ended
// the connection.
bool Synchronize(int cOpens) {
  uint8_t rgbOpen[4 + 16 + 8] = {};
  const uint32_t nOpen = platform::kTraceWireOpen;
  std::memcpy(rgbOpen, &nOpen, 4);
  std::memcpy(rgbOpen + 20, "s\0y\0n\0c\0", 8);
  if (send(g_fd, rgbOpen, sizeof rgbOpen, MSG_NOSIGNAL) < 0) return false;
  for (int cReplies = 0; cReplies <= cOpens;) {
    static uint8_t rgb[platform::kTraceWireMax];
    alignas(cmsghdr) char rgbControl[CMSG_SPACE(sizeof(int))];
    iovec iov{rgb, sizeof rgb};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = rgbControl;
    msg.msg_controllen = sizeof rgbControl;
    ssize_t cb = recvmsg(g_fd, &msg, MSG_CMSG_CLOEXEC);
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); cb >= 0 && c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
      int fd;
      std::memcpy(&fd, CMSG_DATA(c), sizeof fd);
      close(fd);
    }
    if (cb <= 0) return false;
    uint32_t nType = 0;
    if (cb >= 4) std::memcpy(&nType, rgb, 4);
    if (nType == platform::kTraceWireOpenReply) ++cReplies;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  StartOnce();
  if (g_fd < 0) g_fd = Connect();
  size_t i = 0;
  int cOpens = 0;
  while (i + 2 <= size) {
    size_t cb = data[i] | (data[i + 1] << 8);
    i += 2;
    if (cb > size - i) cb = size - i;
    uint32_t nType = 0;
    if (cb >= 4) std::memcpy(&nType, data + i, 4);
    if (send(g_fd, data + i, cb, MSG_NOSIGNAL) < 0) break;
    if (nType == platform::kTraceWireOpen) ++cOpens;
    i += cb;
  }
  if (!Synchronize(cOpens)) {
    close(g_fd);
    g_fd = -1;
  }
  return 0;
}

// Arbitrary bytes to vltadmin-host over a loopback connection, then the end
// of the client's sending: the request framing (header limits, transfer
// codings, Host, Expect), the reading of whole bodies, plain and chunked,
// pipelined requests and the host's own refusals. The tests' extension
// serves what gets through (/fuzz.dll?mode=echo, discard, chunked...).
// Whatever the bytes, the host answers with HTTP/1.1 status lines or
// closes, and it always closes once the client has nothing more to send.
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "server/access_log.h"
#include "server/extension_module.h"
#include "server/host_options.h"
#include "server/http_server.h"

namespace {

unsigned short s_nPort = 0;
CHttpServer* s_pServer = nullptr;
std::vector<std::unique_ptr<CExtensionModule>>* s_pExtensions = nullptr;

[[noreturn]] void Fail(const std::string& what) {
  fprintf(stderr, "host_request_fuzzer: %s\n", what.c_str());
  abort();
}

// At exit, before the extension's globals go: the host stops as at a
// SIGTERM.
void StopHost() {
  s_pServer->StopAccepting();
  for (auto& pExtension : *s_pExtensions) pExtension->Terminate();
  if (!s_pServer->Shutdown()) Fail("the host did not stop");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  signal(SIGPIPE, SIG_IGN);
  // Kept for the whole run: the host's threads use them to the end.
  auto* pOpts = new CHostOptions;
  pOpts->m_listen = "127.0.0.1:0";
  pOpts->m_fAllowPlainHttp = true;
  pOpts->m_nIoThreads = 1;
  pOpts->m_cbReadAhead = 8 * 1024;
  pOpts->m_cbMaxHeader = 2 * 1024;
  pOpts->m_fPageDirGiven = true;  // no page files
  s_pExtensions = new std::vector<std::unique_ptr<CExtensionModule>>;
  s_pExtensions->push_back(std::make_unique<CExtensionModule>("/fuzz.dll", VLT_FUZZ_EXTENSION));
  std::string err;
  if (!s_pExtensions->back()->Load(err)) Fail(err);
  s_pServer = new CHttpServer(*pOpts, *s_pExtensions, *new CAccessLog);
  if (!s_pServer->Listen(err)) Fail(err);
  s_pServer->Run();
  s_nPort = s_pServer->LocalPort();
  atexit(StopHost);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The extension's mode that waits on purpose.
  if (memmem(data, size, "sleep", 5) != nullptr) return 0;
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(s_nPort);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  // Local ports still in TIME_WAIT come free again. libFuzzer's timer
  // signal may interrupt a connect, which then goes on by itself.
  int nResult = fd >= 0 ? -1 : 0;
  for (int nTry = 0; fd >= 0 && nResult != 0;) {
    nResult = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    if (nResult == 0 || errno == EISCONN) {
      nResult = 0;
    } else if (errno == EINTR || errno == EALREADY) {
      pollfd pfd = {fd, POLLOUT, 0};
      poll(&pfd, 1, 1000);
    } else if (errno == EADDRNOTAVAIL && ++nTry < 1000) {
      usleep(10000);
    } else {
      break;
    }
  }
  if (fd < 0 || nResult != 0) Fail(std::string("cannot connect: ") + strerror(errno));
  // Closed with a reset once the host has closed: a thousand connections a
  // second would otherwise leave every local port in TIME_WAIT.
  linger reset{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  // The host may answer and close before it has read everything.
  for (size_t cbSent = 0; cbSent < size;) {
    ssize_t cb = send(fd, data + cbSent, size - cbSent, MSG_NOSIGNAL);
    if (cb < 0 && errno == EINTR) continue;
    if (cb <= 0) break;
    cbSent += static_cast<size_t>(cb);
  }
  shutdown(fd, SHUT_WR);
  std::string answer;
  char rgRead[4096];
  for (ssize_t cb; (cb = recv(fd, rgRead, sizeof rgRead, 0)) != 0;) {
    if (cb > 0)
      answer.append(rgRead, static_cast<size_t>(cb));
    else if (errno != EINTR)
      break;
  }
  close(fd);
  if (!answer.empty() && answer.compare(0, 9, "HTTP/1.1 ") != 0) Fail("not a status line: " + answer.substr(0, 40));
  return 0;
}

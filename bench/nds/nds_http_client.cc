// The vltadmin side of bench/nds/run.sh: for each "USER TREE OLD NEW" line
// of its input, posts an NDS change-password request to vltadmin-host on
// one kept-alive connection and checks the answer (status 200, a
// ResponseChangePassword without ErrorId).
//   nds_http_client PORT < changes
// Prints one line per change (its latency in microseconds), then
// "total <microseconds>" and "span <start> <end>" (the steady clock in
// microseconds, which all processes share: a block of several clients
// runs from the first start to the last end). Exit status 1 when an answer is not a success.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace {

int Connect(int nPort) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(nPort));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int fOn = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &fOn, sizeof fOn);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return -1;
  return fd;
}

// One response: the status line and the body (Content-length framing).
bool ReadResponse(int fd, std::string* psStatus, std::string* psBody) {
  std::string sData;
  char rgch[8192];
  size_t nHeaderEnd = std::string::npos;
  size_t cbBody = 0;
  while (true) {
    if (nHeaderEnd == std::string::npos && (nHeaderEnd = sData.find("\r\n\r\n")) != std::string::npos) {
      size_t nLength = 0;
      for (size_t n = 0; (n = sData.find("\r\n", n)) != std::string::npos && n < nHeaderEnd; n += 2)
        if (strncasecmp(sData.c_str() + n + 2, "content-length:", 15) == 0) nLength = n + 17;
      if (nLength == 0) return false;
      cbBody = std::strtoul(sData.c_str() + nLength, nullptr, 10);
      nHeaderEnd += 4;
    }
    if (nHeaderEnd != std::string::npos && sData.size() >= nHeaderEnd + cbBody) break;
    ssize_t cb = read(fd, rgch, sizeof rgch);
    if (cb <= 0) return false;
    sData.append(rgch, static_cast<size_t>(cb));
  }
  *psStatus = sData.substr(0, sData.find("\r\n"));
  *psBody = sData.substr(nHeaderEnd, cbBody);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: nds_http_client PORT < changes\n");
    return 2;
  }
  std::vector<std::string> rgRequests;
  for (std::string sUser, sTree, sOld, sNew; std::cin >> sUser >> sTree >> sOld >> sNew;) {
    std::string sBody = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><AdminProtocol version=\"1.0\"><RequestChangePassword>"
                        "<UserName>" + sUser + "</UserName><Domain type=\"NDS\">" + sTree +
                        "</Domain><OldPassword>" + sOld + "</OldPassword><NewPassword>" + sNew +
                        "</NewPassword></RequestChangePassword></AdminProtocol>";
    rgRequests.push_back("POST /Scripts/vltadmin/vltadmin.dll HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                         "Content-Type: text/xml\r\nContent-Length: " + std::to_string(sBody.size()) +
                         "\r\n\r\n" + sBody);
  }
  int fd = Connect(std::atoi(argv[1]));
  if (fd < 0) {
    std::fprintf(stderr, "nds_http_client: cannot connect to port %s\n", argv[1]);
    return 1;
  }
  auto start = std::chrono::steady_clock::now();
  for (const std::string& sRequest : rgRequests) {
    auto begin = std::chrono::steady_clock::now();
    std::string sStatus, sBody;
    if (write(fd, sRequest.data(), sRequest.size()) != static_cast<ssize_t>(sRequest.size()) ||
        !ReadResponse(fd, &sStatus, &sBody)) {
      std::fprintf(stderr, "nds_http_client: connection lost\n");
      return 1;
    }
    auto us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - begin);
    if (sStatus != "HTTP/1.1 200 OK" || sBody.find("<ResponseChangePassword>") == std::string::npos ||
        sBody.find("<ErrorId>") != std::string::npos) {
      std::fprintf(stderr, "nds_http_client: %s\n%s\n", sStatus.c_str(), sBody.c_str());
      return 1;
    }
    std::printf("%lld\n", static_cast<long long>(us.count()));
  }
  auto total = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
  std::printf("total %lld\nspan %lld %lld\n", static_cast<long long>(total.count()),
              static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(
                  start.time_since_epoch()).count()),
              static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(
                  std::chrono::steady_clock::now().time_since_epoch()).count()));
  close(fd);
  return 0;
}

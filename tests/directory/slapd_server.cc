#include "slapd_server.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace {

unsigned short FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t cb = sizeof addr;
  unsigned short nPort = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &cb) == 0)
    nPort = ntohs(addr.sin_port);
  close(fd);
  return nPort;
}

std::string Script() {
  return std::string(std::getenv("VLT_SOURCE_DIR")) + "/tests/directory/slapd_fixture.sh";
}

std::string Quoted(const std::string& s) {
  std::string sOut = "'";
  for (char ch : s) sOut += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return sOut + "'";
}

}  // namespace

CSlapdServer::CSlapdServer(bool fTls) {
  char szTemplate[] = "/tmp/vlt-slapd-XXXXXX";
  if (mkdtemp(szTemplate) == nullptr) return;
  m_sDir = szTemplate;
  m_nPort = FreePort();
  std::string sCommand = Script() + " start " + Quoted(m_sDir) + " " + std::to_string(m_nPort);
  if (fTls) {
    m_nTlsPort = FreePort();
    sCommand += " " + std::to_string(m_nTlsPort);
  }
  m_fStarted = std::system(sCommand.c_str()) == 0;
}

CSlapdServer::~CSlapdServer() {
  if (m_sDir.empty()) return;
  std::system((Script() + " stop " + Quoted(m_sDir)).c_str());
  std::error_code ec;
  std::filesystem::remove_all(m_sDir, ec);
}

bool CSlapdServer::CanBind(const std::string& sDn, const std::string& sPassword) const {
  std::string sCommand = "ldapwhoami -x -H " + Uri() + " -D " + Quoted(sDn) + " -w " +
                         Quoted(sPassword) + " >/dev/null 2>&1";
  return std::system(sCommand.c_str()) == 0;
}

bool CSlapdServer::Restart() const {
  return std::system((Script() + " restart " + Quoted(m_sDir)).c_str()) == 0;
}

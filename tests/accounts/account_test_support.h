// Scratch stores and registry text for the account tests.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/account_store.h"

namespace accounttest {

// A directory removed with its contents afterwards.
class CScratchDir {
 public:
  CScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vltaccounts-XXXXXX").string();
    m_path = mkdtemp(pattern.data());
  }
  ~CScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  CScratchDir(const CScratchDir&) = delete;
  CScratchDir& operator=(const CScratchDir&) = delete;
  std::string Path(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

// A policy with every rule off, to switch on one at a time.
inline platform::SAccountPolicy OpenPolicy() {
  platform::SAccountPolicy policy;
  policy.nMinLength = 0;
  policy.fComplexity = false;
  policy.nHistory = 0;
  policy.nMinAgeSeconds = 0;
  policy.nLockoutThreshold = 0;
  return policy;
}

// Creates a store at |path| with |policy| and the users, each with its
// password.
inline std::unique_ptr<platform::CAccountStore> MakeStore(
    const std::string& path, const platform::SAccountPolicy& policy,
    std::initializer_list<std::pair<const char*, const char*>> users) {
  std::string error;
  auto pStore = platform::CAccountStore::Create(path, policy, error);
  if (!pStore) return nullptr;
  for (const auto& [pszName, pszPassword] : users)
    if (pStore->AddUser(pszName, pszPassword) != 0) return nullptr;
  return pStore;
}

// Registry text mapping |domain| to the local store at |path|.
inline std::string LocalDomain(const std::string& domain, const std::string& path) {
  return "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\Accounts\\Domains\\" + domain +
         "]\r\n\"Provider\"=\"local\"\r\n\"Store\"=\"" + path + "\"\r\n\r\n";
}

// Distinct loopback ports free for TCP and UDP at the moment of asking.
inline std::vector<unsigned short> FreePorts(size_t count) {
  std::vector<int> sockets;
  std::vector<unsigned short> ports;
  while (ports.size() < count && sockets.size() < 64) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int tcp = socket(AF_INET, SOCK_STREAM, 0);
    socklen_t cb = sizeof(address);
    if (tcp < 0 || bind(tcp, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        getsockname(tcp, reinterpret_cast<sockaddr*>(&address), &cb) != 0)
      break;
    sockets.push_back(tcp);
    int udp = socket(AF_INET, SOCK_DGRAM, 0);
    if (udp >= 0 && bind(udp, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0)
      ports.push_back(ntohs(address.sin_port));
    if (udp >= 0) sockets.push_back(udp);
  }
  for (int fd : sockets) close(fd);
  return ports;
}

// Runs tests/accounts/|script| with |arguments|; its exit status.
inline int RunTestScript(const std::string& script, const std::string& arguments) {
  const char* pszSource = getenv("VLT_SOURCE_DIR");
  std::string command =
      "bash " + std::string(pszSource ? pszSource : ".") + "/tests/accounts/" + script + " " + arguments;
  int status = system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace accounttest

// Scratch stores and registry text for the account tests.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

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

}  // namespace accounttest

// Scratch stores and registry text for the account tests.
#pragma once

#include <memory>
#include <string>

#include "fixture_support.h"
#include "platform/netapi/local/account_store.h"

namespace accounttest {

using vlttest::CScratchDir;

// A policy with every rule off, to switch on one at a time.
inline platform::CAccountPolicy OpenPolicy() { return {0, false, 0, 0, 0}; }

// Creates a store at |path| with |policy| and the users, each with its
// password.
inline std::unique_ptr<platform::CAccountStore> MakeStore(
    const std::string& path, const platform::CAccountPolicy& policy,
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

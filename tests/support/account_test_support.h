// Scratch account stores for the tests.
#pragma once

#include <memory>
#include <string>

#include "platform/netapi/local/account_store.h"
#include "scratch_dir.h"

namespace accounttest {

// Creates a store at |path| with |policy| (every rule off unless given) and
// the users, each with its password.
inline std::unique_ptr<platform::CAccountStore> MakeStore(
    const std::string& path, std::initializer_list<std::pair<const char*, const char*>> users,
    const platform::CAccountPolicy& policy = {0, false, 0, 0, 0}) {
  std::string error;
  auto pStore = platform::CAccountStore::Create(path, policy, error);
  if (!pStore) return nullptr;
  for (const auto& [pszName, pszPassword] : users)
    if (pStore->AddUser(pszName, pszPassword) != 0) return nullptr;
  return pStore;
}

}  // namespace accounttest

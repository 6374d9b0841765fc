#include "admin/groups/as_self.h"

#include "platform/base/sync.h"
#include "platform/base/thread_token.h"

bool CAsSelf::Revert() {
  if (m_hToken != nullptr) return false;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_IMPERSONATE, TRUE, &m_hToken)) {
    m_hToken = nullptr;
    return false;
  }
  if (RevertToSelf()) return true;
  CloseHandle(m_hToken);
  m_hToken = nullptr;
  return false;
}

CAsSelf::~CAsSelf() {
  if (m_hToken == nullptr) return;
  SetThreadToken(nullptr, m_hToken);
  CloseHandle(m_hToken);
}

// The as-self retry: a call that failed while the thread impersonates a
// client is repeated under the process's own identity, and the
// impersonation restored afterwards. On a thread with no impersonation
// token (the only kind here, see platform/base/thread_token.h) nothing is
// repeated.
#pragma once

#include "platform/base/wintypes.h"

class CAsSelf {
 public:
  CAsSelf() = default;
  // Restores the thread's impersonation, if Revert took it away.
  ~CAsSelf();
  CAsSelf(const CAsSelf&) = delete;
  CAsSelf& operator=(const CAsSelf&) = delete;

  // Opens the thread's impersonation token and reverts to the process's
  // identity: true when the call may now be repeated.
  bool Revert();

 private:
  HANDLE m_hToken = nullptr;
};

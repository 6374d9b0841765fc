#include "platform/base/blocking_wait.h"

namespace platform {

namespace {
thread_local IBlockingWaitObserver* t_pObserver = nullptr;
thread_local int t_nDepth = 0;
}  // namespace

void SetBlockingWaitObserver(IBlockingWaitObserver* pObserver) {
  t_pObserver = pObserver;
  t_nDepth = 0;
}

void BeginBlockingWait() {
  if (t_nDepth++ == 0 && t_pObserver != nullptr) t_pObserver->OnBlockingWaitBegin();
}

void EndBlockingWait() {
  if (--t_nDepth == 0 && t_pObserver != nullptr) t_pObserver->OnBlockingWaitEnd();
}

}  // namespace platform

#include "platform/base/blocking_wait.h"

namespace platform {

namespace {
thread_local IBlockingWaitObserver* tl_pObserver = nullptr;
thread_local int tl_nDepth = 0;
}  // namespace

void SetBlockingWaitObserver(IBlockingWaitObserver* pObserver) {
  tl_pObserver = pObserver;
  tl_nDepth = 0;
}

void BeginBlockingWait() {
  if (tl_nDepth++ == 0 && tl_pObserver != nullptr) tl_pObserver->OnBlockingWaitBegin();
}

void EndBlockingWait() {
  if (--tl_nDepth == 0 && tl_pObserver != nullptr) tl_pObserver->OnBlockingWaitEnd();
}

}  // namespace platform

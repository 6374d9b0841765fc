// Waits on something outside the process, announced to the thread's pool.
//
// A pool that keeps no more threads running than there are processors needs
// to know when one of them stops running for a while: waiting for a network
// peer (a directory server, a KDC) or for a slow client. The pool installs an
// observer on each of its threads; code that may wait that way brackets the
// wait with a CBlockingWait, and the pool may let another thread run
// meanwhile. Nested brackets count as one. Without an observer a bracket does
// nothing.
#pragma once

#include "platform/base/api.h"

VLT_API_BEGIN

namespace platform {

class IBlockingWaitObserver {
 public:
  virtual void OnBlockingWaitBegin() = 0;
  virtual void OnBlockingWaitEnd() = 0;

 protected:
  ~IBlockingWaitObserver() = default;
};

// Installs |pObserver| (null: none) for the calling thread.
void SetBlockingWaitObserver(IBlockingWaitObserver* pObserver);

void BeginBlockingWait();
void EndBlockingWait();

class CBlockingWait {
 public:
  CBlockingWait() { BeginBlockingWait(); }
  ~CBlockingWait() { EndBlockingWait(); }
  CBlockingWait(const CBlockingWait&) = delete;
  CBlockingWait& operator=(const CBlockingWait&) = delete;
};

}  // namespace platform

VLT_API_END

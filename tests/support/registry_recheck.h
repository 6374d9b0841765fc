// The registry checks its file at the first open made 100 ms (by a coarse
// clock, a few ms more at most) after its last check. A test that rewrites a
// registry file already in use waits this long before it expects the change
// to be seen; a file at a new path is read at once.
#pragma once

#include <chrono>
#include <thread>

namespace vlttest {

inline void WaitForRegistryRecheck() { std::this_thread::sleep_for(std::chrono::milliseconds(150)); }

}  // namespace vlttest

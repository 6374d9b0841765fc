// A disabled trace point reads shared memory only: in a process that any
// system call but exit would kill, it runs to the end.
#include <gtest/gtest.h>

#include <linux/seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "admin/trace/qtr_trace.h"
#include "trace_capture.h"

namespace {

constexpr GUID kguidModule = {0x5ca11, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};

// Runs the trace point 1000 times in a child under seccomp strict mode
// (read, write, exit and sigreturn only); the child's wait status.
int RunTracePointsWithoutSystemCalls(CQtrStateAddress* ppState, unsigned nClass) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (prctl(PR_SET_SECCOMP, SECCOMP_MODE_STRICT) != 0) syscall(SYS_exit, 2);
    for (LONG n = 0; n < 1000; ++n) {
      QtrTraceState* pState = ppState->load(std::memory_order_acquire);
      if (QtrEnabled(pState, nClass, 1))
        QtrWrite(QtrLoggerHandle(pState), &kguidModule, 1, QtrInt(n));
    }
    syscall(SYS_exit, 0);
  }
  int status = -1;
  waitpid(pid, &status, 0);
  return status;
}

TEST(TracePointCostTest, DisabledTracePointMakesNoSystemCall) {
  vltqtr::CCollectorOptions options;
  options.bClassFlags = 1u << QTR_ERROR;
  options.nLevel = 1;
  vlttest::CTraceCapture collector(options);
  ASSERT_TRUE(collector.Started());
  QtrTraceModule module = {INVALID_HANDLE_VALUE, &kguidModule, u"RK_Cost", kQtrClassNames};
  CQtrStateAddress state{nullptr};
  QtrOpen(&module, &state);
  ASSERT_NE(state.load(), nullptr);

  const int disabled = RunTracePointsWithoutSystemCalls(&state, QTR_INFO);
  EXPECT_TRUE(WIFEXITED(disabled) && WEXITSTATUS(disabled) == 0) << "status " << disabled;
  // The same loop with the class on calls the device, and the child dies:
  // the check above would notice a system call.
  const int enabled = RunTracePointsWithoutSystemCalls(&state, QTR_ERROR);
  EXPECT_TRUE(WIFSIGNALED(enabled) && WTERMSIG(enabled) == SIGKILL) << "status " << enabled;
}

}  // namespace

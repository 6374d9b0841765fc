// Tests of state that a process sets up once and keeps (a client library's
// table, the translator's state, a failed start) run their body in a process
// of their own: a death-test child started afresh from the program, which
// fails the test when anything in it failed. So a program passes whether
// its tests run one per process or all in one.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

namespace vlttest {

// exit, not _exit: the child's coverage counters are written at exit.
template <class F>
void RunAndExit(F&& body) {
  body();
  std::exit(::testing::Test::HasFailure() ? 1 : 0);
}

}  // namespace vlttest

#define VLT_IN_OWN_PROCESS(...)                                                              \
  do {                                                                                       \
    GTEST_FLAG_SET(death_test_style, "threadsafe");                                          \
    EXPECT_EXIT(::vlttest::RunAndExit([&] { __VA_ARGS__; }), ::testing::ExitedWithCode(0), ""); \
  } while (0)

// The library's trace points under many first translations at once.
#include <algorithm>
#include <thread>
#include <vector>

#include "admin/password/library/password_library.h"
#include "fake_ads_user.h"
#include "own_process.h"
#include "password_test_env.h"
#include "trace_capture.h"

namespace {

using pwtest::kwszNew;
using pwtest::kwszOld;
using LibraryTraceTest = pwtest::FakeTranslatorTest;

// The library's message numbers among the records, in order.
std::vector<unsigned> LibraryMessages(const std::vector<vlttest::CTraceRecord>& records) {
  std::vector<unsigned> rgn;
  for (const auto& record : records)
    if (record.sModule == "RK_Library_Krel") {
      EXPECT_TRUE(record.rgItems.empty()) << record.nMessage;
      rgn.push_back(record.nMessage);
    }
  return rgn;
}

}  // namespace

// Many first translations at once: the state leaves Untried exactly once and
// never moves again, whichever answer came first.
TEST_F(LibraryTraceTest, ConcurrentFirstTranslationsMoveTheStateOnce) {
  VLT_IN_OWN_PROCESS(
    for (int i = 0; i < kcFakeCalls; i += 2) m_pControl->rgeAnswer[i] = eFakeAnswerFail;
    std::atomic<bool> fMovedBack{false};
    std::atomic<bool> fDone{false};
    auto records = vlttest::CaptureTraceRecords([&] {
      // A refused change opens the trace module first (trace points running
      // while it opens are skipped), without touching the state.
      ChangeDirectoryPassword(nullptr, u"alice", kwszOld, kwszNew);
      std::thread watcher([&] {
        ETranslatorState eFirst = eTranslatorUntried;
        while (!fDone) {
          ETranslatorState eNow = CurrentTranslatorState();
          if (eFirst == eTranslatorUntried) eFirst = eNow;
          if (eNow != eFirst) fMovedBack = true;
        }
      });
      std::vector<std::thread> rgThreads;
      for (int i = 0; i < 8; ++i)
        rgThreads.emplace_back([] {
          CFakeAdsUser user;
          for (int n = 0; n < 3; ++n) ChangeDirectoryPassword(&user, u"alice", kwszOld, kwszNew);
        });
      for (auto& thread : rgThreads) thread.join();
      fDone = true;
      watcher.join();
    });
    EXPECT_FALSE(fMovedBack);
    EXPECT_NE(CurrentTranslatorState(), eTranslatorUntried);
    std::vector<unsigned> rgn = LibraryMessages(records);
    EXPECT_EQ(std::count(rgn.begin(), rgn.end(), 32u) + std::count(rgn.begin(), rgn.end(), 33u), 1)
        << ::testing::PrintToString(rgn);
    vlttest::ExpectNoPasswordIn({kwszOld, kwszNew}, records);
  );
}

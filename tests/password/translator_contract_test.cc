// The password library against the translator: installed, absent, failing,
// answering for one password only; wiping of translated passwords; and its
// trace points under many first translations at once.
#include <algorithm>
#include <functional>
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
using vlttest::TranslatorServer;

constexpr size_t kcwTranslated = 3 + 10;  // "tr:" + a password
constexpr char16_t kwszAsGiven[] = u"Old-S3cret|New-S3cret";
constexpr char16_t kwszTranslated[] = u"tr:Old-S3cret|tr:New-S3cret";

class TranslatorContractTest : public pwtest::FakeTranslatorTest {
 protected:
  // One directory change with the test's passwords.
  HRESULT ChangeDirectory(CFakeAdsUser* pUser) {
    return ChangeDirectoryPassword(pUser, u"alice", kwszOld, kwszNew);
  }

  // One directory change; the passwords the directory got, "old|new".
  std::u16string Sent() {
    CFakeAdsUser user;
    EXPECT_EQ(ChangeDirectory(&user), S_OK);
    EXPECT_TRUE(user.m_fBstrLengthsRight);
    return user.m_sOld + u"|" + user.m_sNew;
  }
};

}  // namespace

TEST_F(TranslatorContractTest, InstalledTranslatorAnswersForBothPasswords) {
  VLT_IN_OWN_PROCESS(
    EXPECT_EQ(CurrentTranslatorState(), eTranslatorUntried);
    EXPECT_EQ(Sent(), kwszTranslated);
    EXPECT_EQ(CurrentTranslatorState(), eTranslatorAvailable);
    // The old password is offered first, for the account, with no domain.
    ASSERT_EQ(m_pControl->nTranslate, 2);
    EXPECT_EQ(std::u16string(m_pControl->rgwszPassword[0]) + u"|" + m_pControl->rgwszPassword[1], u"Old-S3cret|New-S3cret");
    EXPECT_EQ(std::u16string(m_pControl->rgwszUser[0]), u"alice");
    EXPECT_TRUE(m_pControl->rgfDomainNull[0] && m_pControl->rgfDomainNull[1]);
    // One full activation per password.
    EXPECT_EQ(m_pControl->nGetClassObject, 2);
    // A domain change offers both passwords with its domain.
    ChangeDomainPassword(u"CORP", u"alice", kwszOld, kwszNew);
    ASSERT_EQ(m_pControl->nTranslate, 4);
    EXPECT_EQ(std::u16string(m_pControl->rgwszDomain[2]), u"CORP");
    EXPECT_EQ(std::u16string(m_pControl->rgwszUser[3]), u"alice");
    EXPECT_EQ(std::u16string(m_pControl->rgwszPassword[2]) + u"|" + m_pControl->rgwszPassword[3], u"Old-S3cret|New-S3cret");
    EXPECT_FALSE(m_pControl->rgfDomainNull[2]);
  );
}

// Translation is on from the first answer for good, and off from the first
// failure for good; a failure once on passes that password as received.
TEST_F(TranslatorContractTest, FirstAnswersDecideTheState) {
  const struct {
    const char* pszCase;
    std::function<void()> arrange;
    std::vector<std::u16string> rgSent;  // what the directory got, change by change
    ETranslatorState eState;
    int nGetClassObject, nTranslate;
  } cases[] = {
      {"first answer a failure", [this] { m_pControl->rgeAnswer[0] = eFakeAnswerFail; },
       {kwszAsGiven, kwszAsGiven}, eTranslatorUnavailable, 1, 1},
      {"first answer not a string", [this] { m_pControl->rgeAnswer[0] = eFakeAnswerNotString; },
       {kwszAsGiven, kwszAsGiven}, eTranslatorUnavailable, 1, 1},
      {"object without the interface", [this] { m_pControl->fWithoutInterface = true; },
       {kwszAsGiven, kwszAsGiven}, eTranslatorUnavailable, 1, 0},
      // Installed later in the process: still no activation.
      {"absent",
       [this] {
         registry.Use("");
         EXPECT_EQ(Sent(), kwszAsGiven);
         registry.Use(TranslatorServer("fakepwtrans.dll"));
       },
       {kwszAsGiven}, eTranslatorUnavailable, 0, 0},
      {"answer for the old password only", [this] { m_pControl->rgeAnswer[1] = eFakeAnswerFail; },
       {u"tr:Old-S3cret|New-S3cret"}, eTranslatorAvailable, 2, 2},
      {"failure after success",
       [this] { m_pControl->rgeAnswer[2] = m_pControl->rgeAnswer[3] = eFakeAnswerFail; },
       {kwszTranslated, kwszAsGiven, kwszTranslated}, eTranslatorAvailable, 6, 6},
  };
  for (const auto& c : cases) {
    VLT_IN_OWN_PROCESS(
      c.arrange();
      for (const std::u16string& sSent : c.rgSent) EXPECT_EQ(Sent(), sSent) << c.pszCase;
      EXPECT_EQ(CurrentTranslatorState(), c.eState) << c.pszCase;
      EXPECT_EQ(m_pControl->nGetClassObject, c.nGetClassObject) << c.pszCase;
      EXPECT_EQ(m_pControl->nTranslate, c.nTranslate) << c.pszCase;
    );
  }
}

TEST_F(TranslatorContractTest, TranslatedPasswordsAreZeroedBeforeTheyAreFreed) {
  VLT_IN_OWN_PROCESS(
    pwtest::CFreedStrings freed;
    ASSERT_EQ(Sent(), kwszTranslated);
    CFakeAdsUser refusing(static_cast<HRESULT>(0x8007052Bu));
    ASSERT_NE(ChangeDirectory(&refusing), S_OK);
    EXPECT_EQ(ChangeDomainPassword(u"CORP", u"alice", kwszOld, kwszNew) == 0, false);
    // Three changes, two translated passwords each, all wiped to zeros.
    EXPECT_EQ(freed.ZeroedOfLength(kcwTranslated), 6);
    // No freed string held a password, translated or as received (the copies
    // handed to the translator are wiped too).
    EXPECT_FALSE(freed.AnyContains(u"S3cret"));
  );
}

// Argument checks come before any translation; a directory failure is
// returned unchanged.
TEST_F(TranslatorContractTest, ArgumentChecksComeBeforeAnyTranslation) {
  VLT_IN_OWN_PROCESS(
    CFakeAdsUser user(static_cast<HRESULT>(0x80070056u));
    EXPECT_EQ(ChangeDirectoryPassword(nullptr, u"alice", kwszOld, kwszNew), E_ADS_BAD_PARAMETER);
    EXPECT_EQ(ChangeDirectoryPassword(&user, nullptr, kwszOld, kwszNew), E_ADS_BAD_PARAMETER);
    EXPECT_EQ(ChangeDirectoryPassword(&user, u"alice", nullptr, kwszNew), E_ADS_BAD_PARAMETER);
    EXPECT_EQ(ChangeDirectoryPassword(&user, u"alice", kwszOld, nullptr), E_ADS_BAD_PARAMETER);
    EXPECT_EQ(ChangeDomainPassword(nullptr, u"alice", kwszOld, kwszNew), 87u);
    EXPECT_EQ(ChangeDomainPassword(u"CORP", nullptr, kwszOld, kwszNew), 87u);
    EXPECT_EQ(ChangeDomainPassword(u"CORP", u"alice", nullptr, kwszNew), 87u);
    EXPECT_EQ(ChangeDomainPassword(u"CORP", u"alice", kwszOld, nullptr), 87u);
    EXPECT_EQ(ChangeDomainPassword(u"\\\\DC01", u"alice", kwszOld, kwszNew), 87u);
    EXPECT_EQ(m_pControl->nGetClassObject, 0);
    EXPECT_EQ(CurrentTranslatorState(), eTranslatorUntried);
    // One backslash, or an empty domain (this machine), passes the checks.
    EXPECT_NE(ChangeDomainPassword(u"\\CORP", u"alice", kwszOld, kwszNew), 87u);
    EXPECT_NE(ChangeDomainPassword(u"", u"alice", kwszOld, kwszNew), 87u);
    EXPECT_EQ(m_pControl->nTranslate, 4);
    EXPECT_EQ(ChangeDirectory(&user), static_cast<HRESULT>(0x80070056u));
    EXPECT_EQ(user.m_nChanges, 1);
  );
}

TEST_F(TranslatorContractTest, ThreadInAnotherApartmentStillTranslates) {
  VLT_IN_OWN_PROCESS(
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(Sent(), kwszTranslated);
    EXPECT_EQ(platform::ComApartmentDepth(), 1);
    CoUninitialize();
  );
}

// Many first translations at once: the state leaves Untried exactly once and
// never moves again, whichever answer came first; one trace record says so.
TEST_F(TranslatorContractTest, ConcurrentFirstTranslationsMoveTheStateOnce) {
  VLT_IN_OWN_PROCESS(
    for (int i = 0; i < kcFakeCalls; i += 2) m_pControl->rgeAnswer[i] = eFakeAnswerFail;
    std::atomic<bool> fMovedBack{false};
    std::atomic<bool> fDone{false};
    auto records = vlttest::CaptureTraceRecords([&] {
      // A refused change opens the trace module first (trace points running
      // while it opens are skipped), without touching the state.
      ChangeDirectory(nullptr);
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
        rgThreads.emplace_back([this] {
          CFakeAdsUser user;
          for (int n = 0; n < 3; ++n) ChangeDirectory(&user);
        });
      for (auto& thread : rgThreads) thread.join();
      fDone = true;
      watcher.join();
    });
    EXPECT_FALSE(fMovedBack);
    EXPECT_NE(CurrentTranslatorState(), eTranslatorUntried);
    std::vector<unsigned> rgn;  // the library's message numbers, in order
    for (const auto& record : records)
      if (record.sModule == "RK_Library_Krel") {
        EXPECT_TRUE(record.rgItems.empty()) << record.nMessage;
        rgn.push_back(record.nMessage);
      }
    EXPECT_EQ(std::count(rgn.begin(), rgn.end(), 32u) + std::count(rgn.begin(), rgn.end(), 33u), 1)
        << ::testing::PrintToString(rgn);
    vlttest::ExpectNoPasswordIn({kwszOld, kwszNew}, records);
  );
}

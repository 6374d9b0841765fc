#include <string>

#include "protocol_test_env.h"
#include "trace_capture.h"

namespace {

// Back ends that record their calls and answer as set.
struct Recorder {
  static inline int nNtCalls = 0;
  static inline int nAdsCalls = 0;
  static inline int nNdsCalls = 0;
  static inline NET_API_STATUS ntStatus = 0;
  static inline AdminError adsResult = nullptr;
  static inline AdminError ndsResult = nullptr;

  static NET_API_STATUS Nt(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR) {
    ++nNtCalls;
    return ntStatus;
  }
  static AdminError Ads(LPCWSTR, LPCWSTR, LPCWSTR) {
    ++nAdsCalls;
    return adsResult;
  }
  static AdminError Nds(const char*, const char*, const char*, const char*) {
    ++nNdsCalls;
    return ndsResult;
  }
};

class DispatchTest : public ProtocolTest {
 protected:
  void SetUp() override {
    ProtocolTest::SetUp();
    g_passwordBackEnds = {Recorder::Nt, Recorder::Ads, Recorder::Nds};
    Recorder::nNtCalls = Recorder::nAdsCalls = Recorder::nNdsCalls = 0;
    Recorder::ntStatus = 0;
  }
};

void ExpectRefused(const Exchange& e) {
  EXPECT_EQ(e.nDispatch, DISPATCH_REFUSED);
  EXPECT_FALSE(e.status.size());
  EXPECT_TRUE(e.body.empty());
}

void ExpectAnswer(const Exchange& e, const char* pszErrorId) {
  std::string body = ChangePasswordResponse(pszErrorId);
  EXPECT_EQ(e.nDispatch, DISPATCH_ROUTED);
  EXPECT_EQ(e.status, "200 OK");
  EXPECT_EQ(e.header, LengthHeader(body.size()));
  EXPECT_TRUE(e.fKeepConn);
  EXPECT_EQ(e.body, body);
}

const char s_szNtChange[] =
    "<UserName>jsmith</UserName><Domain type=\"NT\">SALES</Domain>"
    "<OldPassword>old</OldPassword><NewPassword>new</NewPassword>";

}  // namespace

TEST_F(DispatchTest, DocumentsTheDispatcherRefuses) {
  ExpectRefused(Dispatch("<AdminProtocol><RequestChangePassword/></AdminProtocol>"));  // no declaration
  ExpectRefused(Dispatch("<?xml version=\"1.0\"?><adminprotocol><RequestChangePassword/></adminprotocol>"));
  ExpectRefused(Dispatch("<?xml version=\"1.0\"?><AdminProtocol><RequestGroup/></AdminProtocol>"));
  ExpectRefused(
      Dispatch("<?xml version=\"1.0\"?><AdminProtocol><RequestChangePasswordX/></AdminProtocol>"));
  ExpectRefused(Dispatch("<?xml version=\"1.0\"?><AdminProtocol a=\"1></AdminProtocol>"));
  ExpectRefused(Dispatch("<?xml version=\"1.1\"?><AdminProtocol/>"));
  // A root with no child element ends the document: refused, not a loop.
  ExpectRefused(Dispatch("<?xml version=\"1.0\"?><AdminProtocol/>"));
  ExpectRefused(Dispatch("<?xml version=\"1.0\"?><AdminProtocol></AdminProtocol>"));
  ExpectRefused(Dispatch("<?xml version=\"1.0\"?><AdminProtocol version=\"1.0\"> text </AdminProtocol>"));
  EXPECT_EQ(Recorder::nNtCalls + Recorder::nAdsCalls + Recorder::nNdsCalls, 0);
}

TEST_F(DispatchTest, AnyVersionIsServedAsVersionOne) {
  for (const char* pszRoot : {"<AdminProtocol version=\"2.0\">", "<AdminProtocol>",
                              "<AdminProtocol version=\"garbage\">"}) {
    std::string doc = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>") + pszRoot +
                      "<RequestChangePassword>" + s_szNtChange +
                      "</RequestChangePassword></AdminProtocol>";
    ExpectAnswer(Dispatch(doc), nullptr);
  }
  EXPECT_EQ(Recorder::nNtCalls, 3);
}

TEST_F(DispatchTest, NtStatusesMapToErrorIds) {
  const struct {
    NET_API_STATUS status;
    const char* pszErrorId;
  } cases[] = {{0, nullptr},
               {86, "old-password-invalid"},
               {2244, "new-password-invalid"},
               {2245, "new-password-invalid"},
               {2246, "new-password-invalid"},
               {87, "operation-failed"},
               {1355, "operation-failed"}};
  for (const auto& c : cases) {
    Recorder::ntStatus = c.status;
    ExpectAnswer(Dispatch(ChangeRequest(s_szNtChange)), c.pszErrorId);
  }
}

TEST_F(DispatchTest, MalformedRequestsAnswerBadRequest) {
  std::string badRequest =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<!DOCTYPE AdminProtocol SYSTEM \"Admin.dtd\">\n"
      "<AdminProtocol version=\"1\">\n    <ResponseChangePassword>\n"
      "      <ErrorId>bad-request</ErrorId>\n    </ResponseChangePassword>\n</AdminProtocol>\n";
  for (const std::string& doc :
       {std::string("<?xml version=\"1.0\"?><AdminProtocol><RequestChangePassword><UserName>a"),
        std::string("<?xml version=\"1.0\"?><AdminProtocol><RequestChangePassword><UserName>a</UserNameX>"
                    "</RequestChangePassword></AdminProtocol>"),
        ChangeRequest(s_szNtChange) + "<AdminProtocol/>"}) {
    Exchange e = Dispatch(doc);
    EXPECT_EQ(e.nDispatch, DISPATCH_ROUTED);
    EXPECT_EQ(e.body, badRequest) << doc;
  }
  EXPECT_EQ(Recorder::nNtCalls, 0);
  // Trailing white space and comments after the root are fine.
  ExpectAnswer(Dispatch(ChangeRequest(s_szNtChange) + " <!-- done -->\n"), nullptr);
}

TEST_F(DispatchTest, ResponsesAreInTheRequestsEncoding) {
  std::u16string request =
      u"<?xml version=\"1.0\"?><AdminProtocol><RequestChangePassword><UserName>u</UserName>"
      u"</RequestChangePassword></AdminProtocol>";
  std::u16string response =
      u"<?xml version=\"1.0\"?>\n<!DOCTYPE AdminProtocol SYSTEM \"Admin.dtd\">\n"
      u"<AdminProtocol version=\"1\">\n    <ResponseChangePassword>\n"
      u"      <ErrorId>operation-failed</ErrorId>\n    </ResponseChangePassword>\n</AdminProtocol>\n";
  auto encode = [](const std::u16string& text, bool fBigEndian) {
    std::string bytes;
    for (char16_t ch : text) {
      char lo = static_cast<char>(ch & 0xff), hi = static_cast<char>(ch >> 8);
      bytes += fBigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return bytes;
  };
  for (bool fBigEndian : {false, true}) {
    for (bool fMark : {true, false}) {
      std::string mark = !fMark ? "" : fBigEndian ? "\xfe\xff" : "\xff\xfe";
      Exchange e = Dispatch(mark + encode(request, fBigEndian));
      EXPECT_EQ(e.body, encode(response, fBigEndian)) << fBigEndian << fMark;
      EXPECT_EQ(e.header, LengthHeader(e.body.size()));
    }
  }
  // A code page declared in apostrophes is answered in it, under its name.
  Exchange latin = Dispatch(
      "<?xml version='1.0' encoding='ISO-8859-1'?><AdminProtocol><RequestChangePassword>"
      "<UserName>\xe9</UserName></RequestChangePassword></AdminProtocol>");
  EXPECT_EQ(latin.body, ChangePasswordResponse("operation-failed", "ISO-8859-1"));
}

TEST_F(DispatchTest, NoPasswordReachesATraceRecord) {
  g_passwordBackEnds = m_savedBackEnds;
  auto records = vlttest::CaptureTraceRecords([] {
    Dispatch(ChangeRequest("<UserName>u@d</UserName><OldPassword>Old-S3cret-pw</OldPassword>"
                           "<NewPassword>New-S3cret-pw</NewPassword>"));
    Dispatch(ChangeRequest("<UserName>u</UserName><Domain type=\"NT\">D</Domain>"
                           "<OldPassword>Old-S3cret-pw</OldPassword><NewPassword>New-S3cret-pw</NewPassword>"));
  });
  EXPECT_FALSE(vlttest::TraceRecordsContain(records, u"S3cret"));
}

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "admin/host/request_intake.h"
#include "admin/host/settings.h"
#include "fake_isapi_host.h"

using vlttest::FakeConnection;
using vlttest::FakeRequestOptions;

namespace {

struct IntakeResult {
  DWORD result;
  DWORD cbHeld;
  std::string buffer;
};

IntakeResult RunIntake(FakeConnection& conn) {
  std::vector<BYTE> buffer(MaxRequestSize);
  DWORD cbHeld = 0;
  DWORD result = ReceiveRequestBody(conn.Ecb(), buffer.data(), &cbHeld);
  return {result, cbHeld, std::string(buffer.begin(), buffer.begin() + cbHeld)};
}

class IntakeTest : public ::testing::Test {
 protected:
  void SetUp() override { MaxRequestSize = DEFAULT_MAX_REQUEST_SIZE; }
  void TearDown() override { MaxRequestSize = DEFAULT_MAX_REQUEST_SIZE; }

  // Runs the intake and returns the refusal's status ("" when accepted).
  std::string Refusal(FakeRequestOptions options) {
    FakeConnection conn(options);
    IntakeResult r = RunIntake(conn);
    if (r.result == INTAKE_BODY_READY) {
      EXPECT_FALSE(conn.Done());
      return "";
    }
    EXPECT_EQ(r.result, static_cast<DWORD>(INTAKE_REQUEST_OVER));
    EXPECT_EQ(conn.DoneCount(), 1);
    EXPECT_FALSE(conn.KeepConn());
    EXPECT_TRUE(conn.Header().empty());
    return conn.Status();
  }
};

FakeRequestOptions Request(const std::string& method, const std::string& type, size_t cbBody) {
  FakeRequestOptions options;
  options.method = method;
  options.contentType = type;
  options.body.assign(cbBody, 'x');
  return options;
}

}  // namespace

// Refusals through HTTP are checked by the integration tests; these are the
// boundaries of each rule.
TEST_F(IntakeTest, MethodAndContentTypeCompareAsWholeWordsIgnoringCase) {
  EXPECT_EQ(Refusal(Request("POST", "text/xml", 10)), "");
  EXPECT_EQ(Refusal(Request("post", "TEXT/XML", 10)), "");
  EXPECT_EQ(Refusal(Request("POSTX", "text/xml", 10)), "405 method not supported");
  EXPECT_EQ(Refusal(Request("POST", "", 10)), "406 no response acceptable");
  EXPECT_EQ(Refusal(Request("POST", "text/xm", 10)), "406 no response acceptable");
}

TEST_F(IntakeTest, DeclaredLengthMustBeOneToMaxRequestSize) {
  EXPECT_EQ(Refusal(Request("POST", "text/xml", 0)), "411 length required");
  EXPECT_EQ(Refusal(Request("POST", "text/xml", 16720)), "");
  EXPECT_EQ(Refusal(Request("POST", "text/xml", 16721)), "413 request too large");

  // More already received than the buffer holds.
  FakeRequestOptions over = Request("POST", "text/xml", 16721);
  over.cbTotal = 100;
  EXPECT_EQ(Refusal(over), "413 request too large");
}

TEST_F(IntakeTest, BodyIsAssembledFromReadAheadAndReadClient) {
  MaxRequestSize = 65536;
  FakeRequestOptions options = Request("POST", "text/xml", 40000);
  for (size_t i = 0; i < options.body.size(); ++i) options.body[i] = static_cast<char>('a' + i % 26);
  options.cbAvailable = 8192;
  options.cbReadLimit = 7000;
  FakeConnection conn(options);
  IntakeResult r = RunIntake(conn);
  ASSERT_EQ(r.result, static_cast<DWORD>(INTAKE_BODY_READY));
  EXPECT_EQ(r.cbHeld, 40000u);
  EXPECT_EQ(r.buffer, options.body);
  EXPECT_EQ(conn.ReadCalls(), 5);  // 31808 bytes in reads of at most 7000
  EXPECT_FALSE(conn.Done());
}

TEST_F(IntakeTest, ClientGoneBeforeTheDeclaredLengthEndsTheSession) {
  for (bool fCloseWithZero : {true, false}) {
    FakeRequestOptions options = Request("POST", "text/xml", 1000);
    options.cbAvailable = 100;
    options.cbFailAfter = 600;
    options.fCloseWithZero = fCloseWithZero;
    FakeConnection conn(options);
    IntakeResult r = RunIntake(conn);
    EXPECT_EQ(r.result, static_cast<DWORD>(INTAKE_REQUEST_OVER));
    EXPECT_EQ(conn.DoneCount(), 1) << fCloseWithZero;
    EXPECT_FALSE(conn.HeaderSent()) << fCloseWithZero;
    // Everything the buffer may hold is reported, so it can be wiped.
    EXPECT_EQ(r.cbHeld, MaxRequestSize);
  }
}

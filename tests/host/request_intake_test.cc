#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "admin/host/request_intake.h"
#include "admin/host/settings.h"
#include "fake_isapi_host.h"

using vlttest::FakeConnection;
using vlttest::FakeRequestOptions;

namespace {

class IntakeTest : public ::testing::Test {
 protected:
  void SetUp() override { MaxRequestSize = DEFAULT_MAX_REQUEST_SIZE; }
  void TearDown() override { MaxRequestSize = DEFAULT_MAX_REQUEST_SIZE; }
  // Runs the intake into a buffer of MaxRequestSize bytes; its result, the
  // bytes it reports held and what they are.
  static DWORD Run(FakeConnection& conn, DWORD* pcbHeld, std::string* pBody = nullptr) {
    std::vector<BYTE> buffer(MaxRequestSize);
    *pcbHeld = 0;
    DWORD result = ReceiveRequestBody(conn.Ecb(), buffer.data(), pcbHeld);
    if (pBody) pBody->assign(buffer.begin(), buffer.begin() + *pcbHeld);
    return result;
  }
};

FakeRequestOptions Request(const std::string& method, const std::string& type, size_t cbBody, long long cbTotal = -1) {
  return {.method = method, .contentType = type, .body = std::string(cbBody, 'x'), .cbTotal = cbTotal};
}

}  // namespace

// Refusals through HTTP are checked end to end; these are the boundaries of
// each rule. Method and content type compare as whole words ignoring case;
// the declared length must be 1 to MaxRequestSize, and what was already
// received must fit.
TEST_F(IntakeTest, RefusalsEndTheSessionWithABareStatus) {
  const struct {
    FakeRequestOptions request;
    const char* pszStatus;  // "" when accepted
  } cases[] = {
      {Request("POST", "text/xml", 10), ""},
      {Request("post", "TEXT/XML", 10), ""},
      {Request("POSTX", "text/xml", 10), "405 method not supported"},
      {Request("POST", "", 10), "406 no response acceptable"},
      {Request("POST", "text/xm", 10), "406 no response acceptable"},
      {Request("POST", "text/xml", 0), "411 length required"},
      {Request("POST", "text/xml", 16720), ""},
      {Request("POST", "text/xml", 16721), "413 request too large"},
      {Request("POST", "text/xml", 16721, 100), "413 request too large"},
  };
  for (const auto& c : cases) {
    FakeConnection conn(c.request);
    DWORD cbHeld;
    DWORD result = Run(conn, &cbHeld);
    SCOPED_TRACE(c.request.method + " " + c.request.contentType + " " + std::to_string(c.request.body.size()));
    EXPECT_EQ(result, *c.pszStatus ? DWORD{INTAKE_REQUEST_OVER} : DWORD{INTAKE_BODY_READY});
    EXPECT_EQ(conn.Status(), c.pszStatus);
    EXPECT_EQ(conn.DoneCount(), *c.pszStatus ? 1 : 0);
    EXPECT_FALSE(conn.KeepConn());
    EXPECT_TRUE(conn.Header().empty());
  }
}

TEST_F(IntakeTest, BodyIsAssembledFromReadAheadAndReadClient) {
  MaxRequestSize = 65536;
  FakeRequestOptions options = Request("POST", "text/xml", 40000);
  for (size_t i = 0; i < options.body.size(); ++i) options.body[i] = static_cast<char>('a' + i % 26);
  options.cbAvailable = 8192;
  options.cbReadLimit = 7000;
  FakeConnection conn(options);
  DWORD cbHeld;
  std::string body;
  ASSERT_EQ(Run(conn, &cbHeld, &body), DWORD{INTAKE_BODY_READY});
  EXPECT_EQ(body, options.body);
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
    DWORD cbHeld;
    EXPECT_EQ(Run(conn, &cbHeld), DWORD{INTAKE_REQUEST_OVER});
    EXPECT_EQ(conn.DoneCount(), 1) << fCloseWithZero;
    EXPECT_FALSE(conn.HeaderSent()) << fCloseWithZero;
    // Everything the buffer may hold is reported, so it can be wiped.
    EXPECT_EQ(cbHeld, MaxRequestSize);
  }
}

// The real extension behind vltadmin-host: refusals, answers byte for byte
// on a kept connection, and answers in the request's encoding.
#include <string>

#include "host_test.h"

namespace {

std::string NdsChange(const std::string& oldPassword, const std::string& newPassword) {
  return ChangeRequest(".jsmith.sales", oldPassword, newPassword, "NDS", "TREE");
}

}  // namespace

// The boundaries of each refusal are the intake's tests; these are the
// ways an HTTP request meets them.
TEST_F(HostWithExtension, EveryRefusalIsABareStatusLineAndAClose) {
  StartHost();
  const struct {
    std::string request;
    const char* pszStatusLine;
  } cases[] = {
      {CHttpClient::Request("GET", kUrl, "text/xml", "<x/>"), "HTTP/1.1 405 method not supported"},
      {CHttpClient::Request("POST", kUrl, "text/xml; charset=utf-8", "<x/>"), "HTTP/1.1 406 no response acceptable"},
      // A chunked body has no declared length.
      {std::string("POST ") + kUrl + " HTTP/1.1\r\nHost: x\r\nContent-Type: text/xml\r\n"
                                     "Transfer-Encoding: chunked\r\n\r\n5\r\n<x/>\n\r\n0\r\n\r\n",
       "HTTP/1.1 413 request too large"},
      {Post(kUrl, "<AdminProtocol/>"), "HTTP/1.1 405 method not supported"},
      {Post(kUrl, "<?xml version=\"1.0\"?><AdminProtocol><RequestGroup/></AdminProtocol>"),
       "HTTP/1.1 405 method not supported"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(UntilClose(c.request), std::string(c.pszStatusLine) + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
}

// The whole response, byte for byte, for each outcome; protocol answers
// keep the connection.
TEST_F(HostWithExtension, ByteExactAnswersOnOneConnection) {
  StartHost();
  const struct {
    std::string body;
    const char* pszErrorId;
  } cases[] = {
      {NdsChange("right", "Good-new-1"), nullptr},
      {NdsChange("bad-old", "Good-new-1"), "old-password-invalid"},
      {NdsChange("right", "too-short"), "new-password-invalid"},
      {NdsChange("right", "unlisted"), "operation-failed"},
      {ChangeRequest("nobody", "a", "b", "NT", "NOWHERE"), "operation-failed"},
      // Trailing white space and comments after the root are fine.
      {NdsChange("right", "Good-new-1") + " <!-- done -->\n", nullptr},
      {NdsChange("right", "x") + "<AdminProtocol/>", "bad-request"},
      {NdsChange("right", "x").substr(0, 120), "bad-request"},
      {"<?xml version=\"1.0\"?><AdminProtocol><RequestChangePassword><UserName>a</UserNameX>"
       "</RequestChangePassword></AdminProtocol>",
       "bad-request"},
  };
  CHttpClient client;
  Connect(client);
  for (const auto& c : cases) {
    ASSERT_TRUE(client.Send(Post(kUrl, c.body)));
    CHttpResponse response;
    ASSERT_TRUE(client.ReadResponse(response)) << c.body;
    std::string body = ChangePasswordResponse(c.pszErrorId);
    EXPECT_EQ(response.m_raw, "HTTP/1.1 200 OK\r\nContent-type: text/xml\r\nContent-length: " +
                                  std::to_string(body.size()) + "\r\n\r\n" + body)
        << c.body;
  }
}

TEST_F(HostWithExtension, AnswersInTheRequestsEncoding) {
  StartHost();
  // A code page declared in apostrophes is answered in it, under its name.
  std::string latin1 =
      "<?xml version='1.0' encoding='ISO-8859-1'?><AdminProtocol><RequestChangePassword>"
      "<UserName>.j\xe9r\xf4me</UserName><Domain type=\"NDS\">TREE</Domain>"
      "<OldPassword>\xe9t\xe9</OldPassword><NewPassword>hiver</NewPassword>"
      "</RequestChangePassword></AdminProtocol>";
  EXPECT_EQ(RoundTrip(Post(kUrl, latin1)).m_body, ChangePasswordResponse(nullptr, "ISO-8859-1"));

  // UTF-16 in either byte order, with a byte-order mark or without one.
  std::string answer = ChangePasswordResponse("operation-failed");
  answer.replace(answer.find(" encoding=\"UTF-8\" "), 18, "");
  for (const char* pszEncoding : {"UTF-16LE", "UTF-16BE"}) {
    for (bool fMark : {true, false}) {
      std::string text = std::string(fMark ? "<?xml version=\"1.0\" encoding=\"UTF-16\"?>" : "<?xml version=\"1.0\"?>") +
                         "<AdminProtocol><RequestChangePassword><UserName>nobody</UserName>"
                         "</RequestChangePassword></AdminProtocol>";
      CHttpResponse response = RoundTrip(Post(kUrl, Encode(text, pszEncoding, fMark)));
      EXPECT_EQ(response.m_body, Encode(answer, pszEncoding, false)) << pszEncoding << fMark;
      EXPECT_EQ(response.Header("Content-length"), std::to_string(response.m_body.size()));
    }
  }
}

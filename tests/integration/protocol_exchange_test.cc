#include <string>

#include "host_with_extension.h"

namespace {

std::string Response(const char* pszErrorId, const std::string& encoding = "UTF-8") {
  std::string doc = "<?xml version=\"1.0\" encoding=\"" + encoding +
                    "\" ?>\n<!DOCTYPE AdminProtocol SYSTEM \"Admin.dtd\">\n"
                    "<AdminProtocol version=\"1\">\n    <ResponseChangePassword>\n";
  if (pszErrorId != nullptr) doc += std::string("      <ErrorId>") + pszErrorId + "</ErrorId>\n";
  return doc + "    </ResponseChangePassword>\n</AdminProtocol>\n";
}

std::string NdsChange(const std::string& oldPassword, const std::string& newPassword) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<AdminProtocol version=\"1.0\">\n"
         "  <RequestChangePassword>\n    <UserName>.jsmith.sales</UserName>\n"
         "    <Domain type=\"NDS\">TREE</Domain>\n    <OldPassword>" +
         oldPassword + "</OldPassword>\n    <NewPassword>" + newPassword +
         "</NewPassword>\n  </RequestChangePassword>\n</AdminProtocol>\n";
}

}  // namespace

// The whole response, byte for byte: status line, header and body.
TEST_F(HostWithExtension, ByteExactAnswersForEachOutcome) {
  StartHost();
  const struct {
    std::string body;
    const char* pszErrorId;
  } cases[] = {
      {NdsChange("right", "Good-new-1"), nullptr},
      {NdsChange("bad-old", "Good-new-1"), "old-password-invalid"},
      {NdsChange("right", "too-short"), "new-password-invalid"},
      {NdsChange("right", "unlisted"), "operation-failed"},
      {NdsChange("right", "x") + "<AdminProtocol/>", "bad-request"},
      {NdsChange("right", "x").substr(0, 120), "bad-request"},
  };
  for (const auto& c : cases) {
    CHttpResponse response = Exchange(Post(c.body));
    std::string body = Response(c.pszErrorId);
    EXPECT_EQ(response.m_raw, "HTTP/1.1 200 OK\r\nContent-type: text/xml\r\nContent-length: " +
                                  std::to_string(body.size()) + "\r\n\r\n" + body)
        << (c.pszErrorId ? c.pszErrorId : "success");
  }
}

TEST_F(HostWithExtension, AnswersInTheRequestsEncoding) {
  StartHost();
  std::string latin1 =
      "<?xml version='1.0' encoding='ISO-8859-1'?><AdminProtocol><RequestChangePassword>"
      "<UserName>.j\xe9r\xf4me</UserName><Domain type=\"NDS\">TREE</Domain>"
      "<OldPassword>\xe9t\xe9</OldPassword><NewPassword>hiver</NewPassword>"
      "</RequestChangePassword></AdminProtocol>";
  EXPECT_EQ(Exchange(Post(latin1)).m_body, Response(nullptr, "ISO-8859-1"));

  std::u16string text =
      u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><AdminProtocol><RequestChangePassword>"
      u"<UserName>nobody</UserName></RequestChangePassword></AdminProtocol>";
  std::u16string answer =
      u"<?xml version=\"1.0\"?>\n<!DOCTYPE AdminProtocol SYSTEM \"Admin.dtd\">\n"
      u"<AdminProtocol version=\"1\">\n    <ResponseChangePassword>\n"
      u"      <ErrorId>operation-failed</ErrorId>\n    </ResponseChangePassword>\n</AdminProtocol>\n";
  auto le = [](const std::u16string& s) {
    std::string b;
    for (char16_t c : s) b += {static_cast<char>(c & 0xff), static_cast<char>(c >> 8)};
    return b;
  };
  CHttpResponse response = Exchange(Post("\xff\xfe" + le(text)));
  EXPECT_EQ(response.m_body, le(answer));
  EXPECT_EQ(response.Header("Content-length"), std::to_string(le(answer).size()));
}

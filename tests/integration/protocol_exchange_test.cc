#include <string>

#include "host_with_extension.h"

namespace {

std::string NdsChange(const std::string& oldPassword, const std::string& newPassword) {
  return ChangeRequest(".jsmith.sales", oldPassword, newPassword, "NDS", "TREE");
}

// UTF-16 text as bytes, little or big endian.
std::string Utf16(const std::u16string& text, bool fBigEndian = false) {
  std::string bytes;
  for (char16_t ch : text) {
    char lo = static_cast<char>(ch & 0xff), hi = static_cast<char>(ch >> 8);
    bytes += fBigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return bytes;
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
      // Trailing white space and comments after the root are fine.
      {NdsChange("right", "Good-new-1") + " <!-- done -->\n", nullptr},
      {NdsChange("right", "x") + "<AdminProtocol/>", "bad-request"},
      {NdsChange("right", "x").substr(0, 120), "bad-request"},
      {"<?xml version=\"1.0\"?><AdminProtocol><RequestChangePassword><UserName>a</UserNameX>"
       "</RequestChangePassword></AdminProtocol>",
       "bad-request"},
  };
  for (const auto& c : cases) {
    CHttpResponse response = Exchange(Post(c.body));
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
  EXPECT_EQ(Exchange(Post(latin1)).m_body, ChangePasswordResponse(nullptr, "ISO-8859-1"));

  // UTF-16 in either byte order, with a byte-order mark or without one.
  std::u16string answer =
      u"<?xml version=\"1.0\"?>\n<!DOCTYPE AdminProtocol SYSTEM \"Admin.dtd\">\n"
      u"<AdminProtocol version=\"1\">\n    <ResponseChangePassword>\n"
      u"      <ErrorId>operation-failed</ErrorId>\n    </ResponseChangePassword>\n</AdminProtocol>\n";
  for (bool fBigEndian : {false, true}) {
    for (bool fMark : {true, false}) {
      std::u16string text = std::u16string(fMark ? u"\ufeff<?xml version=\"1.0\" encoding=\"UTF-16\"?>"
                                                 : u"<?xml version=\"1.0\"?>") +
                            u"<AdminProtocol><RequestChangePassword><UserName>nobody</UserName>"
                            u"</RequestChangePassword></AdminProtocol>";
      CHttpResponse response = Exchange(Post(Utf16(text, fBigEndian)));
      EXPECT_EQ(response.m_body, Utf16(answer, fBigEndian)) << fBigEndian << fMark;
      EXPECT_EQ(response.Header("Content-length"), std::to_string(response.m_body.size()));
    }
  }
}

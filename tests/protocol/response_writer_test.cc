#include <string>

#include "protocol_test_env.h"

namespace {

// A handler whose CIcuTrans has read the declaration of a document in the
// given encoding, writing to a fake connection.
class WriterTest : public ProtocolTest {
 protected:
  void Prepare(const std::string& declaration) {
    m_doc = declaration + "<r/>";
    m_conn = std::make_unique<vlttest::FakeConnection>(vlttest::FakeRequestOptions{});
    m_output.m_pECB = m_conn->Ecb();
    m_handler = std::make_unique<TestRequest>(&m_output);
    int nError = 0;
    ASSERT_TRUE(m_handler->Trans().ParseXMLSignature(
        reinterpret_cast<unsigned char*>(m_doc.data()), static_cast<int>(m_doc.size()), &nError));
    Writer().m_nMajorVersion = 1;
  }
  XmlResponseWriter& Writer() { return m_handler->Writer(); }

  std::string m_doc;
  std::unique_ptr<vlttest::FakeConnection> m_conn;
  ConnectionOutput m_output;
  std::unique_ptr<TestRequest> m_handler;
};

std::u16string Repeat(char16_t ch, size_t n) { return std::u16string(n, ch); }

std::string Utf16Le(const std::u16string& text) {
  std::string bytes;
  for (char16_t ch : text) bytes += {static_cast<char>(ch & 0xff), static_cast<char>(ch >> 8)};
  return bytes;
}

}  // namespace

TEST_F(WriterTest, ShortResponseIsOneBlockWithContentLength) {
  Prepare("<?xml version=\"1.0\" encoding=\"utf-8\"?>");
  ASSERT_TRUE(Writer().BeginDocument());
  ASSERT_TRUE(Writer().WriteTagStart(u"Resp", true, true));
  ASSERT_TRUE(Writer().WriteAttribute(u"a", u"x y"));
  ASSERT_TRUE(Writer().WriteTagEnd(true, true));
  ASSERT_TRUE(Writer().EndDocument());
  const std::string body =
      "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<!DOCTYPE AdminProtocol SYSTEM \"Admin.dtd\">\n"
      "<AdminProtocol version=\"1\">\n  <Resp a=\"x&#32;y\"/>\n</AdminProtocol>\n";
  EXPECT_EQ(m_conn->Status(), "200 OK");
  EXPECT_EQ(m_conn->Header(), LengthHeader(body.size()));
  EXPECT_TRUE(m_conn->KeepConn());
  EXPECT_EQ(m_conn->Written(), body);
  EXPECT_EQ(m_conn->WriteFlags(), std::vector<DWORD>{HSE_IO_NODELAY});
}

TEST_F(WriterTest, LongSingleByteResponseIsChunkedInBlocksOf2000) {
  Prepare("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>");
  std::u16string text = Repeat(u'a', 2000) + Repeat(u'b', 2000) + Repeat(u'c', 500);
  ASSERT_TRUE(Writer().AppendText(text.data(), static_cast<int>(text.size())));
  ASSERT_TRUE(Writer().Flush(true));
  EXPECT_EQ(m_conn->Header(), "Content-type: text/xml\r\nTransfer-Encoding: chunked\r\n\r\n7d0\r\n");
  EXPECT_EQ(m_conn->Written(), std::string(2000, 'a') + "\r\n7d0\r\n" + std::string(2000, 'b') +
                                   "\r\n1f4\r\n" + std::string(500, 'c') + "\r\n0\r\n\r\n");
  // Each block goes out in one write with its framing; the last one at once.
  EXPECT_EQ(m_conn->WriteFlags(), (std::vector<DWORD>{0, 0, HSE_IO_NODELAY}));
}

TEST_F(WriterTest, EscapingOfSpecialCharacters) {
  Prepare("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
  ASSERT_TRUE(Writer().WriteEscapedText(u"a\tb c\nd<e'f\"g&h>i\u00e9\u20ac!"));
  EXPECT_FALSE(Writer().WriteEscapedText(u""));
  ASSERT_TRUE(Writer().Flush(true));
  EXPECT_EQ(m_conn->Written(),
            "a&#9;b&#32;c&#10;d&lt;e&apos;f&quot;g&amp;h&gt;i\xc3\xa9\xe2\x82\xac!");
}

TEST_F(WriterTest, EmptyAttributeValueWritesNothing) {
  Prepare("<?xml version=\"1.0\"?>");
  EXPECT_FALSE(Writer().WriteAttribute(u"name", u""));
  EXPECT_FALSE(Writer().WriteAttribute(u"", u"v"));
  EXPECT_EQ(Writer().m_cwText, 0);
}

TEST_F(WriterTest, ErrorResponseClosesTheWriter) {
  Prepare("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
  EXPECT_FALSE(Writer().WriteErrorResponse(u"X", u"", nullptr));
  EXPECT_FALSE(m_conn->HeaderSent());
  ASSERT_TRUE(Writer().WriteErrorResponse(nullptr, u"bad-request", u"a <comment>"));
  const std::string body =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<!DOCTYPE AdminProtocol SYSTEM \"Admin.dtd\">\n"
      "<AdminProtocol version=\"1\">\n    <ResponseError>\n      <ErrorId>bad-request</ErrorId>\n"
      "<!-- a <comment> -->\n    </ResponseError>\n</AdminProtocol>\n";
  EXPECT_EQ(m_conn->Written(), body);
  EXPECT_EQ(m_conn->Header(), LengthHeader(body.size()));
  EXPECT_FALSE(Writer().AppendChar(u'x'));
  EXPECT_FALSE(Writer().BeginDocument());
  EXPECT_FALSE(Writer().WriteErrorResponse(u"Y", u"again", nullptr));
  EXPECT_EQ(m_conn->Written(), body);
}

TEST_F(WriterTest, UTF16ResponseNamesNoEncodingAndUsesTwoBytesACharacter) {
  Prepare("\xff\xfe" + Utf16Le(u"<?xml version=\"1.0\"?>"));
  ASSERT_TRUE(Writer().BeginDocument());
  ASSERT_TRUE(Writer().EndDocument());
  std::u16string expected =
      u"<?xml version=\"1.0\"?>\n<!DOCTYPE AdminProtocol SYSTEM \"Admin.dtd\">\n"
      u"<AdminProtocol version=\"1\">\n</AdminProtocol>\n";
  EXPECT_EQ(m_conn->Written(), Utf16Le(expected));
}

// Characters of three bytes fill more than one output block: the rest is
// carried to the next block instead of being dropped, and a surrogate pair
// is never split between blocks.
TEST_F(WriterTest, MultiByteTextLargerThanABlockReachesTheClientWhole) {
  Prepare("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
  std::u16string text = Repeat(u'\u20ac', 1999) + u"\U0001F600" + Repeat(u'\u20ac', 1500);
  ASSERT_TRUE(Writer().AppendText(text.data(), static_cast<int>(text.size())));
  ASSERT_TRUE(Writer().Flush(true));
  std::string expected;
  for (int i = 0; i < 1999; ++i) expected += "\xe2\x82\xac";
  expected += "\xf0\x9f\x98\x80";
  for (int i = 0; i < 1500; ++i) expected += "\xe2\x82\xac";
  // Undo the chunk framing.
  std::string body = m_conn->Written();
  std::string header = m_conn->Header();
  ASSERT_NE(header.find("chunked"), std::string::npos);
  std::string firstSize = header.substr(header.rfind("\r\n\r\n") + 4);
  std::string chunked = firstSize + body;
  std::string decoded;
  size_t at = 0;
  for (;;) {
    size_t eol = chunked.find("\r\n", at);
    ASSERT_NE(eol, std::string::npos);
    size_t cb = std::stoul(chunked.substr(at, eol - at), nullptr, 16);
    ASSERT_LE(cb, 4000u);
    if (cb == 0) break;
    decoded += chunked.substr(eol + 2, cb);
    at = eol + 2 + cb + 2;
  }
  EXPECT_EQ(decoded, expected);
}

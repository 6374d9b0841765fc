#include <string>

#include "protocol_test_env.h"

namespace {

// A handler whose CIcuTrans has read the declaration of a document in the
// given encoding, writing to a fake connection.
class WriterTest : public ProtocolTest {
 protected:
  void Declare(const std::string& declaration) { Prepare(declaration + "<r/>"); }
};

std::u16string Repeat(char16_t ch, size_t n) { return std::u16string(n, ch); }

// The body of a chunked response: the first chunk's size ends the header.
std::string Dechunked(const std::string& header, const std::string& written) {
  std::string chunked = header.substr(header.rfind("\r\n\r\n") + 4) + written, body;
  for (size_t at = 0, cb; (cb = std::stoul(chunked.substr(at), nullptr, 16)) != 0; at += cb + 2) {
    EXPECT_LE(cb, 4000u);
    at = chunked.find("\r\n", at) + 2;
    body += chunked.substr(at, cb);
  }
  return body;
}

}  // namespace

TEST_F(WriterTest, ShortResponseIsOneBlockWithContentLength) {
  Declare("<?xml version=\"1.0\" encoding=\"utf-8\"?>");
  ASSERT_TRUE(Writer().BeginDocument());
  ASSERT_TRUE(Writer().WriteTagStart(u"Resp", true, true));
  ASSERT_TRUE(Writer().WriteAttribute(u"a", u"x y"));
  // An empty name or value writes nothing.
  EXPECT_FALSE(Writer().WriteAttribute(u"name", u""));
  EXPECT_FALSE(Writer().WriteAttribute(u"", u"v"));
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
  Declare("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>");
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
  Declare("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
  ASSERT_TRUE(Writer().WriteEscapedText(u"a\tb c\nd<e'f\"g&h>i\u00e9\u20ac!"));
  EXPECT_FALSE(Writer().WriteEscapedText(u""));
  ASSERT_TRUE(Writer().Flush(true));
  EXPECT_EQ(m_conn->Written(), "a&#9;b&#32;c&#10;d&lt;e&apos;f&quot;g&amp;h&gt;i\xc3\xa9\xe2\x82\xac!");
}

TEST_F(WriterTest, ErrorResponseClosesTheWriter) {
  Declare("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
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

// Characters of three bytes fill more than one output block: the rest is
// carried to the next block instead of being dropped, and a surrogate pair
// is never split between blocks.
TEST_F(WriterTest, MultiByteTextLargerThanABlockReachesTheClientWhole) {
  Declare("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
  std::u16string text = Repeat(u'\u20ac', 1999) + u"\U0001F600" + Repeat(u'\u20ac', 1500);
  ASSERT_TRUE(Writer().AppendText(text.data(), static_cast<int>(text.size())));
  ASSERT_TRUE(Writer().Flush(true));
  std::string euros1999, euros1500;
  for (int i = 0; i < 1999; ++i) euros1999 += "\xe2\x82\xac";
  euros1500 = euros1999.substr(0, 1500 * 3);
  ASSERT_NE(m_conn->Header().find("chunked"), std::string::npos);
  EXPECT_EQ(Dechunked(m_conn->Header(), m_conn->Written()), euros1999 + "\xf0\x9f\x98\x80" + euros1500);
}

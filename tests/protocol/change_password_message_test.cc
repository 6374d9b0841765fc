#include <string>

#include "admin/messages/change_password_request.h"
#include "admin/messages/parse_context.h"
#include "admin/xml/xml_parser.h"
#include "platform/base/heap.h"
#include "protocol_test_env.h"

namespace {

// Parses a RequestChangePassword document the way the dispatcher does.
class MessageTest : public ProtocolTest {
 protected:
  bool Parse(const std::string& doc) {
    Prepare(doc);
    auto* pb = reinterpret_cast<unsigned char*>(m_doc.data());
    int cb = static_cast<int>(m_doc.size()), nError = 0;
    m_parser = std::make_unique<CXMLParser>(0);
    EXPECT_TRUE(m_parser->Initialize(&m_handler->Trans(), pb, cb, &nError));
    CXMLParser::e_XML_Entry eKind;
    unsigned short *pwName, *pwValue;
    int cwName, cwValue;
    do {
      EXPECT_TRUE(m_parser->GetEntry(&eKind, &pwName, &cwName, &pwValue, &cwValue, &nError));
    } while (eKind != CXMLParser::XML_ENTRY_CHILD);
    m_message = std::make_unique<CChangePasswordRequest>(&Writer(), 1, 0);
    ParseContext context{m_parser.get(), &m_handler->Trans(), &Writer()};
    return ParseChangePasswordRequest(context, *m_message);
  }
  CChangePasswordRequest& Message() { return *m_message; }

  std::unique_ptr<CXMLParser> m_parser;
  std::unique_ptr<CChangePasswordRequest> m_message;
};

std::u16string Str(const WCHAR* pwsz) { return pwsz; }

}  // namespace

TEST_F(MessageTest, DomainTypeIsRecordedOnlyWithDomainText) {
  ASSERT_TRUE(Parse(ChangeRequest("")));
  EXPECT_EQ(Str(Message().UserName()) + Str(Message().Domain()) + Str(Message().OldPassword()) +
                Str(Message().NewPassword()),
            u"");
  EXPECT_EQ(Message().DomainType() + Message().HashType(), 0u);
  EXPECT_FALSE(m_conn->HeaderSent());

  ASSERT_TRUE(Parse(ChangeRequest("<Domain type=\"NDS\">TREE</Domain>")));
  EXPECT_EQ(Str(Message().Domain()), u"TREE");
  EXPECT_EQ(Message().DomainType(), 2u);

  ASSERT_TRUE(Parse(ChangeRequest("<Domain type=\"NDS\"></Domain>")));
  EXPECT_EQ(Str(Message().Domain()), u"");
  EXPECT_EQ(Message().DomainType(), 0u);

  // A pending type waits for the next Domain text.
  ASSERT_TRUE(Parse(ChangeRequest("<Domain type=\"NT\"/><Domain>D</Domain>")));
  EXPECT_EQ(Message().DomainType(), 1u);

  ASSERT_TRUE(Parse(ChangeRequest("<Domain type=\"nt\">D</Domain>")));
  EXPECT_EQ(Message().DomainType(), 0u);
}

TEST_F(MessageTest, TextRulesOfTheMessageFormat) {
  ASSERT_TRUE(Parse(ChangeRequest(
      "<UserName>first</UserName><UserName>second</UserName>"
      "<OldPassword encoding=\"vlt1\">  a&amp;b  </OldPassword>"
      "<NewPassword>&#65;&#x42;c  </NewPassword>")));
  EXPECT_EQ(Str(Message().UserName()), u"second");
  EXPECT_EQ(Str(Message().OldPassword()), u"a&b  ");
  EXPECT_EQ(Str(Message().NewPassword()), u"ABc  ");

  ASSERT_TRUE(Parse(ChangeRequest("<UserName><Domain>X</Domain></UserName>")));
  EXPECT_EQ(Str(Message().UserName()), u"");
  EXPECT_EQ(Str(Message().Domain()), u"X");

  // Text between an end tag and the next start tag belongs to the element
  // that started last.
  ASSERT_TRUE(Parse(ChangeRequest("<UserName>a</UserName>b<Domain>D</Domain>")));
  EXPECT_EQ(Str(Message().UserName()), u"b");
}

TEST(DecodeHashTest, ThreeBytesForEveryFourUnits) {
  auto decode = [](const std::u16string& text) {
    BYTE* pb = DecodeHash(reinterpret_cast<const unsigned short*>(text.data()),
                          static_cast<DWORD>(text.size()));
    std::string bytes(reinterpret_cast<char*>(pb), 3 * text.size() / 4);
    HeapFree(GetProcessHeap(), 0, pb);
    return bytes;
  };
  EXPECT_EQ(decode(u"AAAA"), std::string(3, '\0'));
  EXPECT_EQ(decode(u"A"), "");
  EXPECT_EQ(decode(u"BAAAAA").size(), 4u);
  // The first unit fills the low bits: "B" is 1.
  EXPECT_EQ(decode(u"BAAA"), std::string("\x01\0\0", 3));
  // Units outside the alphabet, those above 127 included, count as 255.
  EXPECT_EQ(decode(u"=A"), std::string("\xff"));
  EXPECT_EQ(decode(u"\u00e9A"), std::string("\xff"));
  EXPECT_EQ(decode(u"\uffffAAA"), decode(u"=AAA"));
}

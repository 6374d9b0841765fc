#include <cstring>

#include "admin/messages/admin_error.h"
#include "admin/messages/change_password_request.h"
#include "admin/messages/keyword_tables.h"
#include "admin/messages/parse_context.h"
#include "admin/metrics/extension_metrics.h"
#include "admin/protocol/request.h"
#include "admin/xml/xml_parser.h"

namespace {

const WCHAR s_wszRoot[] = u"AdminProtocol";
const int s_cwRoot = 13;

// Largest body tokenized in the parser's built-in buffer.
const DWORD s_cbInlineDocument = 8192;

}  // namespace

int CRequest::Dispatch(unsigned char* pbBody, DWORD cbBody) {
  int nError = 0;
  if (!m_trans.ParseXMLSignature(pbBody, static_cast<int>(cbBody), &nError)) return DISPATCH_REFUSED;

  CXMLParser parser(cbBody <= s_cbInlineDocument ? 0 : static_cast<int>(cbBody));
  if (!parser.Initialize(&m_trans, pbBody, static_cast<int>(cbBody), &nError))
    return DISPATCH_REFUSED;

  CXMLParser::e_XML_Entry eKind;
  unsigned short* pwName = nullptr;
  int cwName = 0;
  unsigned short* pwValue = nullptr;
  int cwValue = 0;
  if (!parser.GetEntry(&eKind, &pwName, &cwName, &pwValue, &cwValue, &nError) ||
      eKind != CXMLParser::XML_ENTRY_TOP || cwName != s_cwRoot ||
      std::memcmp(pwName, s_wszRoot, s_cwRoot * sizeof(WCHAR)) != 0)
    return DISPATCH_REFUSED;

  // Up to the request element. The root's version attribute is read, but
  // only protocol version 1.0 is served, whatever it says.
  do {
    if (!parser.GetEntry(&eKind, &pwName, &cwName, &pwValue, &cwValue, &nError))
      return DISPATCH_REFUSED;
    // A root without a child element ends the document here.
    if (eKind == CXMLParser::XML_ENTRY_END) return DISPATCH_REFUSED;
  } while (eKind != CXMLParser::XML_ENTRY_CHILD);

  m_writer.m_nMajorVersion = 1;
  m_writer.m_nMinorVersion = 0;

  ParseContext context{&parser, &m_trans, &m_writer};
  if (LookupKeyword(RequestKeywords, pwName, static_cast<DWORD>(cwName)) != REQUEST_CHANGE_PASSWORD)
    return DISPATCH_REFUSED;

  CChangePasswordRequest message(&m_writer, 1, 0);
  if (ParseChangePasswordRequest(context, message))
    ChangePassword(message);
  else
    CountAnswer(ERR_ID_BAD_REQUEST);  // the parser has answered
  return DISPATCH_ROUTED;
}

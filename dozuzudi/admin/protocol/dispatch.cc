#include <cstring>

#include "admin/messages/admin_error.h"
#include "admin/groups/group_request.h"
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

bool CRequest::OpenRequest(CXMLParser& parser, unsigned char* pbBody, DWORD cbBody, DWORD* pnRequest) {
  int nError = 0;
  if (!parser.Initialize(&m_trans, pbBody, static_cast<int>(cbBody), &nError)) return false;

  CXMLParser::e_XML_Entry eKind;
  unsigned short* pwName = nullptr;
  int cwName = 0;
  unsigned short* pwValue = nullptr;
  int cwValue = 0;
  if (!parser.GetEntry(&eKind, &pwName, &cwName, &pwValue, &cwValue, &nError) ||
      eKind != CXMLParser::XML_ENTRY_TOP || cwName != s_cwRoot ||
      std::memcmp(pwName, s_wszRoot, s_cwRoot * sizeof(WCHAR)) != 0)
    return false;

  // Up to the request element. The root's version attribute is read, but
  // only protocol version 1.0 is served, whatever it says.
  do {
    if (!parser.GetEntry(&eKind, &pwName, &cwName, &pwValue, &cwValue, &nError)) return false;
    // A root without a child element ends the document here.
    if (eKind == CXMLParser::XML_ENTRY_END) return false;
  } while (eKind != CXMLParser::XML_ENTRY_CHILD);

  m_writer.m_nMajorVersion = 1;
  m_writer.m_nMinorVersion = 0;
  *pnRequest = LookupKeyword(RequestKeywords, pwName, static_cast<DWORD>(cwName));
  return true;
}

int CRequest::Dispatch(unsigned char* pbBody, DWORD cbBody) {
  int nError = 0;
  if (!m_trans.ParseXMLSignature(pbBody, static_cast<int>(cbBody), &nError)) return DISPATCH_REFUSED;
  CXMLParser parser(cbBody <= s_cbInlineDocument ? 0 : static_cast<int>(cbBody));
  DWORD nRequest = 0;
  if (!OpenRequest(parser, pbBody, cbBody, &nRequest)) return DISPATCH_REFUSED;
  // Group requests are not routed: only RequestChangePassword is served.
  if (nRequest != REQUEST_CHANGE_PASSWORD) return DISPATCH_REFUSED;

  ParseContext context{&parser, &m_trans, &m_writer};
  CChangePasswordRequest message(&m_writer, 1, 0);
  if (!ParseChangePasswordRequest(context, message)) {
    CountAnswer(ERR_ID_BAD_REQUEST);  // the parser has answered
    return DISPATCH_ROUTED;
  }
  if (ChangePassword(message) == CHANGE_PASSWORD_THROTTLED) return DISPATCH_THROTTLED;
  return DISPATCH_ROUTED;
}

int CRequest::AnswerGroupRequest(unsigned char* pbBody, DWORD cbBody) {
  int nError = 0;
  if (!m_trans.ParseXMLSignature(pbBody, static_cast<int>(cbBody), &nError)) return GROUPS_REFUSED;
  CXMLParser parser(cbBody <= s_cbInlineDocument ? 0 : static_cast<int>(cbBody));
  DWORD nRequest = 0;
  if (!OpenRequest(parser, pbBody, cbBody, &nRequest) || nRequest != REQUEST_GROUP) return GROUPS_REFUSED;

  ParseContext context{&parser, &m_trans, &m_writer};
  CGroupRequest message(&m_writer, 1, 0);
  // A message that the parse refused, or whose group list it answered with
  // an error, has had its whole answer.
  if (!ParseGroupRequest(context, message) || !m_writer.IsUsable()) return GROUPS_BAD_REQUEST;
  ResolveGroups(message);
  return GROUPS_ANSWERED;
}

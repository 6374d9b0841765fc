#include "admin/messages/change_password_request.h"
#include "admin/messages/keyword_tables.h"
#include "admin/messages/parse_context.h"
#include "admin/response/xml_response_writer.h"
#include "admin/xml/xml_parser.h"

namespace {

const WCHAR s_wszResponse[] = u"ResponseChangePassword";

bool RejectRequest(ParseContext& context) {
  context.writer->WriteErrorResponse(s_wszResponse, ERR_ID_BAD_REQUEST, nullptr);
  return false;
}

}  // namespace

bool ParseChangePasswordRequest(ParseContext& context, CChangePasswordRequest& message) {
  DWORD nElement = 0;
  DWORD nPendingDomainType = DOMAIN_TYPE_NONE;
  DWORD nPendingHashType = HASH_TYPE_NONE;
  for (;;) {
    CXMLParser::e_XML_Entry eKind;
    unsigned short* pwName = nullptr;
    int cwName = 0;
    unsigned short* pwValue = nullptr;
    int cwValue = 0;
    int nError = 0;
    if (!context.parser->GetEntry(&eKind, &pwName, &cwName, &pwValue, &cwValue, &nError))
      return RejectRequest(context);
    switch (eKind) {
      case CXMLParser::XML_ENTRY_CHILD:
      case CXMLParser::XML_ENTRY_SIBLING:
        nElement = LookupKeyword(ChangePasswordKeywords, pwName, static_cast<DWORD>(cwName));
        break;
      case CXMLParser::XML_ENTRY_UP:
        break;
      case CXMLParser::XML_ENTRY_ATTRIBUTE: {
        if (LookupKeyword(AttributeKeywords, pwName, static_cast<DWORD>(cwName)) != ATTRIBUTE_TYPE)
          break;
        if (nElement == ELEMENT_DOMAIN)
          nPendingDomainType = LookupKeyword(DomainTypeKeywords, pwValue, static_cast<DWORD>(cwValue));
        else if (nElement == ELEMENT_HASH)
          nPendingHashType = LookupKeyword(HashKeywords, pwValue, static_cast<DWORD>(cwValue));
        break;
      }
      case CXMLParser::XML_ENTRY_DATA: {
        DWORD cw = static_cast<DWORD>(cwName);
        switch (nElement) {
          case ELEMENT_USER_NAME: message.SetUserName(pwName, cw); break;
          case ELEMENT_DOMAIN:
            message.SetDomain(pwName, cw, nPendingDomainType);
            nPendingDomainType = DOMAIN_TYPE_NONE;
            break;
          case ELEMENT_OLD_PASSWORD: message.SetOldPassword(pwName, cw); break;
          case ELEMENT_NEW_PASSWORD: message.SetNewPassword(pwName, cw); break;
          case ELEMENT_HASH:
            message.SetHash(pwName, cw, nPendingHashType);
            nPendingHashType = HASH_TYPE_NONE;
            break;
          default: break;
        }
        break;
      }
      case CXMLParser::XML_ENTRY_END:
        return true;
      default:
        return RejectRequest(context);
    }
  }
}

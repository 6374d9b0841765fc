#include "admin/groups/group_request.h"
#include "admin/messages/keyword_tables.h"
#include "admin/messages/parse_context.h"
#include "admin/response/xml_response_writer.h"
#include "admin/xml/xml_parser.h"

namespace {

enum EGroupRequestElementId {
  GROUP_ELEMENT_SCOPE = 1,
  GROUP_ELEMENT_GROUP_NAME = 2,
  GROUP_ELEMENT_CREDENTIALS = 3,
  GROUP_ELEMENT_USER_NAME = 4,
  GROUP_ELEMENT_DOMAIN = 5,
  GROUP_ELEMENT_PASSWORD = 6,
};
enum EScopeId { SCOPE_ONE_LEVEL = 1, SCOPE_SUBTREE = 2 };

const WCHAR s_wszCredentials[] = u"Credentials";
const int s_cwCredentials = 11;

bool RejectRequest(ParseContext& context) {
  context.writer->WriteErrorResponse(kwszResponseGroup, ERR_ID_BAD_REQUEST, nullptr);
  return false;
}

struct Entry {
  CXMLParser::e_XML_Entry eKind = CXMLParser::XML_ENTRY_NONE;
  unsigned short* pwName = nullptr;
  int cwName = 0;
  unsigned short* pwValue = nullptr;
  int cwValue = 0;
};

bool NextEntry(ParseContext& context, Entry* pEntry) {
  int nError = 0;
  return context.parser->GetEntry(&pEntry->eKind, &pEntry->pwName, &pEntry->cwName, &pEntry->pwValue,
                                  &pEntry->cwValue, &nError);
}

DWORD Classify(const KeywordTable* table, const unsigned short* pw, int cw) {
  return LookupKeyword(table, pw, static_cast<DWORD>(cw));
}

}  // namespace

bool ParseGroupRequest(ParseContext& context, CGroupRequest& message) {
  DWORD nElement = 0;
  // A GroupName without its own domain or type takes those of the last
  // GroupName that had them.
  const unsigned short* pwPendingDomain = nullptr;
  DWORD cwPendingDomain = 0;
  DWORD nPendingType = DOMAIN_TYPE_NT;
  for (;;) {
    Entry entry;
    if (!NextEntry(context, &entry)) return RejectRequest(context);
    switch (entry.eKind) {
      case CXMLParser::XML_ENTRY_CHILD:
      case CXMLParser::XML_ENTRY_SIBLING:
        nElement = Classify(GroupRequestKeywords, entry.pwName, entry.cwName);
        if (nElement == GROUP_ELEMENT_CREDENTIALS && !ParseCredentials(context, message)) return false;
        break;
      case CXMLParser::XML_ENTRY_UP:
        break;
      case CXMLParser::XML_ENTRY_ATTRIBUTE: {
        DWORD nAttribute = Classify(AttributeKeywords, entry.pwName, entry.cwName);
        if (nElement == GROUP_ELEMENT_SCOPE && nAttribute == ATTRIBUTE_TRAVERSE) {
          DWORD nScope = Classify(ScopeKeywords, entry.pwValue, entry.cwValue);
          if (nScope != 0) message.SetOneLevel(nScope == SCOPE_ONE_LEVEL);
        } else if (nElement == GROUP_ELEMENT_GROUP_NAME && nAttribute == ATTRIBUTE_DOMAIN) {
          pwPendingDomain = entry.pwValue;
          cwPendingDomain = static_cast<DWORD>(entry.cwValue);
        } else if (nElement == GROUP_ELEMENT_GROUP_NAME && nAttribute == ATTRIBUTE_TYPE) {
          nPendingType = Classify(DomainTypeKeywords, entry.pwValue, entry.cwValue);
        }
        break;
      }
      case CXMLParser::XML_ENTRY_DATA:
        if (nElement == GROUP_ELEMENT_GROUP_NAME)
          message.AddGroupName(entry.pwName, static_cast<DWORD>(entry.cwName), pwPendingDomain, cwPendingDomain,
                               nPendingType);
        break;
      case CXMLParser::XML_ENTRY_END:
        return true;
      default:
        return RejectRequest(context);
    }
  }
}

bool ParseCredentials(ParseContext& context, CGroupRequest& message) {
  DWORD nElement = 0;
  DWORD nPendingType = DOMAIN_TYPE_NT;
  DWORD nPendingEncoding = PASSWORD_ENCODING_NONE;
  for (;;) {
    Entry entry;
    if (!NextEntry(context, &entry)) return RejectRequest(context);
    switch (entry.eKind) {
      case CXMLParser::XML_ENTRY_CHILD:
      case CXMLParser::XML_ENTRY_SIBLING:
        nElement = Classify(GroupRequestKeywords, entry.pwName, entry.cwName);
        break;
      case CXMLParser::XML_ENTRY_UP: {
        // Only the end of Credentials itself ends the credentials.
        if (entry.cwName != s_cwCredentials) break;
        bool fCredentials = true;
        for (int i = 0; i < s_cwCredentials; ++i) fCredentials &= entry.pwName[i] == s_wszCredentials[i];
        if (fCredentials) return true;
        break;
      }
      case CXMLParser::XML_ENTRY_ATTRIBUTE: {
        DWORD nAttribute = Classify(AttributeKeywords, entry.pwName, entry.cwName);
        if (nElement == GROUP_ELEMENT_DOMAIN && nAttribute == ATTRIBUTE_TYPE)
          nPendingType = Classify(DomainTypeKeywords, entry.pwValue, entry.cwValue);
        else if (nElement == GROUP_ELEMENT_PASSWORD && nAttribute == ATTRIBUTE_ENCODING)
          nPendingEncoding = Classify(EncodingKeywords, entry.pwValue, entry.cwValue);
        break;
      }
      case CXMLParser::XML_ENTRY_DATA: {
        DWORD cw = static_cast<DWORD>(entry.cwName);
        if (nElement == GROUP_ELEMENT_USER_NAME)
          message.SetUserName(entry.pwName, cw);
        else if (nElement == GROUP_ELEMENT_DOMAIN)
          message.SetDomain(entry.pwName, cw, nPendingType);
        else if (nElement == GROUP_ELEMENT_PASSWORD)
          message.SetPassword(context.transcoder, entry.pwName, cw, nPendingEncoding);
        break;
      }
      default:
        return RejectRequest(context);
    }
  }
}

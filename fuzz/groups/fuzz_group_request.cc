// ParseGroupRequest over whole documents: the encoding detected, the
// document tokenized and read up to its request element as the dispatcher
// does, then the RequestGroup message parsed and its answer written into a
// sink. Checks what the parse promises: a refusal closes the writer, every
// group it keeps has a name and a domain.
#include <cstdint>
#include <cstring>
#include <vector>

#include "admin/groups/group_request.h"
#include "admin/messages/keyword_tables.h"
#include "admin/messages/parse_context.h"
#include "admin/response/connection_output.h"
#include "admin/response/xml_response_writer.h"
#include "admin/xml/xml_parser.h"
#include "fuzz_xml_support.h"

namespace {

BOOL WINAPI WriteClient(HCONN, LPVOID, LPDWORD, DWORD) { return TRUE; }
BOOL WINAPI ServerSupportFunction(HCONN, DWORD, LPVOID, LPDWORD, LPDWORD) { return TRUE; }

// The dispatcher's reading of the envelope: the AdminProtocol root, then
// everything up to the first child element, which must be RequestGroup.
bool OpenGroupRequest(CXMLParser& parser, CIcuTrans& trans, std::vector<unsigned char>& doc) {
  int nError = 0;
  if (!parser.Initialize(&trans, doc.data(), static_cast<int>(doc.size()), &nError)) return false;
  CXMLParser::e_XML_Entry eKind;
  unsigned short *pwName = nullptr, *pwValue = nullptr;
  int cwName = 0, cwValue = 0;
  if (!parser.GetEntry(&eKind, &pwName, &cwName, &pwValue, &cwValue, &nError) ||
      eKind != CXMLParser::XML_ENTRY_TOP || cwName != 13 || std::memcmp(pwName, u"AdminProtocol", 26) != 0)
    return false;
  do {
    if (!parser.GetEntry(&eKind, &pwName, &cwName, &pwValue, &cwValue, &nError)) return false;
    if (eKind == CXMLParser::XML_ENTRY_END) return false;
  } while (eKind != CXMLParser::XML_ENTRY_CHILD);
  return LookupKeyword(RequestKeywords, pwName, static_cast<DWORD>(cwName)) == REQUEST_GROUP;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool fTables = (InitKeywordTables(), true);
  (void)fTables;
  xmlfuzz::InitializeOnce();
  if (size > 1 << 16) return 0;
  std::vector<unsigned char> doc(data, data + size);

  CIcuTrans trans;
  int nError = 0;
  if (!trans.ParseXMLSignature(doc.data(), static_cast<int>(doc.size()), &nError)) return 0;
  CXMLParser parser(doc.size() <= 8192 ? 0 : static_cast<int>(doc.size()));
  if (!OpenGroupRequest(parser, trans, doc)) return 0;

  EXTENSION_CONTROL_BLOCK ecb{};
  ecb.WriteClient = WriteClient;
  ecb.ServerSupportFunction = ServerSupportFunction;
  ConnectionOutput output;
  output.m_pECB = &ecb;
  XmlResponseWriter writer;
  writer.m_pOutput = &output;
  writer.m_pTrans = &trans;
  writer.m_nMajorVersion = 1;
  ParseContext context{&parser, &trans, &writer};
  CGroupRequest message(&writer, 1, 0);
  bool fParsed = ParseGroupRequest(context, message);
  if (!fParsed && writer.IsUsable()) __builtin_trap();
  for (DWORD i = 0; i < message.GroupCount(); ++i)
    if (message.Group(i)->Name() == nullptr || message.Group(i)->Domain() == nullptr) __builtin_trap();
  // The answer's elements, as the resolution writes them.
  if (fParsed && writer.IsUsable()) {
    message.BeginResponse(kwszResponseGroup);
    for (DWORD i = 0; i < message.GroupCount(); ++i) {
      const CGroupName* pGroup = message.Group(i);
      message.WriteGroupStart(pGroup->Name(), pGroup->Domain(), pGroup->Type());
      message.WriteUserName(pGroup->Name(), pGroup->Domain());
      message.WriteGroupEnd();
    }
    message.EndResponse(kwszResponseGroup);
  }
  return 0;
}

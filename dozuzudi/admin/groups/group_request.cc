#include "admin/groups/group_request.h"

#include <new>

#include "admin/messages/message_field.h"
#include "admin/response/xml_response_writer.h"
#include "admin/xml/icu_trans.h"
#include "platform/base/heap.h"

const WCHAR kwszResponseGroup[] = u"ResponseGroup";

namespace {

const WCHAR s_wszGroup[] = u"Group";
const WCHAR s_wszUserName[] = u"UserName";
const WCHAR s_wszGroupName[] = u"GroupName";
const WCHAR s_wszErrorId[] = u"ErrorId";
const WCHAR s_wszOutOfMemory[] = u"Out of memory";
const WCHAR s_wszMissingName[] = u"Missing either the UserName or the DomainName";

// Longest password text that is decoded.
const DWORD s_cwMaxEncodedPassword = 1024;
const BYTE s_bChainKey = 0x5D;

// A character of vlt1 text stands for the nibble of its low 8 bits minus
// one, so that "A" to "P" stand for 0 to 15.
BYTE Nibble(unsigned short wch) { return static_cast<BYTE>((wch & 0xFF) - 1) & 0x0F; }

// Decodes vlt1 text of cwText units into cwText / 2 bytes: nibble pairs,
// then the chain undone (each byte was XORed with the one before and 0x5D).
void DecodeVlt1(const unsigned short* pwText, DWORD cwText, BYTE* pb) {
  DWORD cb = cwText / 2;
  BYTE bPrevious = 0;
  for (DWORD i = 0; i < cb; ++i) {
    BYTE b = static_cast<BYTE>(Nibble(pwText[2 * i]) << 4 | Nibble(pwText[2 * i + 1]));
    pb[i] = static_cast<BYTE>(b ^ s_bChainKey ^ (i > 0 ? bPrevious : 0));
    bPrevious = b;
  }
}

}  // namespace

CGroupRequest::CGroupRequest(XmlResponseWriter* pWriter, DWORD nMajorVersion, DWORD nMinorVersion)
    : CRequestMessage(pWriter, nMajorVersion, nMinorVersion),
      m_fOneLevel(true),
      m_ppGroups(nullptr),
      m_nGroups(0),
      m_nGroupCapacity(0),
      m_pwszUserName(nullptr),
      m_pwszDomain(nullptr),
      m_nDomainType(0),
      m_pwszPassword(nullptr),
      m_nPasswordEncoding(0) {}

CGroupRequest::~CGroupRequest() {
  for (DWORD i = 0; i < m_nGroups; ++i) delete m_ppGroups[i];
  HeapFree(GetProcessHeap(), 0, m_ppGroups);
  FreeMessageField(m_pwszUserName, false);
  FreeMessageField(m_pwszDomain, false);
  FreeMessageField(m_pwszPassword, true);
}

void CGroupRequest::AddGroupName(const unsigned short* pwName, DWORD cwName, const unsigned short* pwDomain,
                                 DWORD cwDomain, DWORD nType) {
  if (m_nGroups == m_nGroupCapacity) {
    DWORD nCapacity = 2 * m_nGroupCapacity + 2;
    auto** ppGroups = nCapacity > m_nGroupCapacity
                          ? static_cast<CGroupName**>(HeapAlloc(GetProcessHeap(), 0, nCapacity * sizeof(CGroupName*)))
                          : nullptr;
    if (ppGroups == nullptr) {
      if (m_pWriter != nullptr) m_pWriter->WriteErrorResponse(kwszResponseGroup, ERR_ID_UNSPECIFIED, s_wszOutOfMemory);
      return;
    }
    for (DWORD i = 0; i < m_nGroups; ++i) ppGroups[i] = m_ppGroups[i];
    HeapFree(GetProcessHeap(), 0, m_ppGroups);
    m_ppGroups = ppGroups;
    m_nGroupCapacity = nCapacity;
  }
  auto* pGroup = new (std::nothrow) CGroupName();
  if (pGroup == nullptr || !pGroup->Set(reinterpret_cast<const WCHAR*>(pwName), cwName, reinterpret_cast<const WCHAR*>(pwDomain),
                   cwDomain, nType)) {
    // A name always comes with the text; what fails is a missing domain,
    // or memory.
    bool fMissing = pGroup != nullptr && (pwName == nullptr || pwDomain == nullptr);
    delete pGroup;
    if (m_pWriter != nullptr)
      m_pWriter->WriteErrorResponse(kwszResponseGroup, fMissing ? ERR_ID_BAD_REQUEST : ERR_ID_UNSPECIFIED,
                                    fMissing ? s_wszMissingName : s_wszOutOfMemory);
    return;
  }
  m_ppGroups[m_nGroups++] = pGroup;
}

void CGroupRequest::SetUserName(const unsigned short* pwText, DWORD cwText) {
  ReplaceMessageField(&m_pwszUserName, pwText, cwText, false);
}

void CGroupRequest::SetDomain(const unsigned short* pwText, DWORD cwText, DWORD nDomainType) {
  ReplaceMessageField(&m_pwszDomain, pwText, cwText, false);
  m_nDomainType = nDomainType;
}

void CGroupRequest::SetPassword(CIcuTrans* pTrans, const unsigned short* pwText, DWORD cwText, DWORD nEncoding) {
  ReplaceMessageField(&m_pwszPassword, pwText, cwText, true);
  m_nPasswordEncoding = nEncoding;
  // Only vlt1 text is decoded: any other password is taken as sent.
  if (m_pwszPassword == nullptr || pTrans == nullptr || nEncoding != PASSWORD_ENCODING_VLT1 ||
      cwText > s_cwMaxEncodedPassword || cwText < 2)
    return;
  DWORD cb = cwText / 2;
  auto* pb = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, cb));
  // The decoded bytes convert to at most one unit each; one more for the
  // terminator.
  auto* pwDecoded = static_cast<unsigned short*>(HeapAlloc(GetProcessHeap(), 0, (cb + 1) * sizeof(unsigned short)));
  if (pb != nullptr && pwDecoded != nullptr) {
    DecodeVlt1(pwText, cwText, pb);
    int cwDecoded = static_cast<int>(cb);
    int nError = 0;
    // A failed conversion leaves the password as sent.
    if (pTrans->InputToUnicode(pb, static_cast<int>(cb), pwDecoded, &cwDecoded, &nError) && cwDecoded >= 0 &&
        static_cast<DWORD>(cwDecoded) <= cb) {
      // The password ends at its first null unit, as every reader of the
      // terminated text sees it; all behind it is wiped, so that wiping
      // up to the terminator reaches every unit the buffer still holds.
      int cwKept = 0;
      while (cwKept < cwDecoded && pwDecoded[cwKept] != 0) {
        m_pwszPassword[cwKept] = pwDecoded[cwKept];
        ++cwKept;
      }
      SecureZeroMemory(m_pwszPassword + cwKept, (cwText - static_cast<DWORD>(cwKept)) * sizeof(WCHAR));
    }
  }
  if (pb != nullptr) SecureZeroMemory(pb, cb);
  if (pwDecoded != nullptr) SecureZeroMemory(pwDecoded, (cb + 1) * sizeof(unsigned short));
  HeapFree(GetProcessHeap(), 0, pb);
  HeapFree(GetProcessHeap(), 0, pwDecoded);
}

void CGroupRequest::WriteGroupStart(const WCHAR* pwszName, const WCHAR* pwszDomain, DWORD nType) {
  if (m_pWriter == nullptr) return;
  m_pWriter->WriteTagStart(s_wszGroup, true, true);
  m_pWriter->WriteAttribute(u"name", pwszName);
  m_pWriter->WriteAttribute(u"domain", pwszDomain);
  if (nType == 1) m_pWriter->WriteAttribute(u"type", u"NT");
  if (nType == 2) m_pWriter->WriteAttribute(u"type", u"NDS");
  m_pWriter->WriteTagEnd(false, true);
  m_pWriter->AdjustIndent(true);
}

void CGroupRequest::WriteNameElement(const WCHAR* pwszElement, const WCHAR* pwszName, const WCHAR* pwszDomain) {
  if (m_pWriter == nullptr) return;
  m_pWriter->WriteTagStart(pwszElement, true, true);
  m_pWriter->WriteAttribute(u"domain", pwszDomain);
  m_pWriter->WriteTagEnd(false, false);
  m_pWriter->WriteEscapedText(pwszName);
  m_pWriter->WriteTagStart(pwszElement, false, false);
  m_pWriter->WriteTagEnd(false, true);
}

void CGroupRequest::WriteUserName(const WCHAR* pwszName, const WCHAR* pwszDomain) {
  WriteNameElement(s_wszUserName, pwszName, pwszDomain);
}

void CGroupRequest::WriteGroupName(const WCHAR* pwszName, const WCHAR* pwszDomain) {
  WriteNameElement(s_wszGroupName, pwszName, pwszDomain);
}

void CGroupRequest::WriteErrorId(AdminError pwszErrorId) {
  if (m_pWriter == nullptr) return;
  m_pWriter->WriteTagStart(s_wszErrorId, true, true);
  m_pWriter->WriteTagEnd(false, false);
  m_pWriter->WriteEscapedText(pwszErrorId);
  m_pWriter->WriteTagStart(s_wszErrorId, false, false);
  m_pWriter->WriteTagEnd(false, true);
}

void CGroupRequest::WriteGroupEnd() {
  if (m_pWriter == nullptr) return;
  m_pWriter->AdjustIndent(false);
  m_pWriter->WriteTagStart(s_wszGroup, false, true);
  m_pWriter->WriteTagEnd(false, true);
}

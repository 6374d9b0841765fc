#include "admin/messages/change_password_request.h"

#include "admin/messages/message_field.h"
#include "admin/response/xml_response_writer.h"
#include "platform/base/heap.h"

namespace {

const WCHAR s_wszErrorId[] = u"ErrorId";

}  // namespace

CChangePasswordRequest::CChangePasswordRequest(XmlResponseWriter* pWriter, DWORD nMajorVersion,
                                               DWORD nMinorVersion)
    : CRequestMessage(pWriter, nMajorVersion, nMinorVersion),
      m_pwszUserName(CopyMessageField(nullptr, 0)),
      m_pwszDomain(CopyMessageField(nullptr, 0)),
      m_nDomainType(0),
      m_pwszOldPassword(CopyMessageField(nullptr, 0)),
      m_pwszNewPassword(CopyMessageField(nullptr, 0)),
      m_pbHash(static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 1))),
      m_nHashType(0) {}

CChangePasswordRequest::~CChangePasswordRequest() {
  FreeMessageField(m_pwszUserName, false);
  FreeMessageField(m_pwszDomain, false);
  FreeMessageField(m_pwszOldPassword, true);
  FreeMessageField(m_pwszNewPassword, true);
  HeapFree(GetProcessHeap(), 0, m_pbHash);
}

void CChangePasswordRequest::SetUserName(const unsigned short* pwText, DWORD cwText) {
  ReplaceMessageField(&m_pwszUserName, pwText, cwText, false);
}

void CChangePasswordRequest::SetDomain(const unsigned short* pwText, DWORD cwText,
                                       DWORD nDomainType) {
  ReplaceMessageField(&m_pwszDomain, pwText, cwText, false);
  m_nDomainType = nDomainType;
}

void CChangePasswordRequest::SetOldPassword(const unsigned short* pwText, DWORD cwText) {
  ReplaceMessageField(&m_pwszOldPassword, pwText, cwText, true);
}

void CChangePasswordRequest::SetNewPassword(const unsigned short* pwText, DWORD cwText) {
  ReplaceMessageField(&m_pwszNewPassword, pwText, cwText, true);
}

void CChangePasswordRequest::SetHash(const unsigned short* pwText, DWORD cwText, DWORD nHashType) {
  HeapFree(GetProcessHeap(), 0, m_pbHash);
  m_pbHash = DecodeHash(pwText, cwText);
  m_nHashType = nHashType;
}

void CChangePasswordRequest::WriteErrorId(AdminError pwszErrorId) {
  if (m_pWriter == nullptr) return;
  m_pWriter->WriteTagStart(s_wszErrorId, true, true);
  m_pWriter->WriteTagEnd(false, false);
  m_pWriter->WriteEscapedText(pwszErrorId);
  m_pWriter->WriteTagStart(s_wszErrorId, false, false);
  m_pWriter->WriteTagEnd(false, true);
}

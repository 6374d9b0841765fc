#include "admin/messages/change_password_request.h"

#include "admin/response/xml_response_writer.h"
#include "platform/base/heap.h"

namespace {

const WCHAR s_wszErrorId[] = u"ErrorId";

WCHAR* CopyText(const unsigned short* pwText, DWORD cwText) {
  auto* pwsz = static_cast<WCHAR*>(
      HeapAlloc(GetProcessHeap(), 0, (static_cast<SIZE_T>(cwText) + 1) * sizeof(WCHAR)));
  if (pwsz == nullptr) return nullptr;
  for (DWORD i = 0; i < cwText; ++i) pwsz[i] = pwText[i];
  pwsz[cwText] = 0;
  return pwsz;
}

void FreeText(WCHAR* pwsz, bool fSecret) {
  if (pwsz == nullptr) return;
  if (fSecret) {
    SIZE_T cw = 0;
    while (pwsz[cw] != 0) ++cw;
    SecureZeroMemory(pwsz, cw * sizeof(WCHAR));
  }
  HeapFree(GetProcessHeap(), 0, pwsz);
}

// Replaces a field; an allocation failure leaves an empty string, so that no
// field is ever null.
void ReplaceText(WCHAR** ppwszField, const unsigned short* pwText, DWORD cwText, bool fSecret) {
  WCHAR* pwszNew = CopyText(pwText, cwText);
  if (pwszNew == nullptr) pwszNew = CopyText(nullptr, 0);
  FreeText(*ppwszField, fSecret);
  *ppwszField = pwszNew;
}

}  // namespace

CChangePasswordRequest::CChangePasswordRequest(XmlResponseWriter* pWriter, DWORD nMajorVersion,
                                               DWORD nMinorVersion)
    : CRequestMessage(pWriter, nMajorVersion, nMinorVersion),
      m_pwszUserName(CopyText(nullptr, 0)),
      m_pwszDomain(CopyText(nullptr, 0)),
      m_nDomainType(0),
      m_pwszOldPassword(CopyText(nullptr, 0)),
      m_pwszNewPassword(CopyText(nullptr, 0)),
      m_pbHash(static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 1))),
      m_nHashType(0) {}

CChangePasswordRequest::~CChangePasswordRequest() {
  FreeText(m_pwszUserName, false);
  FreeText(m_pwszDomain, false);
  FreeText(m_pwszOldPassword, true);
  FreeText(m_pwszNewPassword, true);
  HeapFree(GetProcessHeap(), 0, m_pbHash);
}

void CChangePasswordRequest::SetUserName(const unsigned short* pwText, DWORD cwText) {
  ReplaceText(&m_pwszUserName, pwText, cwText, false);
}

void CChangePasswordRequest::SetDomain(const unsigned short* pwText, DWORD cwText,
                                       DWORD nDomainType) {
  ReplaceText(&m_pwszDomain, pwText, cwText, false);
  m_nDomainType = nDomainType;
}

void CChangePasswordRequest::SetOldPassword(const unsigned short* pwText, DWORD cwText) {
  ReplaceText(&m_pwszOldPassword, pwText, cwText, true);
}

void CChangePasswordRequest::SetNewPassword(const unsigned short* pwText, DWORD cwText) {
  ReplaceText(&m_pwszNewPassword, pwText, cwText, true);
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

// The parsed RequestChangePassword message.
//
// Every string field is an owned, NUL-terminated copy and never null: an
// element the request omits leaves an empty string. Password buffers are
// wiped before they are freed.
#pragma once

#include "admin/messages/admin_error.h"
#include "admin/messages/request_message.h"
#include "platform/base/wintypes.h"

struct ParseContext;

class CChangePasswordRequest : public CRequestMessage {
 public:
  CChangePasswordRequest(XmlResponseWriter* pWriter, DWORD nMajorVersion, DWORD nMinorVersion);
  ~CChangePasswordRequest() override;

  void SetUserName(const unsigned short* pwText, DWORD cwText);
  void SetDomain(const unsigned short* pwText, DWORD cwText, DWORD nDomainType);
  void SetOldPassword(const unsigned short* pwText, DWORD cwText);
  void SetNewPassword(const unsigned short* pwText, DWORD cwText);
  void SetHash(const unsigned short* pwText, DWORD cwText, DWORD nHashType);

  // The ErrorId child of the response, at the current indentation.
  void WriteErrorId(AdminError pwszErrorId);

  const WCHAR* UserName() const { return m_pwszUserName; }
  const WCHAR* Domain() const { return m_pwszDomain; }
  DWORD DomainType() const { return m_nDomainType; }
  const WCHAR* OldPassword() const { return m_pwszOldPassword; }
  const WCHAR* NewPassword() const { return m_pwszNewPassword; }
  const BYTE* Hash() const { return m_pbHash; }
  DWORD HashType() const { return m_nHashType; }

 private:
  WCHAR* m_pwszUserName;
  WCHAR* m_pwszDomain;
  DWORD m_nDomainType;
  WCHAR* m_pwszOldPassword;
  WCHAR* m_pwszNewPassword;
  BYTE* m_pbHash;
  DWORD m_nHashType;
};

// Fills the message from the tokenizer, which stands just after the request
// element's start tag, up to the end of the document. False when the
// document was rejected: the "bad-request" response has then been written.
bool ParseChangePasswordRequest(ParseContext& context, CChangePasswordRequest& message);

// Decodes a hash text of n units into floor(3n/4) bytes, base64 digits with
// the first unit in the low bits; units outside the alphabet count as 255.
// The caller frees the buffer with HeapFree; null when it cannot be had.
BYTE* DecodeHash(const unsigned short* pwText, DWORD cwText);

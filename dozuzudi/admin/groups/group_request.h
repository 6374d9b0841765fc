// The parsed RequestGroup message: the groups to list, whether to follow
// nested groups, and the credentials for an NDS tree; and the elements of
// the ResponseGroup answer, written through the request's writer.
//
// Strings are owned, terminated copies, null until the request gives them.
// The password is wiped before it is freed.
#pragma once

#include "admin/groups/group_name.h"
#include "admin/messages/admin_error.h"
#include "admin/messages/request_message.h"
#include "platform/base/wintypes.h"

class CIcuTrans;
struct ParseContext;

// Password encodings (the encoding attribute of Password).
enum EPasswordEncoding { PASSWORD_ENCODING_NONE = 0, PASSWORD_ENCODING_VLT1 = 1 };

// The response element of a group request.
extern const WCHAR kwszResponseGroup[];

class CGroupRequest : public CRequestMessage {
 public:
  CGroupRequest(XmlResponseWriter* pWriter, DWORD nMajorVersion, DWORD nMinorVersion);
  ~CGroupRequest() override;

  // Appends a group. A null domain answers the whole request "bad-request",
  // exhausted memory "unspecified"; the group is then not added.
  void AddGroupName(const unsigned short* pwName, DWORD cwName, const unsigned short* pwDomain, DWORD cwDomain,
                    DWORD nType);
  void SetUserName(const unsigned short* pwText, DWORD cwText);
  void SetDomain(const unsigned short* pwText, DWORD cwText, DWORD nDomainType);
  // Keeps the text as the password; with the vlt1 encoding (and at most
  // 1024 units) it is decoded and converted from the document's encoding
  // instead, unless that conversion fails.
  void SetPassword(CIcuTrans* pTrans, const unsigned short* pwText, DWORD cwText, DWORD nEncoding);
  void SetOneLevel(bool fOneLevel) { m_fOneLevel = fOneLevel; }

  // The answer's elements, at the writer's indentation (Group raises it,
  // WriteGroupEnd lowers it again).
  void WriteGroupStart(const WCHAR* pwszName, const WCHAR* pwszDomain, DWORD nType);
  void WriteUserName(const WCHAR* pwszName, const WCHAR* pwszDomain);
  void WriteGroupName(const WCHAR* pwszName, const WCHAR* pwszDomain);
  void WriteErrorId(AdminError pwszErrorId);
  void WriteGroupEnd();

  bool IsOneLevel() const { return m_fOneLevel; }
  const CGroupName* Group(DWORD i) const { return i < m_nGroups ? m_ppGroups[i] : nullptr; }
  DWORD GroupCount() const { return m_nGroups; }
  const WCHAR* UserName() const { return m_pwszUserName; }
  const WCHAR* Domain() const { return m_pwszDomain; }
  DWORD DomainType() const { return m_nDomainType; }
  const WCHAR* Password() const { return m_pwszPassword; }
  DWORD PasswordEncoding() const { return m_nPasswordEncoding; }

 private:
  // A name element (UserName or GroupName) with a domain attribute.
  void WriteNameElement(const WCHAR* pwszElement, const WCHAR* pwszName, const WCHAR* pwszDomain);

  bool m_fOneLevel;
  CGroupName** m_ppGroups;
  DWORD m_nGroups;
  DWORD m_nGroupCapacity;
  WCHAR* m_pwszUserName;
  WCHAR* m_pwszDomain;
  DWORD m_nDomainType;
  WCHAR* m_pwszPassword;
  DWORD m_nPasswordEncoding;
};

// Fills the message from the tokenizer, which stands just after the
// RequestGroup start tag, up to the end of the document. False when the
// document was rejected: the "bad-request" response has then been written.
bool ParseGroupRequest(ParseContext& context, CGroupRequest& message);
// The children of Credentials, up to its end tag; called by
// ParseGroupRequest at the Credentials start tag. False as above.
bool ParseCredentials(ParseContext& context, CGroupRequest& message);

// The base of parsed request messages: where the response goes, and the
// frame of a response document around its response element.
#pragma once

#include "platform/base/wintypes.h"

struct XmlResponseWriter;

class CRequestMessage {
 public:
  CRequestMessage(XmlResponseWriter* pWriter, DWORD nMajorVersion, DWORD nMinorVersion)
      : m_pWriter(pWriter), m_nMajorVersion(nMajorVersion), m_nMinorVersion(nMinorVersion) {}
  virtual ~CRequestMessage() = default;

  CRequestMessage(const CRequestMessage&) = delete;
  CRequestMessage& operator=(const CRequestMessage&) = delete;

  // Declaration, DOCTYPE, root start tag and the response element's start
  // tag; nothing without a writer or with an empty name.
  void BeginResponse(const WCHAR* pwszName);
  // The response element's end tag, the root end tag, and the last block.
  void EndResponse(const WCHAR* pwszName);

  XmlResponseWriter* Writer() const { return m_pWriter; }

 protected:
  XmlResponseWriter* m_pWriter;
  DWORD m_nMajorVersion;
  DWORD m_nMinorVersion;
};

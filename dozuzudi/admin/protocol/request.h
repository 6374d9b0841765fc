// The request handler: one per request, on the worker's stack. It owns the
// response writer and the request's CIcuTrans, and routes the request
// element of an AdminProtocol document.
#pragma once

#include "admin/password/ads/adsi_library.h"
#include "admin/response/connection_output.h"
#include "admin/response/xml_response_writer.h"
#include "admin/xml/icu_trans.h"
#include "platform/base/wintypes.h"

class CChangePasswordRequest;
class CGroupRequest;
class CXMLParser;

#define DISPATCH_ROUTED 0
#define DISPATCH_REFUSED 1
#define DISPATCH_THROTTLED 2

// ChangePassword's result when the guessing limits (guess_limit.h) refused
// the attempt: nothing was written.
#define CHANGE_PASSWORD_THROTTLED 1

// Results of AnswerGroupRequest.
#define GROUPS_ANSWERED 0     // ResponseGroup was written
#define GROUPS_REFUSED 1      // not a RequestGroup document: nothing written
#define GROUPS_BAD_REQUEST 2  // the message was refused; its error response was written

class CRequest {
 public:
  explicit CRequest(ConnectionOutput* pOutput);
  virtual ~CRequest();
  virtual int ChangePassword(CChangePasswordRequest& message) = 0;
  virtual int ResolveGroups(CGroupRequest& message) = 0;

  // DISPATCH_ROUTED when the request was routed (a response has been
  // written, or at least attempted); DISPATCH_REFUSED when nothing was
  // written and the caller is to answer "405 method not supported";
  // DISPATCH_THROTTLED when a change was refused by the guessing limits,
  // nothing was written and the caller is to answer "503 temporarily
  // overloaded".
  int Dispatch(unsigned char* pbBody, DWORD cbBody);

  // The group operation for callers that invoke it directly (Dispatch
  // refuses group requests): reads the document as Dispatch does up to its
  // request element, which must be RequestGroup, parses the message and
  // answers it with ResolveGroups.
  int AnswerGroupRequest(unsigned char* pbBody, DWORD cbBody);

  // Sends one block through the request's connection; always true.
  bool SendResponseBlock(BYTE* pbBlock, DWORD cbBlock, bool fLast, DWORD cbBefore, DWORD cbAfter);

  CRequest(const CRequest&) = delete;
  CRequest& operator=(const CRequest&) = delete;

 private:
  // Detects the encoding, checks the AdminProtocol root and reads up to the
  // request element, whose RequestKeywords id goes to *pnRequest; the writer
  // answers as version 1. False when the document is refused.
  bool OpenRequest(CXMLParser& parser, unsigned char* pbBody, DWORD cbBody, DWORD* pnRequest);

 protected:
  XmlResponseWriter m_writer;
  CIcuTrans m_trans;
  ConnectionOutput* m_pOutput;
};

class CRequest20 : public CRequest {
 public:
  explicit CRequest20(ConnectionOutput* pOutput);
  ~CRequest20() override;
  int ChangePassword(CChangePasswordRequest& message) override;
  int ResolveGroups(CGroupRequest& message) override;

  bool AccessListsHidden() const { return m_fAccessListsHidden != FALSE; }
  HMODULE AdsiModule() const { return m_hAdsiModule; }
  const CAdsiEntryPoints& AdsiEntries() const { return m_adsiEntryPoints; }

 private:
  void LoadDirectoryServices();

  HMODULE m_hAdsiModule;
  BOOL m_fAccessListsHidden;
  // Taken from m_hAdsiModule, valid while the handler holds it.
  CAdsiEntryPoints m_adsiEntryPoints;
};

// The version text of the directory services ("2,5,0,0") is at least 2.5,
// compared component by component; a version without a comma after the
// compared components is too old.
bool IsAdsiVersionRecentEnough(const WCHAR* pwszVersion);

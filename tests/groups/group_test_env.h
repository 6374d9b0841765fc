// Group requests answered in-process by the request handler, through
// AnswerGroupRequest, with a registry of the test's own; and the documents
// they are made of.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "admin/groups/group_request.h"
#include "admin/messages/keyword_tables.h"
#include "admin/protocol/request.h"
#include "admin/xml/icu_trans.h"
#include "fake_isapi_host.h"

// What a handler saw of the message it resolved.
struct CSeenMessage {
  bool fOneLevel = true;
  std::vector<std::u16string> rgsGroups;  // "domain|name|type"
  std::u16string sUser, sDomain, sPassword;
  DWORD nDomainType = 0;
};

class CRecordingRequest : public CRequest20 {
 public:
  CRecordingRequest(ConnectionOutput* pOutput, CSeenMessage* pSeen, bool fResolve)
      : CRequest20(pOutput), m_pSeen(pSeen), m_fResolve(fResolve) {}
  int ResolveGroups(CGroupRequest& message) override {
    m_pSeen->fOneLevel = message.IsOneLevel();
    for (DWORD i = 0; i < message.GroupCount(); ++i) {
      const CGroupName* p = message.Group(i);
      m_pSeen->rgsGroups.push_back(std::u16string(p->Domain()) + u"|" + p->Name() + u"|" +
                                   static_cast<char16_t>(u'0' + p->Type()));
    }
    auto text = [](const WCHAR* pw) { return pw == nullptr ? std::u16string(u"(null)") : std::u16string(pw); };
    m_pSeen->sUser = text(message.UserName());
    m_pSeen->sDomain = text(message.Domain());
    m_pSeen->sPassword = text(message.Password());
    m_pSeen->nDomainType = message.DomainType();
    return m_fResolve ? CRequest20::ResolveGroups(message) : 0;
  }

 private:
  CSeenMessage* m_pSeen;
  bool m_fResolve;
};

struct CGroupAnswer {
  int nResult = -1;
  std::string sBody;
  CSeenMessage seen;
};

class GroupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The extension runs in processes that ignore SIGPIPE (vltadmin-host,
    // vltadmin-groups): directory connections the server closed may still
    // be written to, at the latest when idle ones are closed at exit.
    signal(SIGPIPE, SIG_IGN);
    int nError = 0;
    ASSERT_TRUE(CIcuTrans::Initialize(&nError, nullptr)) << nError;
    InitKeywordTables();
  }
  void TearDown() override { CIcuTrans::Terminate(); }

  // The registry: the install location, group lists exposed, and more.
  void UseRegistry(const std::string& sMore, bool fExpose = true) {
    m_registry.Use((fExpose ? vlttest::RegKey("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Veltra\\XMLService",
                                              vlttest::RegDword("ExposeAccessLists", 1))
                            : "") +
                   sMore);
  }

  // Answers a document; without fResolve the message is only recorded.
  static CGroupAnswer Answer(const std::string& sDocument, bool fResolve = true) {
    vlttest::FakeConnection conn(vlttest::FakeRequestOptions{});
    ConnectionOutput output;
    output.m_pECB = conn.Ecb();
    // The document alone, without HTTP framing.
    output.m_fHeaderPending = false;
    CGroupAnswer answer;
    {
      CRecordingRequest handler(&output, &answer.seen, fResolve);
      std::string copy = sDocument;
      answer.nResult = handler.AnswerGroupRequest(reinterpret_cast<unsigned char*>(copy.data()),
                                                  static_cast<DWORD>(copy.size()));
    }
    answer.sBody = conn.Written();
    return answer;
  }

  // An AdminProtocol document around a RequestGroup with these children.
  static std::string Request(const std::string& sChildren) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<AdminProtocol version=\"1.0\"><RequestGroup>" + sChildren +
           "</RequestGroup></AdminProtocol>";
  }
  static std::string Group(const std::string& sName, const std::string& sDomain, const std::string& sType = "NT") {
    return "<GroupName domain=\"" + sDomain + "\" type=\"" + sType + "\">" + sName + "</GroupName>";
  }

  // The answer's elements, one a line: "Group Y\X T" for a group element,
  // "user Y\X" and "group Y\X" for its members, "error ID".
  static std::vector<std::string> Lines(const std::string& sBody);
  // The lines of the answer to a request with these children.
  static std::vector<std::string> Listed(const std::string& sChildren) { return Lines(Answer(Request(sChildren)).sBody); }

  vlttest::ScopedRegistryFile m_registry;
};

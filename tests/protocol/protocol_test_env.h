// Runs documents through a request handler in-process and captures what the
// web server would have been given; the back ends record their calls.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "admin/password/password_back_ends.h"
#include "admin/messages/keyword_tables.h"
#include "admin/protocol/request.h"
#include "admin/xml/icu_trans.h"
#include "change_documents.h"
#include "fake_isapi_host.h"

// Exposes the handler's writer and CIcuTrans to tests.
class TestRequest : public CRequest20 {
 public:
  using CRequest20::CRequest20;
  XmlResponseWriter& Writer() { return m_writer; }
  CIcuTrans& Trans() { return m_trans; }
};

struct Exchange {
  int nDispatch = -1;
  std::string status;
  std::string header;
  std::string body;
  bool fKeepConn = false;
};

// One back-end call: which back end, and its arguments (NDS ones widened).
struct BackEndCall {
  std::string backEnd;
  std::u16string domain, user, oldPassword, newPassword;
};

class ProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int nError = 0;
    ASSERT_TRUE(CIcuTrans::Initialize(&nError, nullptr)) << nError;
    InitKeywordTables();
    m_savedBackEnds = g_passwordBackEnds;
    g_passwordBackEnds = {Nt, Ads, Nds};
    ms_rgCalls.clear();
    ms_ntStatus = 0;
  }
  void TearDown() override {
    g_passwordBackEnds = m_savedBackEnds;
    CIcuTrans::Terminate();
  }

  // Dispatches a body as the worker would and returns what was sent.
  static Exchange Dispatch(const std::string& body) {
    vlttest::FakeConnection conn({.body = body});
    ConnectionOutput output;
    output.m_pECB = conn.Ecb();
    int nDispatch = -1;
    {
      TestRequest handler(&output);
      std::string copy = body;
      nDispatch = handler.Dispatch(reinterpret_cast<unsigned char*>(copy.data()), static_cast<DWORD>(copy.size()));
    }
    return {nDispatch, conn.Status(), conn.Header(), conn.Written(), conn.KeepConn()};
  }

  // A handler on a fresh fake connection whose CIcuTrans has read the
  // declaration of doc (kept in m_doc), answering as version 1.
  void Prepare(const std::string& doc) {
    m_doc = doc;
    m_conn = std::make_unique<vlttest::FakeConnection>(vlttest::FakeRequestOptions{});
    m_output.m_pECB = m_conn->Ecb();
    m_handler = std::make_unique<TestRequest>(&m_output);
    int nError = 0;
    ASSERT_TRUE(m_handler->Trans().ParseXMLSignature(reinterpret_cast<unsigned char*>(m_doc.data()),
                                                     static_cast<int>(m_doc.size()), &nError));
    m_handler->Writer().m_nMajorVersion = 1;
  }
  XmlResponseWriter& Writer() { return m_handler->Writer(); }

  static std::u16string Widened(const char* psz) {
    std::u16string s;
    while (*psz) s += static_cast<unsigned char>(*psz++);
    return s;
  }
  static NET_API_STATUS Nt(LPCWSTR d, LPCWSTR u, LPCWSTR o, LPCWSTR n) {
    ms_rgCalls.push_back({"NT", d, u, o, n});
    return ms_ntStatus;
  }
  static AdminError Ads(LPCWSTR u, LPCWSTR o, LPCWSTR n) {
    ms_rgCalls.push_back({"ADS", u"", u, o, n});
    return ERR_ID_NEW_PASSWORD_INVALID;
  }
  static AdminError Nds(const char* u, const char* t, const char* o, const char* n) {
    ms_rgCalls.push_back({"NDS", Widened(t), Widened(u), Widened(o), Widened(n)});
    return nullptr;
  }
  static inline std::vector<BackEndCall> ms_rgCalls;
  static inline NET_API_STATUS ms_ntStatus = 0;

  vlttest::ScopedRegistryFile registry;
  CPasswordBackEnds m_savedBackEnds{};
  std::string m_doc;
  std::unique_ptr<vlttest::FakeConnection> m_conn;
  ConnectionOutput m_output;
  std::unique_ptr<TestRequest> m_handler;
};

inline std::string LengthHeader(size_t cb) {
  return "Content-type: text/xml\r\nContent-length: " + std::to_string(cb) + "\r\n\r\n";
}

// Runs documents through a request handler in-process and captures what the
// web server would have been given.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "admin/password/password_back_ends.h"
#include "admin/protocol/keyword_tables.h"
#include "admin/protocol/request.h"
#include "admin/xml/icu_trans.h"
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

class ProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    int nError = 0;
    ASSERT_TRUE(CIcuTrans::Initialize(&nError, nullptr)) << nError;
    InitKeywordTables();
    m_savedBackEnds = g_passwordBackEnds;
  }
  void TearDown() override {
    g_passwordBackEnds = m_savedBackEnds;
    CIcuTrans::Terminate();
  }

  // Dispatches a body as the worker would and returns what was sent.
  static Exchange Dispatch(const std::string& body) {
    vlttest::FakeRequestOptions options;
    options.body = body;
    vlttest::FakeConnection conn(options);
    ConnectionOutput output;
    output.m_pECB = conn.Ecb();
    Exchange exchange;
    {
      TestRequest handler(&output);
      std::string copy = body;
      exchange.nDispatch =
          handler.Dispatch(reinterpret_cast<unsigned char*>(copy.data()), static_cast<DWORD>(copy.size()));
    }
    exchange.status = conn.Status();
    exchange.header = conn.Header();
    exchange.body = conn.Written();
    exchange.fKeepConn = conn.KeepConn();
    return exchange;
  }

  vlttest::ScopedRegistryFile registry{vlttest::ScopedRegistryFile::WithInstallLocation()};
  PasswordBackEnds m_savedBackEnds{};
};

// The whole response document for an error id (null: success), in UTF-8
// with the given declared encoding name.
inline std::string ChangePasswordResponse(const char* pszErrorId, const char* pszEncoding = "UTF-8") {
  std::string doc = std::string("<?xml version=\"1.0\" encoding=\"") + pszEncoding +
                    "\" ?>\n<!DOCTYPE AdminProtocol SYSTEM \"Admin.dtd\">\n"
                    "<AdminProtocol version=\"1\">\n    <ResponseChangePassword>\n";
  if (pszErrorId != nullptr) doc += std::string("      <ErrorId>") + pszErrorId + "</ErrorId>\n";
  doc += "    </ResponseChangePassword>\n</AdminProtocol>\n";
  return doc;
}

inline std::string LengthHeader(size_t cb) {
  return "Content-type: text/xml\r\nContent-length: " + std::to_string(cb) + "\r\n\r\n";
}

// A change-password request in UTF-8 with the given children.
inline std::string ChangeRequest(const std::string& children) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<AdminProtocol version=\"1.0\">"
         "<RequestChangePassword>" +
         children + "</RequestChangePassword></AdminProtocol>";
}

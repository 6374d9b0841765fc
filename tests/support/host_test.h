// Tests against a real vltadmin-host over loopback: with the host tests'
// extension (HostTest) or with the real extension, a registry of the
// test's own and (unless a test turns it off) the stand-in NDS client
// library (HostWithExtension).
#pragma once

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "change_documents.h"
#include "host_process.h"
#include "http_client.h"
#include "test_registry.h"

inline std::string Get(const std::string& target) { return "GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n"; }
inline std::string Post(const std::string& target, const std::string& body, const std::string& extra = "") {
  return CHttpClient::Request("POST", target, "text/xml", body, extra);
}
// How often |what| occurs in |text|.
inline size_t Occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; ++at) ++n;
  return n;
}
inline std::string TestExtensionPath() { return CHostProcess::BinDir() + "/libvlt_test_extension.so"; }

class HostTest : public ::testing::Test {
 protected:
  // Starts the host with the test extension at /test.dll and more options.
  void StartHost(std::vector<std::string> args = {}) {
    args.insert(args.begin(), {"--extension", "/test.dll=" + TestExtensionPath()});
    StartHostWith(args);
  }
  void StartHostWith(const std::vector<std::string>& args) { ASSERT_TRUE(m_host.Start(args)) << m_host.Stderr(); }
  void Connect(CHttpClient& client) { ASSERT_TRUE(client.Connect(m_host.Port())); }
  // Sends one request on a new connection (to nPort, when given, instead of
  // the host's port) and reads the response.
  CHttpResponse RoundTrip(const std::string& request, unsigned short nPort = 0) {
    CHttpClient client;
    CHttpResponse response;
    EXPECT_TRUE(client.Connect(nPort != 0 ? nPort : m_host.Port()));
    EXPECT_TRUE(client.Send(request));
    EXPECT_TRUE(client.ReadResponse(response)) << response.m_raw;
    return response;
  }
  // Everything the host sends on a new connection up to its close.
  std::string UntilClose(const std::string& request) {
    CHttpClient client;
    std::string all;
    EXPECT_TRUE(client.Connect(m_host.Port()) && client.Send(request) && client.ReadUntilClose(all)) << request;
    return all;
  }
  // The host stops as it would in service; a sanitizer's report from it
  // fails the test. A failed test shows what the host said.
  void TearDown() override {
    m_host.Stop(SIGTERM);
    std::string sStderr = m_host.Stderr();
    EXPECT_EQ(sStderr.find("Sanitizer"), std::string::npos);
    EXPECT_EQ(sStderr.find("runtime error:"), std::string::npos);
    if (HasFailure()) std::fprintf(stderr, "--- host stderr ---\n%s\n", sStderr.c_str());
  }

  CHostProcess m_host;
};

class HostWithExtension : public HostTest {
 protected:
  static constexpr const char* kUrl = "/Scripts/vltadmin/vltadmin.dll";

  void StartHost(const std::string& registryMore = "", std::vector<std::string> args = {}) {
    m_registry.Use(registryMore);
    if (m_fStandInNds) m_host.SetEnv("VLTADMIN_MODULE_PATH", std::string(std::getenv("VLT_TEST_MODULES")) + "/nds");
    args.insert(args.begin(), {"--registry", m_registry.Path(), "--extension",
                               std::string(kUrl) + "=" + CHostProcess::BinDir() + "/libvltadmin.so"});
    StartHostWith(args);
  }
  // Replaces the registry (the host reads it at each request).
  void UseRegistry(const std::string& registryMore) { m_registry.Use(registryMore); }
  // Registry text that turns the guessing limits off, for tests of a back
  // end's own lockout or of many requests with one wrong password.
  static std::string NoGuessingLimits() {
    return vlttest::VeltraKey("XML Service", vlttest::RegDword("FailuresPerUser", 0) +
                                                 vlttest::RegDword("FailuresPerAddress", 0));
  }

  // Posts a change-password document; the answer's error id, "" for success.
  std::string Answer(const std::string& body) {
    CHttpResponse response = RoundTrip(Post(kUrl, body));
    EXPECT_EQ(response.m_statusLine, "HTTP/1.1 200 OK");
    return ErrorIdOf(response.m_body);
  }
  // The same without the check: the status line of an answer that is not 200.
  std::string Outcome(const std::string& body) {
    CHttpResponse response = RoundTrip(Post(kUrl, body));
    return response.m_statusLine == "HTTP/1.1 200 OK" ? ErrorIdOf(response.m_body) : response.m_statusLine;
  }

  // The stand-in NDS client library instead of the real one beside the
  // platform library.
  bool m_fStandInNds = true;
  vlttest::ScopedRegistryFile m_registry;
};

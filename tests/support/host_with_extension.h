// vltadmin-host serving the real extension, with a registry of the test's
// own and (unless a test turns it off) the stand-in NDS client library.
#pragma once

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "change_documents.h"
#include "fake_isapi_host.h"
#include "host_process.h"
#include "http_client.h"

class HostWithExtension : public ::testing::Test {
 protected:
  static constexpr const char* kUrl = "/Scripts/vltadmin/vltadmin.dll";

  void StartHost(const std::string& registryMore = "", std::vector<std::string> args = {}) {
    UseRegistry(registryMore);
    if (m_fStandInNds) m_host.SetEnv("VLTADMIN_MODULE_PATH", std::string(std::getenv("VLT_TEST_MODULES")) + "/nds");
    args.insert(args.begin(), {"--registry", m_registry.Path()});
    ASSERT_TRUE(m_host.Start(args)) << m_host.Stderr();
  }
  // Replaces the registry (the host reads it at each request).
  void UseRegistry(const std::string& registryMore) {
    m_registry.Rewrite(vlttest::ScopedRegistryFile::WithInstallLocation(registryMore));
  }

  // Sends one request on a new connection and reads the response.
  CHttpResponse Exchange(const std::string& request) {
    CHttpClient client;
    EXPECT_TRUE(client.Connect(m_host.Port()));
    EXPECT_TRUE(client.Send(request));
    CHttpResponse response;
    EXPECT_TRUE(client.ReadResponse(response));
    return response;
  }

  static std::string Post(const std::string& body, const std::string& type = "text/xml") {
    return CHttpClient::Request("POST", kUrl, type, body);
  }

  // Posts a change-password document; the answer's error id, "" for success.
  std::string Answer(const std::string& body) {
    CHttpResponse response = Exchange(Post(body));
    EXPECT_EQ(response.m_statusLine, "HTTP/1.1 200 OK");
    return ErrorIdOf(response.m_body);
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

  // The stand-in NDS client library instead of the real one beside the
  // platform library.
  bool m_fStandInNds = true;
  vlttest::ScopedRegistryFile m_registry{vlttest::ScopedRegistryFile::WithInstallLocation()};
  CHostProcess m_host;
};

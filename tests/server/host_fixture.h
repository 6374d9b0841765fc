// Starts vltadmin-host with the test extension at /test.dll.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host_process.h"
#include "http_client.h"

inline std::string Get(const std::string& target) {
  return "GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n";
}

inline std::string Post(const std::string& target, const std::string& body,
                        const std::string& extra = "") {
  return CHttpClient::Request("POST", target, "text/xml", body, extra);
}

inline std::string TestExtensionPath() { return CHostProcess::BinDir() + "/libvlt_test_extension.so"; }

class HostTest : public ::testing::Test {
 protected:
  // Starts the host with the test extension and |extra| options.
  void StartHost(std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"--extension", "/test.dll=" + TestExtensionPath()};
    args.insert(args.end(), extra.begin(), extra.end());
    ASSERT_TRUE(m_host.Start(args)) << m_host.Stderr();
  }
  void Connect(CHttpClient& client) { ASSERT_TRUE(client.Connect(m_host.Port())); }
  // Sends one request on a new connection and reads the response.
  CHttpResponse RoundTrip(const std::string& request) {
    CHttpClient client;
    CHttpResponse response;
    EXPECT_TRUE(client.Connect(m_host.Port()));
    EXPECT_TRUE(client.Send(request));
    EXPECT_TRUE(client.ReadResponse(response)) << response.m_raw;
    return response;
  }

  CHostProcess m_host;
};

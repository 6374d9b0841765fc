// End to end through vltadmin-host: the host serves the extension only while
// setup's web application exists, without a restart, while another
// application is created in the same metabase at the same time.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <future>

#include "http_client.h"
#include "platform/com/com.h"
#include "platform/text/wstr.h"
#include "platform/wam/iwamadmin.h"
#include "setup_tree.h"

namespace {

constexpr char kUrl[] = "/Scripts/vltadmin/vltadmin.dll";
constexpr char kChange[] =
    "<?xml version=\"1.0\"?><AdminProtocol version=\"1.0\"><RequestChangePassword><UserName>x"
    "</UserName><OldPassword>a</OldPassword><NewPassword>b</NewPassword></RequestChangePassword>"
    "</AdminProtocol>";

// The status of a change request to |url|; 200 only when the extension
// answered it in-band.
int Status(unsigned short nPort, const std::string& url) {
  CHttpClient client;
  CHttpResponse response;
  if (!client.Connect(nPort) || !client.Send(CHttpClient::Request("POST", url, "text/xml", kChange)) ||
      !client.ReadResponse(response))
    return 0;
  if (response.m_nStatus == 200 && response.m_body.find("<ErrorId>operation-failed</ErrorId>") == std::string::npos)
    return -1;
  return response.m_nStatus;
}

// Creates applications "other0" to "other{n-1}" through the WAM object.
HRESULT CreateOthers(int n) {
  CoInitialize(nullptr);
  IWamAdmin* pAdmin = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_WamAdmin, nullptr, CLSCTX_ALL, IID_IWamAdmin,
                                reinterpret_cast<void**>(&pAdmin));
  for (int i = 0; SUCCEEDED(hr) && i < n; ++i)
    hr = pAdmin->AppCreate(platform::FromUtf8("/LM/W3SVC/1/ROOT/Scripts/other" + std::to_string(i)).c_str(), TRUE);
  if (pAdmin != nullptr) pAdmin->Release();
  CoUninitialize();
  return hr;
}

TEST(SetupThroughHostConcurrentTest, ConfigureServeUnconfigure) {
  setuptest::CSetupTree tree;
  CHostProcess host;
  ASSERT_TRUE(host.Start({"--registry", tree.RegistryFile()})) << host.Stderr();
  EXPECT_EQ(Status(host.Port(), kUrl), 404) << "no application yet";

  constexpr int kOthers = 20;
  auto others = std::async(std::launch::async, CreateOthers, kOthers);
  EXPECT_EQ(tree.RunSetup({"configure"}), 0);
  EXPECT_EQ(others.get(), S_OK);
  std::vector<std::string> apps = tree.Applications();
  EXPECT_EQ(apps.size(), static_cast<size_t>(kOthers + 1)) << "no entry lost";
  EXPECT_NE(std::find(apps.begin(), apps.end(), setuptest::kAppPath), apps.end());

  EXPECT_EQ(Status(host.Port(), kUrl), 200);
  const struct {
    const char* pszUrl;
    int nStatus;
  } kOtherUrls[] = {
      {"/Scripts/vltadmin/./vltadmin.dll", 404},  // no "." names
      {"/Scripts/other0/vltadmin.dll", 404},      // an application without the file
      {"/Scripts/hqsrv.dll", 404},                // no application covers /Scripts
  };
  for (const auto& c : kOtherUrls) EXPECT_EQ(Status(host.Port(), c.pszUrl), c.nStatus) << c.pszUrl;

  EXPECT_EQ(tree.RunSetup({"unconfigure"}), 0);
  EXPECT_EQ(Status(host.Port(), kUrl), 404) << "application deleted, host not restarted";
  EXPECT_EQ(tree.Applications().size(), static_cast<size_t>(kOthers));
  EXPECT_EQ(host.Stop(SIGTERM), 0) << host.Stderr();
}

}  // namespace

#include <string>

#include "protocol_test_env.h"

namespace {

using DispatchTest = ProtocolTest;

void ExpectAnswer(const Exchange& e, const char* pszErrorId) {
  std::string body = ChangePasswordResponse(pszErrorId);
  EXPECT_EQ(e.nDispatch, DISPATCH_ROUTED);
  EXPECT_EQ(e.status, "200 OK");
  EXPECT_EQ(e.header, LengthHeader(body.size()));
  EXPECT_TRUE(e.fKeepConn);
  EXPECT_EQ(e.body, body);
}

const std::string s_ntChange = ChangeRequest("jsmith", "old", "new", "NT", "SALES");

}  // namespace

TEST_F(DispatchTest, DocumentsTheDispatcherRefuses) {
  for (const char* pszDoc : {
           "<AdminProtocol><RequestChangePassword/></AdminProtocol>",  // no declaration
           "<?xml version=\"1.0\"?><adminprotocol><RequestChangePassword/></adminprotocol>",
           "<?xml version=\"1.0\"?><AdminProtocol><RequestGroup/></AdminProtocol>",
           "<?xml version=\"1.0\"?><AdminProtocol><RequestChangePasswordX/></AdminProtocol>",
           "<?xml version=\"1.0\"?><AdminProtocol a=\"1></AdminProtocol>",
           "<?xml version=\"1.1\"?><AdminProtocol/>",
           // A root with no child element ends the document: refused, not a loop.
           "<?xml version=\"1.0\"?><AdminProtocol/>",
           "<?xml version=\"1.0\"?><AdminProtocol></AdminProtocol>",
           "<?xml version=\"1.0\"?><AdminProtocol version=\"1.0\"> text </AdminProtocol>",
       }) {
    Exchange e = Dispatch(pszDoc);
    EXPECT_EQ(e.nDispatch, DISPATCH_REFUSED) << pszDoc;
    EXPECT_EQ(e.status + e.body, "") << pszDoc;
  }
  EXPECT_TRUE(ms_rgCalls.empty());
}

TEST_F(DispatchTest, AnyVersionIsServedAsVersionOne) {
  for (const char* pszRoot : {"<AdminProtocol version=\"2.0\">", "<AdminProtocol>", "<AdminProtocol version=\"x\">"}) {
    const std::string root = "<AdminProtocol version=\"1.0\">";
    std::string doc = s_ntChange;
    doc.replace(doc.find(root), root.size(), pszRoot);
    ExpectAnswer(Dispatch(doc), nullptr);
  }
  EXPECT_EQ(ms_rgCalls.size(), 3u);
}

// Success, wrong old passwords, too short new ones and failures of the
// domain meet real account stores through HTTP (accounts tests); these
// refusals no store there makes.
TEST_F(DispatchTest, NtStatusesMapToErrorIds) {
  for (NET_API_STATUS status : {2244u, 2246u}) {  // history, minimum age
    ms_ntStatus = status;
    ExpectAnswer(Dispatch(s_ntChange), "new-password-invalid");
  }
}


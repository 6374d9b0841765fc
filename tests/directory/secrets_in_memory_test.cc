// After a run of changes through vltadmin-host (an account store, a KDC and
// the directory on a private slapd), no old or new password is left anywhere in
// the host's memory: not in UTF-8, UTF-16LE or the request's own encoding; nor
// did one reach the access log, standard error or a trace record of any level.
// Requests go in UTF-8, UTF-16LE and ISO-8859-1; besides changes there are
// wrong old passwords, refused new ones, truncated and refused documents.
#include <thread>

#include "account_test_support.h"
#include "host_test.h"
#include "process_memory.h"
#include "scratch_dir.h"
#include "slapd_server.h"
#include "trace_capture.h"

namespace {

// UTF-8 text (ASCII and Latin-1 letters only) in ISO-8859-1.
std::string ToLatin1(const std::string& s) { return Encode(s, "ISO-8859-1"); }

enum class EEncoding { kUtf8, kUtf16le, kLatin1 };

std::string Document(EEncoding e, const std::string& user, const std::string& domainElement,
                     const std::string& oldPassword, const std::string& newPassword) {
  std::string body = "<AdminProtocol version=\"1.0\"><RequestChangePassword><UserName>" + user +
                     "</UserName>" + domainElement + "<OldPassword>" + oldPassword +
                     "</OldPassword><NewPassword>" + newPassword +
                     "</NewPassword></RequestChangePassword></AdminProtocol>";
  switch (e) {
    case EEncoding::kUtf8: return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + body;
    case EEncoding::kUtf16le: return Encode("<?xml version=\"1.0\"?>" + body, "UTF-16LE");
    case EEncoding::kLatin1: return ToLatin1("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + body);
  }
  return body;
}

class SecretsInMemory : public HostWithExtension {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_slapd.Started());
    ASSERT_TRUE(accounttest::MakeStore(m_dir.Path("demo.db"), {{"alice", Remember("Start-\xC3\xA9t\xC3\xA9-0").c_str()}}));
    ASSERT_EQ(m_kdc.Start(), 0) << "kdc.sh start failed";
  }
  const std::string& Remember(const std::string& password) { return m_passwords.emplace_back(password); }
  // A unique password, with a letter outside ASCII so that its encodings differ.
  std::string Fresh(const char* pszWhat) {
    return Remember(std::string(pszWhat) + "-\xC3\xA9" + std::to_string(m_passwords.size()) + "-Zq");
  }
  std::string Send(const std::string& document) {
    CHttpResponse response = RoundTrip(Post(kUrl, document));
    if (response.m_statusLine != "HTTP/1.1 200 OK") return response.m_statusLine;
    std::string body = response.m_body;
    if (body.size() >= 2 && body[1] == '\0') {  // a UTF-16LE answer: its ASCII letters
      std::string narrow;
      for (size_t i = 0; i < body.size(); i += 2) narrow.push_back(body[i]);
      body = narrow;
    }
    return ErrorIdOf(body);
  }

  CSlapdServer m_slapd;
  vlttest::CScriptedServer m_kdc{"accounts/kdc.sh", 3};
  vlttest::CScratchDir m_dir;
  std::vector<std::string> m_passwords;
};

TEST_F(SecretsInMemory, NoPasswordOutlivesItsRequest) {
  vlttest::CTraceCapture capture;
  ASSERT_TRUE(capture.Started());
  m_host.SetEnv("VLTQTR_DEVICE", capture.SocketPath());
  StartHost(NoGuessingLimits() + vlttest::LocalDomain("DEMO", m_dir.Path("demo.db")) + m_slapd.Registry() +
                vlttest::KerberosDomain("KERB", m_kdc.Port(0), m_kdc.Port(1)),
            {"--access-log", m_dir.Path("access.log")});
  const std::string nt = "<Domain type=\"NT\">DEMO</Domain>";
  std::string current = m_passwords.back();
  const std::string kerberos = "<Domain type=\"NT\">KERB</Domain>";
  std::string directory = "Passw0rd!";  // alice's and carol's in the directory
  std::string kdc = "Passw0rd!";        // every user's at the KDC
  const char* const kKdcUsers[] = {"bob", "carol", "dave"};
  for (int nRound = 0; nRound < 3; ++nRound) {
    for (EEncoding e : {EEncoding::kUtf8, EEncoding::kUtf16le, EEncoding::kLatin1}) {
      SCOPED_TRACE(static_cast<int>(e));
      std::string next = Fresh("New");
      ASSERT_EQ(Send(Document(e, "alice", nt, Fresh("Wrong"), Fresh("Unused"))), "old-password-invalid");
      ASSERT_EQ(Send(Document(e, "alice", nt, current, next)), "");
      current = next;
      // Cut short inside the closing tags: the parse fails after the passwords.
      std::string cut = Document(e, "alice", nt, Fresh("Cut"), Fresh("Cut"));
      EXPECT_EQ(Send(cut.substr(0, cut.size() - 30)), "bad-request");
      // A document the dispatcher refuses, with passwords in it.
      std::string other = Document(e, "alice", nt, Fresh("Refused"), Fresh("Refused"));
      other.replace(other.find(e == EEncoding::kUtf16le ? std::string("A\0d\0m\0i\0n", 9) : "Admin"),
                    e == EEncoding::kUtf16le ? 9 : 5, e == EEncoding::kUtf16le ? std::string("O\0t\0h\0e\0r", 9)
                                                                               : "Other");
      EXPECT_EQ(Send(other), "HTTP/1.1 405 method not supported");
      // Declared UTF-8, written in ISO-8859-1: the conversion fails.
      EXPECT_EQ(Send(ToLatin1(Document(EEncoding::kUtf8, "alice", nt, Fresh("Mislabelled"), Fresh("Mislabelled")))),
                "HTTP/1.1 405 method not supported");
      // The directory: a change, a wrong old password, a refused new one.
      std::string nextDirectory = Fresh("Dir");
      ASSERT_EQ(Send(Document(e, "alice@example.test", "", directory, nextDirectory)), "");
      EXPECT_EQ(Send(Document(e, "carol@example.test", "", Fresh("Wrong"), Fresh("Unused"))),
                "old-password-invalid");
      directory = nextDirectory;
      // The KDC: a change, and a wrong old password once per user (the KDC
      // locks an account after a few).
      std::string nextKdc = Fresh("Kdc");
      ASSERT_EQ(Send(Document(e, "alice", kerberos, kdc, nextKdc)), "");
      if (nRound == 0) {
        EXPECT_EQ(Send(Document(e, kKdcUsers[static_cast<int>(e)], kerberos, Fresh("Wrong"), Fresh("Unused"))),
                  "old-password-invalid");
      }
      kdc = nextKdc;
    }
  }
  m_passwords.push_back("Passw0rd!");
  // One more change on a connection kept open: its bytes may stay in the
  // web server's read buffer for as long as the connection lives.
  CHttpClient keptOpen;
  ASSERT_TRUE(keptOpen.Connect(m_host.Port()));
  std::string next = Fresh("Kept");
  ASSERT_TRUE(keptOpen.Send(Post(kUrl, Document(EEncoding::kUtf8, "alice", nt, current, next))));
  CHttpResponse response;
  ASSERT_TRUE(keptOpen.ReadResponse(response));
  EXPECT_EQ(ErrorIdOf(response.m_body), "");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the other connections closed

  std::vector<vlttest::CMemoryNeedle> needles;
  for (const std::string& password : m_passwords) {
    needles.push_back({password + " (UTF-8)", password});
    needles.push_back({password + " (UTF-16LE)", ToLatin1(password), true});
    if (ToLatin1(password) != password) needles.push_back({password + " (ISO-8859-1)", ToLatin1(password)});
  }
  std::vector<vlttest::CMemoryHit> hits = vlttest::FindInProcessMemory(m_host.Pid(), needles);
  // The read buffers and io threads' stacks of the web server included.
  EXPECT_TRUE(hits.empty()) << hits.size() << " copies of passwords in the host's memory:\n"
                            << vlttest::DescribeHits(hits);

  std::vector<vlttest::CTraceRecord> records = capture.Stop();
  EXPECT_FALSE(records.empty()) << "tracing was off";
  std::vector<std::u16string> passwords;
  for (const std::string& password : m_passwords) passwords.push_back(platform::FromUtf8(password));
  vlttest::ExpectNoPasswordIn(passwords, records, m_host.Stderr(), vlttest::ReadFile(m_dir.Path("access.log")));
}

}  // namespace

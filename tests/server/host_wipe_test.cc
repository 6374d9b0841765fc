// Request bodies carry passwords: once its request is answered, the host
// keeps no copy of a body anywhere in its memory, freed blocks and the read
// buffer of a connection kept alive included, however the body arrived:
// whole, chunked, or dropped unread at the close.
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "host_test.h"
#include "process_memory.h"
#include "server/wiping_allocator.h"

namespace {

using namespace std::chrono_literals;

#define SECRET "Body-Secret-4e1f9a07c3-5d26b8e14f70"

TEST_F(HostTest, NoCopyOfARequestBodyOutlivesItsConnection) {
  StartHost();
  bool fReadable = false;
  ASSERT_FALSE(vlttest::HoldsSecret(m_host.Pid(), SECRET, &fReadable));
  if (!fReadable) GTEST_SKIP() << "the host's memory cannot be read here";

  const std::string small = "<p>" SECRET "</p>";
  const std::string large = std::string(20000, 'a') + SECRET + std::string(20000, 'b') + SECRET;
  const std::string chunked = "POST /test.dll?mode=discard HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n"
                              "20\r\n" + std::string(32, 'c') + "\r\n23\r\n" SECRET "\r\n0\r\n\r\n";
  {
    CHttpClient kept;
    Connect(kept);
    CHttpResponse r;
    for (const std::string& request : {Post("/test.dll?mode=discard", small), Post("/test.dll?mode=discard", large),
                                       chunked}) {
      ASSERT_TRUE(kept.Send(request));
      ASSERT_TRUE(kept.ReadResponse(r));
      // Answered, the body is gone while the connection waits for the next
      // (the worker ends its session just after the response).
      bool fFound = true;
      for (int i = 0; i < 100 && (fFound = vlttest::HoldsSecret(m_host.Pid(), SECRET)); ++i) std::this_thread::sleep_for(20ms);
      EXPECT_FALSE(fFound) << request.substr(0, 40);
    }
    // A body the extension never reads, dropped at the close.
    CHttpClient dropped;
    Connect(dropped);
    ASSERT_TRUE(dropped.Send(Post("/test.dll?mode=bare", large)));
    ASSERT_TRUE(dropped.ReadResponse(r));
    EXPECT_TRUE(dropped.PeerCloses(5s));
  }
  // The host notices the closes on its own time.
  bool fFound = true;
  for (int i = 0; i < 100 && (fFound = vlttest::HoldsSecret(m_host.Pid(), SECRET)); ++i) std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(fFound);
}

// The VmFlags of the mapping of this process that holds |pv|.
std::string FlagsOfMappingHolding(const void* pv) {
  std::ifstream smaps("/proc/self/smaps");
  const auto at = reinterpret_cast<uintptr_t>(pv);
  bool fIn = false;
  for (std::string line; std::getline(smaps, line);) {
    unsigned long nStart = 0, nEnd = 0;
    if (std::sscanf(line.c_str(), "%lx-%lx ", &nStart, &nEnd) == 2)
      fIn = nStart <= at && at < nEnd;
    else if (fIn && line.rfind("VmFlags:", 0) == 0)
      return line;
  }
  return "";
}

// Buffers of request bodies stay out of core dumps; an ordinary heap block
// shows that the check tells them apart.
TEST(SecretPages, LeftOutOfCoreDumps) {
  std::vector<char, CWipingAllocator<char>> readBuffer(5000, 'x');
  void* pvBody = platform::AllocateSecretPages(16000);
  std::vector<char> ordinary(5000, 'y');
  const struct {
    const void* pv;
    bool fSecret;
  } rgCase[] = {{readBuffer.data(), true}, {pvBody, true}, {ordinary.data(), false}};
  for (const auto& c : rgCase) {
    const std::string flags = FlagsOfMappingHolding(c.pv);
    ASSERT_FALSE(flags.empty()) << c.pv;
    EXPECT_EQ(flags.find(" dd") != std::string::npos, c.fSecret) << flags;
  }
  platform::FreeSecretPages(pvBody, 16000);
}

}  // namespace

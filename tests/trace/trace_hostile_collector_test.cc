// What the device and the collector do when the other side is hostile: a
// fake collector that answers opens with bad state blocks, never answers or
// stops reading; clients that register without end; viewers of other users.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <pwd.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "admin/trace/qtr_trace.h"
#include "fixture_support.h"
#include "host_process.h"
#include "trace_capture.h"
#include "platform/base/handle.h"
#include "platform/base/sync.h"
#include "platform/files/files.h"
#include "platform/trace/trace_device.h"
#include "platform/trace/trace_wire.h"

namespace {

constexpr GUID kguidModule = {0x0bad0bad, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};

// How the fake collector answers the first open request.
enum class EAnswer {
  kRefusal, kNoState, kEmptyMemfd, kUnsealedMemfd, kTwoDescriptors, kWrongType, kSilence, kStopReading
};

int SealedMemfd(off_t cb, bool fSeal) {
  int fd = memfd_create("fake-state", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (ftruncate(fd, cb) != 0) return -1;
  if (fSeal) fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW);
  return fd;
}

void SendReply(int fd, uint32_t nType, std::initializer_list<int> rgfd, int32_t nStatus = 0) {
  uint8_t rgb[8];
  std::memcpy(rgb, &nType, 4);
  std::memcpy(rgb + 4, &nStatus, 4);
  iovec iov{rgb, sizeof rgb};
  msghdr msg{};
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  alignas(cmsghdr) char rgbControl[CMSG_SPACE(2 * sizeof(int))] = {};
  if (rgfd.size() != 0) {
    msg.msg_control = rgbControl;
    msg.msg_controllen = CMSG_SPACE(rgfd.size() * sizeof(int));
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(rgfd.size() * sizeof(int));
    std::memcpy(CMSG_DATA(c), rgfd.begin(), rgfd.size() * sizeof(int));
  }
  sendmsg(fd, &msg, MSG_NOSIGNAL);
  for (int fdSent : rgfd) close(fdSent);
}

// The address of a socket at sPath. The scratch directory follows TMPDIR, so
// a path too long for sun_path fails the test instead of overrunning it.
sockaddr_un UnixAddress(const std::string& sPath) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (sPath.size() >= sizeof address.sun_path) ADD_FAILURE() << "socket path too long: " << sPath;
  sPath.copy(address.sun_path, sizeof address.sun_path - 1);
  return address;
}

// A collector of the attacker's making, served by a thread; one connection.
class CFakeCollector {
 public:
  explicit CFakeCollector(EAnswer eAnswer) {
    sockaddr_un address = UnixAddress(m_dir.Path("device.sock"));
    m_fdListen = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    bind(m_fdListen, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(m_fdListen, 4);
    setenv("VLTQTR_DEVICE", address.sun_path, 1);
    m_thread = std::thread([this, eAnswer] { Serve(eAnswer); });
  }
  ~CFakeCollector() {
    m_fStop = true;
    shutdown(m_fdListen, SHUT_RDWR);
    if (m_fdConnection >= 0) shutdown(m_fdConnection, SHUT_RDWR);
    m_thread.join();
    close(m_fdListen);
    if (m_fdConnection >= 0) close(m_fdConnection);
    unsetenv("VLTQTR_DEVICE");
  }

 private:
  void Serve(EAnswer eAnswer) {
    m_fdConnection = accept4(m_fdListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (m_fdConnection < 0) return;
    uint8_t rgb[1024];
    if (recv(m_fdConnection, rgb, sizeof rgb, 0) <= 0) return;
    const uint32_t kReply = platform::kTraceWireOpenReply;
    switch (eAnswer) {
      case EAnswer::kRefusal: SendReply(m_fdConnection, kReply, {}, 1); break;
      case EAnswer::kNoState: SendReply(m_fdConnection, kReply, {}); break;
      case EAnswer::kEmptyMemfd: SendReply(m_fdConnection, kReply, {SealedMemfd(0, true)}); break;
      case EAnswer::kUnsealedMemfd: SendReply(m_fdConnection, kReply, {SealedMemfd(16, false)}); break;
      case EAnswer::kTwoDescriptors:
        SendReply(m_fdConnection, kReply, {SealedMemfd(16, true), SealedMemfd(16, true)});
        break;
      case EAnswer::kWrongType: SendReply(m_fdConnection, platform::kTraceWireForward, {}); break;
      case EAnswer::kSilence: break;
      case EAnswer::kStopReading: SendReply(m_fdConnection, kReply, {SealedMemfd(16, true)}); return;
    }
    // Drains (or ignores) the rest until the test ends.
    while (!m_fStop && eAnswer != EAnswer::kSilence && recv(m_fdConnection, rgb, sizeof rgb, 0) > 0) {
    }
    while (!m_fStop) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

  vlttest::CScratchDir m_dir;
  int m_fdListen = -1;
  int m_fdConnection = -1;
  std::atomic<bool> m_fStop{false};
  std::thread m_thread;
};

// No device, a refusal, or a bad answer leaves the module silent with no
// handle kept, and the process alive.
TEST(HostileCollectorTest, BadOpenAnswersLeaveTheModuleSilent) {
  for (int nAnswer = -1; nAnswer <= static_cast<int>(EAnswer::kSilence); ++nAnswer) {
    SCOPED_TRACE(nAnswer);
    std::unique_ptr<CFakeCollector> pCollector;
    if (nAnswer < 0)
      setenv("VLTQTR_DEVICE", "/nonexistent/vltqtr.sock", 1);
    else
      pCollector = std::make_unique<CFakeCollector>(static_cast<EAnswer>(nAnswer));
    QtrTraceModule module = {INVALID_HANDLE_VALUE, &kguidModule, u"RK_Victim", kQtrClassNames};
    CQtrStateAddress state{nullptr};
    QtrOpen(&module, &state);
    EXPECT_EQ(state.load(), nullptr);
    EXPECT_EQ(module.hDevice, INVALID_HANDLE_VALUE);
    unsetenv("VLTQTR_DEVICE");
  }
}

// A collector that stops reading costs one bounded wait, not one per record:
// without that, these writes would take minutes.
TEST(HostileCollectorTest, ACollectorThatStopsReadingDoesNotStallWriters) {
  CFakeCollector collector(EAnswer::kStopReading);
  QtrTraceModule module = {INVALID_HANDLE_VALUE, &kguidModule, u"RK_Victim", kQtrClassNames};
  CQtrStateAddress state{nullptr};
  QtrOpen(&module, &state);
  ASSERT_NE(module.hDevice, INVALID_HANDLE_VALUE);
  std::string sItem(4000, 'x');
  int cFailed = 0;
  for (int i = 0; i < 5000; ++i) {
    const USHORT nMessage = 1;
    uint8_t rgbRecord[80] = {};
    EVENT_TRACE_HEADER header{};
    header.Size = 80;
    header.GuidPtr = reinterpret_cast<ULONGLONG>(&kguidModule);
    MOF_FIELD rgEntries[2] = {{reinterpret_cast<ULONGLONG>(&nMessage), 2, 0},
                              {reinterpret_cast<ULONGLONG>(sItem.data()), 4000, 0}};
    std::memcpy(rgbRecord, &header, sizeof header);
    std::memcpy(rgbRecord + 48, rgEntries, sizeof rgEntries);
    DWORD cb = 0;
    if (!DeviceIoControl(module.hDevice, IOCTL_QTR_WRITE, rgbRecord, 80, nullptr, 0, &cb, nullptr))
      ++cFailed;
  }
  EXPECT_GT(cFailed, 0) << "the socket buffer cannot hold 20 MB";
  CloseHandle(module.hDevice);
}

// The socket is for its user and group only; each connection registers a
// bounded number of modules.
TEST(CollectorLimitsTest, SocketModeAndModulesPerConnectionAreBounded) {
  vlttest::CTraceCapture collector;
  ASSERT_TRUE(collector.Started());
  struct stat st {};
  ASSERT_EQ(stat(collector.Collector().SocketPath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0660u);
  auto open = [](HANDLE hDevice) {
    const void* rgpIn[2] = {&kguidModule, u"RK_Flood"};
    void* pState = nullptr;
    DWORD cb = 0;
    return DeviceIoControl(hDevice, IOCTL_QTR_OPEN, rgpIn, sizeof rgpIn, &pState, sizeof pState, &cb,
                           nullptr) != FALSE;
  };
  HANDLE hFlood = CreateFileW(u"\\\\.\\Global\\VLTQTR", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(hFlood, INVALID_HANDLE_VALUE);
  int cAccepted = 0;
  for (int i = 0; i < 1000; ++i) cAccepted += open(hFlood) ? 1 : 0;
  EXPECT_EQ(cAccepted, vltqtr::CTraceCollector::kMaxModulesPerConnection);
  HANDLE hOther = CreateFileW(u"\\\\.\\Global\\VLTQTR", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_TRUE(open(hOther)) << "another client still registers";
  CloseHandle(hOther);
  CloseHandle(hFlood);
}

// Runs vltqtr as the unprivileged user; its exit status and what it said.
int RunViewerAsNobody(const std::string& sSocket, std::string* psSaid) {
  int nExit = -1;
  *psSaid = vlttest::RunCommand("runuser -u nobody -- " + CHostProcess::BinDir() + "/vltqtr --socket " + sSocket + " 2>&1",
                                &nExit);
  return nExit;
}

// Another user's collector gets no records; another user's viewer is told
// why it is refused and exits non-zero; neither takes the socket away.
TEST(CollectorLimitsTest, OtherUsersAreRefusedWithAReason) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run a process as another user";
  // Refused viewers, by the socket's mode and then by the collector itself.
  vlttest::CTraceCapture collector;
  ASSERT_TRUE(collector.Started());
  const std::string sSocket = collector.Collector().SocketPath();
  chmod(sSocket.substr(0, sSocket.rfind('/')).c_str(), 0755);
  for (mode_t mode : {0660, 0666}) {
    SCOPED_TRACE(mode);
    chmod(sSocket.c_str(), mode);
    std::string sSaid;
    EXPECT_EQ(RunViewerAsNobody(sSocket, &sSaid), 1);
    EXPECT_NE(sSaid.find(mode == 0660 ? "Permission denied" : "takes viewers of its own user"),
              std::string::npos)
        << sSaid;
    struct stat st {};
    EXPECT_EQ(stat(sSocket.c_str(), &st), 0) << "the socket is still the collector's";
  }

  // A collector of another user (SO_PEERCRED gives the user that called
  // listen): the device does not connect to it.
  const std::string sOther = sSocket + ".other";
  sockaddr_un address = UnixAddress(sOther);
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(seteuid(getpwnam("nobody")->pw_uid), 0);
  const int nListened = listen(fd, 4);
  ASSERT_EQ(seteuid(0), 0);
  ASSERT_EQ(nListened, 0);
  setenv("VLTQTR_DEVICE", sOther.c_str(), 1);
  EXPECT_EQ(CreateFileW(u"\\\\.\\Global\\VLTQTR", 0, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  close(fd);
  unlink(sOther.c_str());
}

}  // namespace

// The record QtrWrite hands to the device: its header, and entries that
// point at the caller's data (up to eight items) or at one block that
// gathers them (nine or more), within the data limit; and vltqtr's line
// for a record and its class lists.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "admin/trace/qtr_trace.h"
#include "collector_options.h"
#include "platform/base/handle.h"
#include "trace_capture.h"
#include "trace_record.h"

namespace {

using vlttest::Bytes;

constexpr GUID kguidTest = {0x11223344, 0x5566, 0x7788, {1, 2, 3, 4, 5, 6, 7, 8}};

// Keeps what a device sees of each write request: the header, the entries
// and, read during the request, the bytes each entry points at.
class CRecordingDevice final : public platform::CKernelObject {
 public:
  struct Request {
    DWORD nCode = 0;
    EVENT_TRACE_HEADER header;
    std::vector<MOF_FIELD> rgEntries;
    std::vector<std::vector<unsigned char>> rgEntryBytes;
  };
  BOOL IoControl(DWORD dwIoControlCode, LPVOID lpIn, DWORD cbIn, LPVOID, DWORD, LPDWORD) override {
    Request request;
    request.nCode = dwIoControlCode;
    const auto* pb = static_cast<const unsigned char*>(lpIn);
    std::memcpy(&request.header, pb, sizeof request.header);
    EXPECT_EQ(cbIn, request.header.Size);
    for (size_t i = 0; i < (cbIn - sizeof request.header) / sizeof(MOF_FIELD); ++i) {
      MOF_FIELD entry;
      std::memcpy(&entry, pb + sizeof request.header + i * sizeof entry, sizeof entry);
      request.rgEntries.push_back(entry);
      request.rgEntryBytes.push_back(Bytes(reinterpret_cast<const void*>(entry.DataPtr), entry.Length));
    }
    m_requests.push_back(std::move(request));
    return TRUE;
  }
  std::vector<Request> m_requests;
};

class QtrWriteTest : public ::testing::Test {
 protected:
  void SetUp() override { QtrSetWriteDeviceForTesting(platform::ToHandle(&m_device)); }
  void TearDown() override { QtrSetWriteDeviceForTesting(INVALID_HANDLE_VALUE); }
  CRecordingDevice m_device;
};

TEST_F(QtrWriteTest, HeaderOfARecord) {
  EXPECT_EQ(QtrWrite(0x1234567890ULL, &kguidTest, 10), STATUS_SUCCESS);
  ASSERT_EQ(m_device.m_requests.size(), 1u);
  EVENT_TRACE_HEADER expected;
  std::memset(&expected, 0, sizeof expected);
  expected.Size = 64;
  expected.Type = 0xFF;
  expected.HistoricalContext = 0x1234567890ULL;
  expected.GuidPtr = reinterpret_cast<ULONGLONG>(&kguidTest);
  expected.Flags = 0x001A0000u;
  EXPECT_EQ(Bytes(&m_device.m_requests[0].header, sizeof expected), Bytes(&expected, sizeof expected));
  EXPECT_EQ(m_device.m_requests[0].nCode, IOCTL_QTR_WRITE);
}

TEST_F(QtrWriteTest, ItemsBecomeEntries) {
  LONG rgn[8] = {0, 1, 2, 3, 4, 5, 6, 7};
  std::vector<CQtrItem> eight;
  std::vector<unsigned char> rgbEight, rgbNine = Bytes(rgn, sizeof rgn);
  for (const LONG& n : rgn) eight.push_back(QtrInt(n));
  std::vector<CQtrItem> nine = eight;
  nine.push_back(QtrString(u"abc"));
  for (unsigned char b : Bytes(u"abc", 8)) rgbNine.push_back(b);
  const std::vector<unsigned char> rgb(8193, 'x');
  const struct {
    const char* pszCase;
    std::vector<CQtrItem> items;
    NTSTATUS status;
    USHORT cbRecord;
    std::vector<std::vector<unsigned char>> rgExpected;  // the data entries' bytes
  } cases[] = {
      // A null string goes as "NULL", an empty one as "<NULL>".
      {"strings", {QtrString(nullptr), QtrString(u""), QtrString(u"user")}, STATUS_SUCCESS, 112,
       {Bytes(u"NULL", 10), Bytes(u"<NULL>", 14), Bytes(u"user", 10)}},
      {"eight items", eight, STATUS_SUCCESS, 192, {}},
      {"nine items, gathered in order without gaps", nine, STATUS_SUCCESS, 80, {rgbNine}},
      {"8192 bytes", {{rgb.data(), 8192}}, STATUS_SUCCESS, 80, {std::vector<unsigned char>(8192, 'x')}},
      {"8193 bytes", {{rgb.data(), 8193}}, kQtrTooLarge, 0, {}},
      {"8193 bytes in two items", {{rgb.data(), 8000}, {rgb.data(), 193}}, kQtrTooLarge, 0, {}},
      {"8193 bytes gathered", std::vector<CQtrItem>(9, CQtrItem{rgb.data(), 911}), kQtrTooLarge, 0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pszCase);
    m_device.m_requests.clear();
    std::vector<CQtrItem> items = c.items;
    items.push_back({nullptr, 0});
    EXPECT_EQ(QtrWriteItems(1, &kguidTest, 5, items.data()), c.status);
    if (c.status != STATUS_SUCCESS) {
      EXPECT_TRUE(m_device.m_requests.empty()) << "oversized records are not sent";
      continue;
    }
    ASSERT_EQ(m_device.m_requests.size(), 1u);
    const auto& request = m_device.m_requests[0];
    EXPECT_EQ(request.header.Size, c.cbRecord);
    const USHORT nMessage = 5;
    EXPECT_EQ(request.rgEntryBytes.at(0), Bytes(&nMessage, 2));
    // Up to eight items, each entry points at the caller's data: no copy.
    for (size_t i = 0; c.items.size() <= kQtrInlineItems && i < c.items.size(); ++i)
      EXPECT_EQ(request.rgEntries.at(i + 1).DataPtr, reinterpret_cast<ULONGLONG>(c.items[i].pb)) << i;
    if (!c.rgExpected.empty()) {
      EXPECT_EQ(std::vector<std::vector<unsigned char>>(request.rgEntryBytes.begin() + 1, request.rgEntryBytes.end()),
                c.rgExpected);
    }
  }
}

std::vector<uint8_t> Wide(const std::u16string& s) {
  const auto* pb = reinterpret_cast<const uint8_t*>(s.c_str());
  return {pb, pb + (s.size() + 1) * 2};
}

TEST(TraceLineTest, ItemsInTheirForms) {
  vltqtr::CTraceRecord record;
  record.nTimeNs = 1700000000123456789;
  record.nPid = 42;
  record.sModule = "RK_DOZUzudi_Admin";
  record.rgbMessageGuid = {0xd1, 0xd2, 0x80, 0x76, 0x63, 0x26, 0x81, 0x47,
                           0xaf, 0xd5, 0x32, 0x91, 0x18, 0x17, 0x4a, 0x18};
  record.nMessage = 65535;
  record.rgItems = {
      {0xfb, 0xff, 0xff, 0xff},                  // -5
      Wide(u"a \"quoted\" \\ J\u00f6rg \U0001F600"),  // text, escapes, non-ASCII
      Wide(u"tab\there"),                        // control character: hex
      Wide(u"\xD800x"),                          // lone surrogate: hex
      {1, 2, 3},                                 // odd length: hex
      {},                                        // empty
      {0, 0},                                    // empty text
  };
  EXPECT_EQ(vltqtr::FormatRecordLine(record),
            "2023-11-14T22:13:20.123456Z 42 RK_DOZUzudi_Admin {7680d2d1-2663-4781-afd5-329118174a18} 65535 -5 "
            "\"a \\\"quoted\\\" \\\\ J\xC3\xB6rg \xF0\x9F\x98\x80\" <740061006200090068006500720065000000> "
            "<00d878000000> <010203> <> \"\"");
  record.rgItems.clear();
  EXPECT_EQ(vltqtr::FormatRecordLine(record).substr(28),
            "42 RK_DOZUzudi_Admin {7680d2d1-2663-4781-afd5-329118174a18} 65535");
}

TEST(CollectorOptionsTest, ClassLists) {
  const struct {
    const char* pszList;
    int nFlags;  // -1: refused
  } cases[] = {{"ERROR,INFO,ENTRY", 0x0B}, {"qtr_entry,Profile", 0x18}, {"all", 0xFF},
               {"none", 0},                {"ERROR,BOGUS", -1},         {"ERROR,", -1}};
  for (const auto& c : cases) {
    uint8_t bFlags = 0x55;
    EXPECT_EQ(vltqtr::ParseClassList(c.pszList, &bFlags), c.nFlags >= 0) << c.pszList;
    if (c.nFlags >= 0) {
      EXPECT_EQ(bFlags, c.nFlags) << c.pszList;
    }
  }
}

}  // namespace

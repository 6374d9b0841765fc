// The record QtrWrite hands to the device: header, entries, gathering.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "admin/trace/qtr_trace.h"
#include "platform/base/handle.h"

namespace {

constexpr GUID kguidTest = {0x11223344, 0x5566, 0x7788, {1, 2, 3, 4, 5, 6, 7, 8}};

// Keeps what a device would see of each write request: the record and,
// read during the request, the bytes each entry points at.
class CRecordingDevice final : public platform::CKernelObject {
 public:
  struct Request {
    DWORD nCode = 0;
    std::vector<unsigned char> rgbRecord;
    std::vector<std::vector<unsigned char>> rgEntryBytes;
    GUID guid{};
  };
  BOOL IoControl(DWORD dwIoControlCode, LPVOID lpIn, DWORD cbIn, LPVOID, DWORD, LPDWORD) override {
    Request request;
    request.nCode = dwIoControlCode;
    const auto* pb = static_cast<const unsigned char*>(lpIn);
    request.rgbRecord.assign(pb, pb + cbIn);
    EVENT_TRACE_HEADER header;
    std::memcpy(&header, pb, sizeof header);
    std::memcpy(&request.guid, reinterpret_cast<const void*>(header.GuidPtr), sizeof(GUID));
    for (size_t i = 0; i < (cbIn - sizeof header) / sizeof(MOF_FIELD); ++i) {
      MOF_FIELD entry;
      std::memcpy(&entry, pb + sizeof header + i * sizeof entry, sizeof entry);
      const auto* pbData = reinterpret_cast<const unsigned char*>(entry.DataPtr);
      request.rgEntryBytes.emplace_back(pbData, pbData + entry.Length);
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

  EVENT_TRACE_HEADER Header(size_t i) {
    EVENT_TRACE_HEADER header;
    std::memcpy(&header, m_device.m_requests.at(i).rgbRecord.data(), sizeof header);
    return header;
  }
  CRecordingDevice m_device;
};

std::vector<unsigned char> Bytes(const void* pb, size_t cb) {
  const auto* p = static_cast<const unsigned char*>(pb);
  return {p, p + cb};
}

TEST_F(QtrWriteTest, RecordWithoutData) {
  EXPECT_EQ(QtrWrite(0x1234567890ULL, &kguidTest, 10), STATUS_SUCCESS);
  ASSERT_EQ(m_device.m_requests.size(), 1u);
  const auto& request = m_device.m_requests[0];
  EXPECT_EQ(request.nCode, IOCTL_QTR_WRITE);
  ASSERT_EQ(request.rgbRecord.size(), 64u);
  const EVENT_TRACE_HEADER header = Header(0);
  EXPECT_EQ(header.Size, 64);
  EXPECT_EQ(header.FieldTypeFlags, 0);
  EXPECT_EQ(header.Type, 0xFF);
  EXPECT_EQ(header.Level, 0);
  EXPECT_EQ(header.Version, 0);
  EXPECT_EQ(header.HistoricalContext, 0x1234567890ULL);
  EXPECT_EQ(header.TimeStamp, 0);
  EXPECT_EQ(header.GuidPtr, reinterpret_cast<ULONGLONG>(&kguidTest));
  EXPECT_EQ(header.Reserved, 0u);
  EXPECT_EQ(header.ClientContext, 0u);
  EXPECT_EQ(header.Flags, 0x001A0000u);
  EXPECT_EQ(request.guid, kguidTest);
  ASSERT_EQ(request.rgEntryBytes.size(), 1u);
  const USHORT nMessage = 10;
  EXPECT_EQ(request.rgEntryBytes[0], Bytes(&nMessage, 2));
}

TEST_F(QtrWriteTest, EightItemsPointAtTheCallersData) {
  LONG rgn[8] = {0, 1, 2, 3, 4, 5, 6, 7};
  QtrWrite(1, &kguidTest, 3, QtrInt(rgn[0]), QtrInt(rgn[1]), QtrInt(rgn[2]), QtrInt(rgn[3]),
           QtrInt(rgn[4]), QtrInt(rgn[5]), QtrInt(rgn[6]), QtrInt(rgn[7]));
  ASSERT_EQ(m_device.m_requests.size(), 1u);
  const auto& request = m_device.m_requests[0];
  EXPECT_EQ(Header(0).Size, 192);
  ASSERT_EQ(request.rgEntryBytes.size(), 9u);
  for (size_t i = 0; i < 8; ++i) {
    MOF_FIELD entry;
    std::memcpy(&entry, request.rgbRecord.data() + 64 + 16 * i, sizeof entry);
    EXPECT_EQ(entry.DataPtr, reinterpret_cast<ULONGLONG>(&rgn[i])) << "no copy for item " << i;
    EXPECT_EQ(entry.Length, 4u);
    EXPECT_EQ(entry.DataType, 0u);
  }
}

TEST_F(QtrWriteTest, NineItemsAreGatheredIntoOneEntry) {
  LONG rgn[8] = {10, 11, 12, 13, 14, 15, 16, 17};
  const WCHAR* pwName = u"abc";
  QtrWrite(1, &kguidTest, 4, QtrInt(rgn[0]), QtrInt(rgn[1]), QtrInt(rgn[2]), QtrInt(rgn[3]),
           QtrInt(rgn[4]), QtrInt(rgn[5]), QtrInt(rgn[6]), QtrInt(rgn[7]), QtrString(pwName));
  ASSERT_EQ(m_device.m_requests.size(), 1u);
  const auto& request = m_device.m_requests[0];
  EXPECT_EQ(Header(0).Size, 80);
  ASSERT_EQ(request.rgbRecord.size(), 80u);
  ASSERT_EQ(request.rgEntryBytes.size(), 2u);
  std::vector<unsigned char> expected = Bytes(rgn, sizeof rgn);
  const auto text = Bytes(pwName, 8);
  expected.insert(expected.end(), text.begin(), text.end());
  EXPECT_EQ(request.rgEntryBytes[1], expected) << "items in order, without gaps";
}

TEST_F(QtrWriteTest, DataLimitIs8192Bytes) {
  std::vector<unsigned char> rgb(8193, 'x');
  EXPECT_EQ(QtrWrite(1, &kguidTest, 5, CQtrItem{rgb.data(), 8192}), STATUS_SUCCESS);
  ASSERT_EQ(m_device.m_requests.size(), 1u);
  EXPECT_EQ(m_device.m_requests[0].rgEntryBytes[1].size(), 8192u);

  EXPECT_EQ(QtrWrite(1, &kguidTest, 5, CQtrItem{rgb.data(), 8193}), static_cast<NTSTATUS>(0xC0000001));
  EXPECT_EQ(QtrWrite(1, &kguidTest, 5, CQtrItem{rgb.data(), 8000}, CQtrItem{rgb.data(), 193}),
            static_cast<NTSTATUS>(0xC0000001));
  // Gathered records obey the same limit, counted over every item.
  std::vector<CQtrItem> rgItems(9, CQtrItem{rgb.data(), 1024});
  rgItems.push_back({nullptr, 0});
  EXPECT_EQ(QtrWriteItems(1, &kguidTest, 5, rgItems.data()), static_cast<NTSTATUS>(0xC0000001));
  EXPECT_EQ(m_device.m_requests.size(), 1u) << "oversized records are not sent";
}

TEST_F(QtrWriteTest, AbsentAndEmptyStrings) {
  const std::u16string sNull(u"NULL");
  const std::u16string sEmpty(u"<NULL>");
  const std::u16string sValue(u"user");
  QtrWrite(1, &kguidTest, 6, QtrString(nullptr), QtrString(u""), QtrString(sValue.c_str()));
  ASSERT_EQ(m_device.m_requests.size(), 1u);
  const auto& entries = m_device.m_requests[0].rgEntryBytes;
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[1], Bytes(sNull.c_str(), 10));
  EXPECT_EQ(entries[2], Bytes(sEmpty.c_str(), 14));
  EXPECT_EQ(entries[3], Bytes(sValue.c_str(), 10));
}

}  // namespace

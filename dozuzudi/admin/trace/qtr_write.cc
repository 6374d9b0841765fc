// QtrWrite: one trace record, built on the caller's stack and handed to the
// trace device.
#include <cstring>

#include "admin/trace/qtr_trace.h"
#include "platform/files/files.h"

namespace {

// The record: header, entry 0 (the message number) and up to eight data
// entries. Records with more items gather them into one entry.
struct CQtrRecord {
  EVENT_TRACE_HEADER header;
  MOF_FIELD rgEntries[1 + kQtrInlineItems];
};
static_assert(sizeof(CQtrRecord) == 192);

constexpr ULONG kRecordFlags =
    WNODE_FLAG_TRACED_GUID | WNODE_FLAG_USE_GUID_PTR | WNODE_FLAG_USE_MOF_PTR;
static_assert(kRecordFlags == 0x001A0000);

constexpr WCHAR kNullString[] = u"NULL";
constexpr WCHAR kEmptyString[] = u"<NULL>";

void SetEntry(MOF_FIELD* pEntry, const void* pb, ULONG cb) {
  pEntry->DataPtr = reinterpret_cast<ULONGLONG>(pb);
  pEntry->Length = cb;
  pEntry->DataType = 0;
}

}  // namespace

CQtrItem QtrString(LPCWSTR pw) {
  if (pw == nullptr) return {kNullString, sizeof kNullString};
  if (*pw == 0) return {kEmptyString, sizeof kEmptyString};
  size_t cw = 0;
  while (pw[cw] != 0) ++cw;
  return {pw, static_cast<ULONG>((cw + 1) * sizeof(WCHAR))};
}

NTSTATUS QtrWriteItems(ULONGLONG nLoggerHandle, const GUID* pguidMessage, USHORT nMessage,
                       const CQtrItem* rgItems) {
  CQtrRecord record;
  std::memset(&record, 0, sizeof record);
  record.header.Type = EVENT_TRACE_TYPE_INFO_ALL;
  record.header.HistoricalContext = nLoggerHandle;
  record.header.GuidPtr = reinterpret_cast<ULONGLONG>(pguidMessage);
  record.header.Flags = kRecordFlags;
  SetEntry(&record.rgEntries[0], &nMessage, sizeof nMessage);

  size_t cItems = 0;
  size_t cbTotal = 0;
  for (; rgItems[cItems].pb != nullptr; ++cItems) {
    cbTotal += rgItems[cItems].cb;
    if (cItems < kQtrInlineItems)
      SetEntry(&record.rgEntries[1 + cItems], rgItems[cItems].pb, rgItems[cItems].cb);
  }
  if (cbTotal > kQtrMaxData) return kQtrTooLarge;

  BYTE* pbBlock = nullptr;
  if (cItems <= kQtrInlineItems) {
    record.header.Size = static_cast<USHORT>(16 * (4 + cItems));
  } else {
    pbBlock = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, cbTotal));
    if (pbBlock == nullptr) return kQtrNoMemory;
    BYTE* pbNext = pbBlock;
    for (size_t i = 0; i < cItems; ++i) {
      std::memcpy(pbNext, rgItems[i].pb, rgItems[i].cb);
      pbNext += rgItems[i].cb;
    }
    SetEntry(&record.rgEntries[1], pbBlock, static_cast<ULONG>(cbTotal));
    record.header.Size = 80;
  }

  DWORD cbReturned = 0;
  DeviceIoControl(QtrWriteDevice(), IOCTL_QTR_WRITE, &record, record.header.Size, nullptr, 0,
                  &cbReturned, nullptr);
  if (pbBlock != nullptr) LocalFree(pbBlock);
  return STATUS_SUCCESS;
}

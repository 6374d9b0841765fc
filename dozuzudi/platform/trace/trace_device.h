// platform/trace: the trace device "\\.\Global\VLTQTR" (this header) and the
// wire format it shares with the collector vltqtr (trace_wire.h).
//
// Backed by: a SOCK_SEQPACKET Unix socket to vltqtr and a shared-memory
// state block per module that the collector keeps current.
// Threads: any number of threads may issue requests on one handle at once;
// the state block may change at any moment and is read without locking.
// Failures: CreateFileW and DeviceIoControl report Win32 codes (below); no
// collector is exactly "device not installed".
// Our choices: the socket path (VLTQTR_DEVICE, else a fixed default); a
// record's data is gathered during the request and sent as one message; a
// busy collector is waited for at most kTraceWriteTimeoutMs, then the record
// is dropped.
//
// CreateFileW of the device name connects to the trace collector (vltqtr)
// over a Unix socket: the path in the environment variable VLTQTR_DEVICE,
// else kTraceDeviceDefaultSocket. With no collector listening the open fails
// with ERROR_FILE_NOT_FOUND, exactly as when the device is not installed.
//
// Requests (DeviceIoControl on the device handle, both synchronous):
//
// IOCTL_QTR_OPEN registers a module.
//   input:  16 bytes, two addresses: the module's 16-byte control GUID and
//           its name, a terminated UTF-16 string (at most
//           kTraceModuleNameMax code units are read).
//   output: 8 bytes, the address of the module's state block
//           (TRACE_STATE_BLOCK), mapped read-only into the process and kept
//           current by the collector until the process ends. A null address
//           means that the collector accepted the request but gives no state.
//   fails:  ERROR_INVALID_PARAMETER for short buffers, ERROR_ACCESS_DENIED
//           when the collector refuses the module, ERROR_BROKEN_PIPE when
//           the collector has gone away.
//
// IOCTL_QTR_WRITE hands over one trace record.
//   input:  the record, EVENT_TRACE_HEADER followed by MOF_FIELD entries, of
//           header.Size bytes: (Size - 48) / 16 entries, entry 0 pointing at
//           the 16-bit message number. The message GUID (header.GuidPtr) and
//           every entry's bytes are read from the caller's memory during the
//           call and sent to the collector as one message; the record itself
//           holds only addresses. An entry longer than kTraceRecordDataMax
//           bytes in total fails the request with ERROR_INVALID_PARAMETER.
//   output: none.
//   Requests of one thread reach the collector in the order made. A request
//   waits at most kTraceWriteTimeoutMs for a busy collector; after that the
//   record is dropped and the request fails.
#pragma once

#include "platform/base/wintypes.h"
#include "platform/base/api.h"

VLT_API_BEGIN

#define IOCTL_QTR_OPEN 0x00222007u
#define IOCTL_QTR_WRITE 0x0022200Fu

#define WNODE_FLAG_TRACED_GUID 0x00020000u
#define WNODE_FLAG_USE_GUID_PTR 0x00080000u
#define WNODE_FLAG_USE_MOF_PTR 0x00100000u

#define EVENT_TRACE_TYPE_INFO_ALL 0xFF

#define ERROR_BROKEN_PIPE 109L

// The record header, 48 bytes, little-endian.
struct EVENT_TRACE_HEADER {
  USHORT Size;            // bytes of the header and its MOF_FIELD entries
  USHORT FieldTypeFlags;  // 0
  UCHAR Type;             // event type
  UCHAR Level;
  USHORT Version;
  ULONGLONG HistoricalContext;  // logger handle
  LONGLONG TimeStamp;           // 0: stamped by the collector
  ULONGLONG GuidPtr;            // address of the 16-byte message GUID
  ULONGLONG Reserved;           // 0 (second half of the GUID union)
  ULONG ClientContext;          // 0
  ULONG Flags;                  // WNODE_FLAG_*
};
static_assert(sizeof(EVENT_TRACE_HEADER) == 48);

// One data entry of a record, 16 bytes: an address and a length.
struct MOF_FIELD {
  ULONGLONG DataPtr;
  ULONG Length;
  ULONG DataType;  // 0
};
static_assert(sizeof(MOF_FIELD) == 16);

// The state block the device maps for each registered module, 16 bytes.
struct TRACE_STATE_BLOCK {
  ULONGLONG LoggerHandle;  // nonzero while a logger collects the module
  UCHAR ClassFlags;        // bit n: class n enabled (classes 0 to 7)
  UCHAR Reserved[6];
  UCHAR Level;
};
static_assert(sizeof(TRACE_STATE_BLOCK) == 16);

namespace platform {
inline constexpr char kTraceDeviceDefaultSocket[] = "/run/vltqtr/device.sock";
inline constexpr char kTraceDeviceSocketVariable[] = "VLTQTR_DEVICE";
inline constexpr WCHAR kTraceDeviceName[] = u"\\\\.\\Global\\VLTQTR";
inline constexpr size_t kTraceModuleNameMax = 256;
inline constexpr size_t kTraceRecordDataMax = 65536;
inline constexpr int kTraceWriteTimeoutMs = 200;

// Opens a device by its full name (CreateFileW hands "\\.\..." names
// here); INVALID_HANDLE_VALUE (GetLastError set) when the device is absent.
HANDLE OpenDevice(LPCWSTR name);
}  // namespace platform
VLT_API_END

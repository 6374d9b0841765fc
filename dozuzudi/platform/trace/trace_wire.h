// Messages between the trace device (trace_device.h) and the trace collector
// over a SOCK_SEQPACKET Unix socket: one datagram per message, in order.
// Both ends run on one machine, so fields are in host byte order; integers
// inside a message are unaligned and read with memcpy.
//
// Device to collector:
//   kTraceWireOpen:   CTraceWireHeader, 16-byte module GUID, UTF-16 name
//                     (rest of the datagram, no terminator).
//   kTraceWireRecord: CTraceWireHeader, uint64 logger handle, 16-byte message
//                     GUID, uint16 message number, uint16 item count, then
//                     per item uint32 length and its bytes.
// Collector to device:
//   kTraceWireOpenReply: CTraceWireHeader, int32 status (0: accepted), with
//                     one file descriptor (SCM_RIGHTS) of the state block's
//                     memory when accepted with a state; none for a null
//                     state.
// Viewer to collector (a second vltqtr attaching to a running one):
//   kTraceWireView:   CTraceWireHeader, uint8 class flags, uint8 level, then
//                     module names as UTF-8, each ended by a zero byte (none:
//                     every module).
// Collector to viewer:
//   kTraceWireForward: CTraceWireHeader, int64 time (ns since the epoch),
//                     int32 writer pid, uint16 module name length, name
//                     (UTF-8), then the record body as in kTraceWireRecord
//                     after the logger handle.
#pragma once

#include <cstdint>
#include "platform/base/api.h"

VLT_API_BEGIN

namespace platform {

enum : uint32_t {
  kTraceWireOpen = 0x51545201,
  kTraceWireOpenReply = 0x51545202,
  kTraceWireRecord = 0x51545203,
  kTraceWireView = 0x51545204,
  kTraceWireForward = 0x51545205,
};

struct CTraceWireHeader {
  uint32_t nType;
};

// The largest datagram either end sends: a record of the most data the
// device accepts with its per-item lengths.
inline constexpr size_t kTraceWireMax = 256 * 1024;

}  // namespace platform
VLT_API_END

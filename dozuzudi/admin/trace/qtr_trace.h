// QtrTrace: the client of the trace device "\\.\Global\VLTQTR".
//
// A module registers once (QtrOpen); the device answers with the address of
// the module's QtrTraceState, which it keeps current. Every trace point then
// decides by reading that block, without calling the device, whether a
// logger wants its record:
//
//   QtrTraceState* pState = g_pqtrState.load(std::memory_order_acquire);
//   if (QtrEnabled(pState, QTR_ERROR, 1))
//     QtrWrite(QtrLoggerHandle(pState), &kguidMessages, 12, QtrInt(nStatus),
//              QtrString(pwName));
//
// The data are formatted only after the test holds. QtrWrite sends the
// record synchronously; the device reads the data from the caller's memory
// during the call, so items may point at temporaries of the call.
#pragma once

#include <atomic>
#include <cstddef>
#include <type_traits>

#include "platform/trace/trace_device.h"
#include "platform/base/wintypes.h"

// Trace classes, by their bit in the class flags.
enum EQtrClass : unsigned {
  QTR_ERROR = 0,     // failures; written at level 1 and above
  QTR_INFO = 1,      // information; written at level 1 and above
  QTR_PRIVATE = 2,
  QTR_ENTRY = 3,     // entry into a function; written at level 5 and above
  QTR_PROFILE = 4,
  QTR_UNITTEST = 5,
  QTR_RESERVED6 = 6,
  QTR_RESERVED7 = 7,
  QTR_RESERVED8 = 8,
  QTR_RESERVED9 = 9,
  QTR_RESERVED10 = 10,
  QTR_RESERVED11 = 11,
};

// The class names in bit order, each preceded by one blank (for viewers).
inline constexpr WCHAR kQtrClassNames[] =
    u" QTR_ERROR QTR_INFO QTR_PRIVATE QTR_ENTRY QTR_PROFILE QTR_UNITTEST QTR_RESERVED6"
    u" QTR_RESERVED7 QTR_RESERVED8 QTR_RESERVED9 QTR_RESERVED10 QTR_RESERVED11";

// One static block per module.
struct QtrTraceModule {
  HANDLE hDevice;            // INVALID_HANDLE_VALUE until opened
  const GUID* pguidModule;   // the module's control GUID
  LPCWSTR pwModuleName;      // e.g. u"RK_DOZUzudi_Admin"
  LPCWSTR pwClassNames;      // kQtrClassNames; never read by the client
};

// The module's state, written by the device (another process may write it
// at any moment) and only read here, field by field, without ordering.
struct QtrTraceState {
  std::atomic<ULONGLONG> nLoggerHandle;  // nonzero while a logger collects
  std::atomic<BYTE> bClassFlags;         // bit n: class n enabled (0 to 7)
  BYTE rgbReserved[6];
  std::atomic<BYTE> nLevel;
};
static_assert(sizeof(QtrTraceState) == sizeof(TRACE_STATE_BLOCK));
static_assert(offsetof(QtrTraceState, bClassFlags) == offsetof(TRACE_STATE_BLOCK, ClassFlags));
static_assert(offsetof(QtrTraceState, nLevel) == offsetof(TRACE_STATE_BLOCK, Level));
static_assert(std::atomic<ULONGLONG>::is_always_lock_free);

// Where a module keeps the address of its state: null until an open
// succeeds. Written once by QtrOpen, read at every trace point.
using CQtrStateAddress = std::atomic<QtrTraceState*>;

// Registers the module with the device and stores its state address in
// *ppState; on any failure *ppState stays null and the module stays silent.
// The device handle stays open for the life of the process after success.
void QtrOpen(QtrTraceModule* pModule, CQtrStateAddress* ppState);

// True when pState is not null, its logger handle is nonzero, the class's
// bit is set and the level is at least nMinLevel.
inline bool QtrEnabled(const QtrTraceState* pState, unsigned nClass, unsigned nMinLevel) {
  if (pState == nullptr || nClass > 7) return false;
  if (pState->nLoggerHandle.load(std::memory_order_relaxed) == 0) return false;
  if ((pState->bClassFlags.load(std::memory_order_relaxed) & (1u << nClass)) == 0) return false;
  return pState->nLevel.load(std::memory_order_relaxed) >= nMinLevel;
}

inline ULONGLONG QtrLoggerHandle(const QtrTraceState* pState) {
  return pState->nLoggerHandle.load(std::memory_order_relaxed);
}

// One data item: an address and a length in bytes. A null address ends a
// list of items.
struct CQtrItem {
  const void* pb;
  ULONG cb;
};

// A 32-bit integer: its four bytes.
inline CQtrItem QtrInt(const LONG& n) { return {&n, sizeof n}; }
inline CQtrItem QtrInt(const DWORD& n) { return {&n, sizeof n}; }
// A wide string with its terminator; a null string is sent as "NULL" and an
// empty one as "<NULL>".
CQtrItem QtrString(LPCWSTR pw);

// Results of QtrWrite; no trace point examines them.
inline constexpr NTSTATUS kQtrTooLarge = STATUS_UNSUCCESSFUL;  // data above 8192 bytes
inline constexpr NTSTATUS kQtrNoMemory = STATUS_NO_MEMORY;     // gathering block failed
inline constexpr size_t kQtrMaxData = 8192;
inline constexpr size_t kQtrInlineItems = 8;

// Builds one record from the items up to the first null address and sends
// it to the device: STATUS_SUCCESS (whatever the device did with it),
// kQtrTooLarge or kQtrNoMemory (nothing sent).
NTSTATUS QtrWriteItems(ULONGLONG nLoggerHandle, const GUID* pguidMessage, USHORT nMessage,
                       const CQtrItem* rgItems);

template <typename... Items>
NTSTATUS QtrWrite(ULONGLONG nLoggerHandle, const GUID* pguidMessage, USHORT nMessage,
                  const Items&... items) {
  static_assert((std::is_same_v<Items, CQtrItem> && ...), "trace data are CQtrItem values");
  const CQtrItem rgItems[] = {items..., CQtrItem{nullptr, 0}};
  return QtrWriteItems(nLoggerHandle, pguidMessage, nMessage, rgItems);
}

// The device handle that QtrWrite sends records to: the one that the latest
// successful QtrOpen kept, null before. Tests may put their own device
// object here.
HANDLE QtrWriteDevice();
void QtrSetWriteDeviceForTesting(HANDLE hDevice);

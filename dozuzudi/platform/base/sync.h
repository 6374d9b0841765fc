// Threads, critical sections, events, sleeping and interlocked operations.
//
// Contract the extension relies on:
// - CreateThread starts a thread at once (the stack size is ignored) and
//   returns a handle; CloseHandle on it detaches the thread (it is never
//   joined). It returns null, with GetLastError set, when no thread can be
//   started.
// - CRITICAL_SECTION is a non-recursive mutual exclusion lock.
// - CreateEventW makes an unnamed event; an auto-reset event releases at
//   most one waiter per SetEvent and stays signalled until a waiter takes it.
// - Interlocked* operate atomically with sequential consistency on 32-bit
//   LONG values that are only ever accessed through them (or while no other
//   thread runs).
#pragma once

#include <mutex>

#include "platform/base/thread_annotations.h"
#include "platform/base/wintypes.h"
#include "platform/base/api.h"

VLT_API_BEGIN

struct CAPABILITY("mutex") CRITICAL_SECTION {
  std::mutex m;
};
typedef CRITICAL_SECTION* LPCRITICAL_SECTION;

void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) ACQUIRE(lpCriticalSection);
void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) RELEASE(lpCriticalSection);

// REQUIRES: lpName is null (named events are not supported).
HANDLE CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                    BOOL bInitialState, LPCWSTR lpName);
BOOL SetEvent(HANDLE hEvent);
BOOL ResetEvent(HANDLE hEvent);
// Events and threads can be waited on; a thread is signalled when it ended.
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);

HANDLE CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                    LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                    DWORD dwCreationFlags, LPDWORD lpThreadId);
DWORD GetCurrentThreadId();

// Closes any handle of the platform (event, thread, file, mapping, device).
BOOL CloseHandle(HANDLE hObject);

void Sleep(DWORD dwMilliseconds);
DWORD GetTickCount();
// A monotonic counter and its ticks per second (nanoseconds here); read
// without a system call.
BOOL QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency);

// Tells the processor that the thread is spinning (x86 PAUSE).
inline void YieldProcessor() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#endif
}

// The processors the process may run on.
#define ALL_PROCESSOR_GROUPS 0xffff
DWORD GetActiveProcessorCount(WORD GroupNumber);

LONG InterlockedIncrement(LONG volatile* Addend);
LONG InterlockedDecrement(LONG volatile* Addend);
LONG InterlockedExchange(LONG volatile* Target, LONG Value);
LONG InterlockedCompareExchange(LONG volatile* Destination, LONG Exchange, LONG Comparand);
// An atomic read with acquire ordering, cheap enough to spin on (no write to
// the cache line, unlike InterlockedCompareExchange).
inline LONG ReadAcquire(LONG const volatile* Source) {
  return __atomic_load_n(Source, __ATOMIC_ACQUIRE);
}
LONG InterlockedExchangeAdd(LONG volatile* Addend, LONG Value);
void* InterlockedCompareExchangePointer(void* volatile* Destination, void* Exchange,
                                        void* Comparand);
void* InterlockedExchangePointer(void* volatile* Target, void* Value);

namespace platform {
// Seam for tests: while set, CreateThread fails with ERROR_NOT_ENOUGH_MEMORY
// for the next |count| calls (-1: every call).
void FailThreadCreationForTesting(int count);
}  // namespace platform
VLT_API_END

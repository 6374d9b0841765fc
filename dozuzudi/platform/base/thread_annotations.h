// Clang thread-safety annotations; no-ops for other compilers.
#pragma once

#include "platform/base/api.h"

VLT_API_BEGIN

#if defined(__clang__)
#define VLT_TSA(x) __attribute__((x))
#else
#define VLT_TSA(x)
#endif

#define CAPABILITY(x) VLT_TSA(capability(x))
#define GUARDED_BY(x) VLT_TSA(guarded_by(x))
#define PT_GUARDED_BY(x) VLT_TSA(pt_guarded_by(x))
#define ACQUIRE(...) VLT_TSA(acquire_capability(__VA_ARGS__))
#define RELEASE(...) VLT_TSA(release_capability(__VA_ARGS__))
#define REQUIRES(...) VLT_TSA(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) VLT_TSA(locks_excluded(__VA_ARGS__))
#define EXCLUSIVE_LOCKS_REQUIRED(...) VLT_TSA(exclusive_locks_required(__VA_ARGS__))
#define NO_THREAD_SAFETY_ANALYSIS VLT_TSA(no_thread_safety_analysis)
VLT_API_END

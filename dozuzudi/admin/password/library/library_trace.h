// The password library's trace module, "RK_Library_Krel", opened on its
// first trace point. Its records carry no data.
#pragma once

#include "admin/trace/qtr_trace.h"

// Message numbers of the library.
enum : USHORT {
  kTraceDirectoryArgumentMissing = 10,
  kTraceNoDomain = 26,
  kTraceNoUser = 27,
  kTraceNoPassword = 28,
  kTraceUncDomain = 29,
  kTraceTranslateBegins = 30,
  kTraceTranslated = 31,
  kTraceTranslatorAvailable = 32,
  kTraceTranslatorUnavailable = 33,
  kTraceTranslateEnds = 34,
};

// Writes message nMessage of class nClass when a logger asks for it:
// QTR_ERROR and QTR_INFO from level 1, QTR_ENTRY from level 5.
void LibraryTrace(EQtrClass eClass, USHORT nMessage);

// The extension's own trace module, "RK_DOZUzudi_Admin", registered when the
// library is loaded into a process.
#pragma once

#include "admin/trace/qtr_trace.h"

extern QtrTraceModule g_qtrAdminModule;
// The module's state address: null while the extension does not trace.
extern CQtrStateAddress g_pqtrAdminState;

// The trace part of the load step: the first caller in the process opens the
// module (an atomic 0 to 1 change of the trace once-flag) and, when class
// QTR_ENTRY is on at level 5 or more, writes message 10 with no data.
void TraceExtensionAttach();

// Lets the next TraceExtensionAttach open the module again, for tests that
// start a collector after the library was loaded.
void TraceExtensionResetForTesting();

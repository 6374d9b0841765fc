// The setup entry points an installer runs, each in a process of its own:
// ConfigureIIS places the extension in the web server's scripts directory and
// creates its web application; UnconfigureIIS undoes that. Each reads the
// setting "IIS_SCRIPTS_DIR=" from the process's command line and ends the
// process with exit code 0 (done, or nothing to do) or 1 (failed).
#pragma once

#include "platform/base/wintypes.h"

extern "C" {
[[noreturn]] void WINAPI ConfigureIIS();
[[noreturn]] void WINAPI UnconfigureIIS();
}

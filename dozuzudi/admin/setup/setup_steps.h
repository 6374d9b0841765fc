// The steps ConfigureIIS and UnconfigureIIS share.
#pragma once

#include "platform/base/wintypes.h"
#include "platform/wam/iwamadmin.h"

// Every path is held in a buffer of this many units: at most 260 characters.
inline constexpr size_t kcwSetupPath = 261;
inline constexpr size_t kcchSetupPathMax = kcwSetupPath - 1;

// The web application both functions create and delete.
inline constexpr WCHAR kwszApplicationPath[] = u"/LM/W3SVC/1/ROOT/Scripts/vltadmin";

// The scripts directory D: what follows "IIS_SCRIPTS_DIR=" on the command
// line, to its end; when that is empty, the registry's "/Scripts" value of
// the web server's Virtual Roots up to its first comma (traces 21 to 25).
// False when D cannot be found or is longer than 260 characters: the caller
// exits with 1.
bool FindScriptsDirectory(WCHAR (&wszDir)[kcwSetupPath]);

// The source of the copy: the Windows folder of the install keys (32-bit
// view) + "System32\vltadmin.dll". Empty when any step fails, so that the
// copy fails.
void FindCopySource(WCHAR (&wszSource)[kcwSetupPath]);

// |pwszBase| followed by |pwszTail|; false when that is over 260 characters.
bool JoinPath(WCHAR (&wszPath)[kcwSetupPath], const WCHAR* pwszBase, const WCHAR* pwszTail);

// Initializes COM (never undone: the process is about to end) and creates the
// WAM administration object; null on failure.
IWamAdmin* CreateWamAdmin();

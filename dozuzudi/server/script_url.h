// The URL paths of web applications: "/Scripts/DIRS/NAME.dll[/INFO]".
#pragma once

#include <string_view>

// Splits |path| into DIRS (as "/a/b", or "" directly under /Scripts), the
// library's NAME.dll (the first name ending in ".dll", ASCII case ignored)
// and the path info after it (empty or starting with "/"); all views into
// |path|. False for any other path: another prefix, no ".dll" name, or an
// empty name, ".", "..", a backslash or a control character up to it.
bool SplitScriptUrl(std::string_view path, std::string_view* pDirs, std::string_view* pName,
                    std::string_view* pInfo);

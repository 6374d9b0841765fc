// What libvltplatform.so exports. The library is built with hidden
// visibility; a public header puts its declarations between VLT_API_BEGIN
// and VLT_API_END, and only those are visible to the modules that link the
// library (the extension, the web server, the tools and the stand-in
// libraries). A private header (one used only inside its own folder) has no
// such markers, so a reach into it from another module does not link.
#pragma once

#define VLT_API_BEGIN _Pragma("GCC visibility push(default)")
#define VLT_API_END _Pragma("GCC visibility pop")

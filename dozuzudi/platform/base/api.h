// What libvltplatform.so exports. The library is built with hidden
// visibility; a public header puts its declarations between VLT_API_BEGIN
// and VLT_API_END, and only those are visible to the modules that link the
// library (the extension, the web server, the tools and the stand-in
// libraries).
//
// Public and private headers: a header is public when it holds VLT_API_BEGIN;
// header-only public headers (types, macros, templates) carry the markers
// too, so one look tells the two apart. A private header has no markers and
// is included only inside its own folder (netapi/local and netapi/kerberos
// belong to netapi), so a reach into it from another module does not link.
// scripts/check-layout.sh checks both rules.
#pragma once

#define VLT_API_BEGIN _Pragma("GCC visibility push(default)")
#define VLT_API_END _Pragma("GCC visibility pop")

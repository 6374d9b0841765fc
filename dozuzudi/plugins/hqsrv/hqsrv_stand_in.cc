// A stand-in for the web interface library "hqsrv.dll" (libhqsrv.so), which
// the extension is installed beside: setup places the extension only in a
// scripts directory that holds it. It serves nothing; the web interface
// itself is a product of its own.
extern "C" int HqsrvStandIn() { return 1; }

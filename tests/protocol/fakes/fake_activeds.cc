// A stand-in directory-services library for tests: the two entry points the
// request handler resolves.
#include <cstdint>

extern "C" {
int32_t ADsGetObject(const char16_t*, const void*, void** ppObject) {
  *ppObject = nullptr;
  return static_cast<int32_t>(0x80004005u);
}
int32_t ADsBuildVarArrayStr(char16_t**, uint32_t, void*) { return static_cast<int32_t>(0x80004005u); }
}

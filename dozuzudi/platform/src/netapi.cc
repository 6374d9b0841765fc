#include "platform/netapi.h"

#include <cstdlib>

NET_API_STATUS NetUserChangePassword(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR) {
  return ERROR_NO_SUCH_DOMAIN;
}

NET_API_STATUS NetApiBufferFree(LPVOID Buffer) {
  std::free(Buffer);
  return 0;
}

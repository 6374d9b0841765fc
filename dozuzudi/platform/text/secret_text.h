// A password converted from UTF-16 to NUL-terminated UTF-8 in one buffer of
// exactly the right size (no reallocation leaves copies behind), wiped when
// the object goes. Unpaired surrogates become U+FFFD, the same way for the
// old and the new password, so what was hashed can be verified.
#pragma once

#include <string.h>

#include <cstddef>
#include <memory>

#include "platform/base/wintypes.h"
#include "platform/base/api.h"

VLT_API_BEGIN

namespace platform {

class CSecretUtf8 {
 public:
  explicit CSecretUtf8(const WCHAR* pw);
  ~CSecretUtf8() { Wipe(); }
  CSecretUtf8(const CSecretUtf8&) = delete;
  CSecretUtf8& operator=(const CSecretUtf8&) = delete;

  const char* Text() const { return m_pb ? m_pb.get() : ""; }
  size_t Size() const { return m_cb; }

 private:
  void Wipe() {
    if (m_pb) explicit_bzero(m_pb.get(), m_cb + 1);
  }
  std::unique_ptr<char[]> m_pb;
  size_t m_cb = 0;
};

}  // namespace platform
VLT_API_END

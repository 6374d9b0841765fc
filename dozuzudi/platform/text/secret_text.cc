#include "platform/text/secret_text.h"

#include "platform/text/wstr.h"

namespace platform {

CSecretUtf8::CSecretUtf8(const WCHAR* pw) {
  if (pw == nullptr) return;
  std::u16string_view sw(pw);
  m_cb = Utf8Size(sw);
  m_pb.reset(new char[m_cb + 1]);
  WriteUtf8(sw, m_pb.get());
  m_pb[m_cb] = 0;
}

}  // namespace platform

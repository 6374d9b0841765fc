// The kernel object behind a file HANDLE: an open file descriptor.
#pragma once

#include <unistd.h>

#include "platform/base/handle.h"

namespace platform {

class CFile : public CKernelObject {
 public:
  explicit CFile(int fd) : m_fd(fd) {}
  ~CFile() override { close(m_fd); }
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;

  int Fd() const { return m_fd; }

 private:
  const int m_fd;
};

// The file behind a handle; null (with ERROR_INVALID_HANDLE set) when the
// handle is not a file.
CFile* FileFromHandle(HANDLE h);

}  // namespace platform

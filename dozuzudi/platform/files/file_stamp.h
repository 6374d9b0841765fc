// platform/files: what tells one version of a file from another (device,
// inode, size, modification time), for callers that reload a file when it
// changes. Header only: no system call of its own.
#pragma once

#include <sys/stat.h>

#include <cstdint>

#include "platform/base/api.h"

VLT_API_BEGIN
namespace platform {

struct CFileStamp {
  bool m_fExists = false;
  dev_t m_dev = 0;
  ino_t m_ino = 0;
  off_t m_cb = 0;
  int64_t m_nMtimeNs = 0;
  bool operator==(const CFileStamp&) const = default;
};

inline CFileStamp FileStampOf(const struct stat& st) {
  CFileStamp stamp;
  stamp.m_fExists = true;
  stamp.m_dev = st.st_dev;
  stamp.m_ino = st.st_ino;
  stamp.m_cb = st.st_size;
  stamp.m_nMtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return stamp;
}

}  // namespace platform
VLT_API_END

// A temporary directory for one test, removed with its contents.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace vlttest {

class CScratchDir {
 public:
  CScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vlttest-XXXXXX").string();
    m_path = mkdtemp(pattern.data());
  }
  ~CScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  CScratchDir(const CScratchDir&) = delete;
  CScratchDir& operator=(const CScratchDir&) = delete;
  const std::string& Dir() const { return m_path; }
  std::string Path(const std::string& name) const { return m_path + "/" + name; }

 private:
  std::string m_path;
};

}  // namespace vlttest

// A temporary directory for one test, removed with its contents.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace vlttest {

// The whole of a file; "" when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

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
  // Writes a file below the directory (creating its parents), by renaming a
  // new file over it as editors save; returns its path.
  std::string Write(const std::string& relative, const std::string& contents) const {
    std::filesystem::path path = std::filesystem::path(m_path) / relative;
    std::filesystem::create_directories(path.parent_path());
    std::string sTemp = path.string() + ".new";
    std::ofstream(sTemp, std::ios::binary) << contents;
    std::filesystem::rename(sTemp, path);
    return path.string();
  }

 private:
  std::string m_path;
};

}  // namespace vlttest

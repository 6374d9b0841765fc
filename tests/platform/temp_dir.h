// A scratch directory for one test, removed with its contents afterwards.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

class CTempDir {
 public:
  CTempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vltplatform-XXXXXX").string();
    m_path = mkdtemp(pattern.data());
  }
  ~CTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
  }
  CTempDir(const CTempDir&) = delete;
  CTempDir& operator=(const CTempDir&) = delete;

  std::string Path(std::string_view name) const { return m_path + "/" + std::string(name); }

  // Replaces the file by renaming a new one over it, as editors save.
  std::string Write(std::string_view name, std::string_view bytes) const {
    std::string path = Path(name);
    std::string temp = path + ".new";
    std::ofstream(temp, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    std::filesystem::rename(temp, path);
    return path;
  }

 private:
  std::string m_path;
};

#include "test_registry.h"

#include <stdlib.h>
#include <unistd.h>

#include "registry_recheck.h"

namespace vlttest {

ScopedRegistryFile::ScopedRegistryFile(const std::string& contents) : m_path(m_dir.Path("test.reg")) {
  const char* pszSource = getenv("VLT_SOURCE_DIR");
  m_dir.Write("System32/vltxmlss.txt", ReadFile(std::string(pszSource ? pszSource : ".") + "/data/vltxmlss.txt"));
  Rewrite(contents);
  setenv("VLTADMIN_REGISTRY", m_path.c_str(), 1);
}

ScopedRegistryFile::~ScopedRegistryFile() { unsetenv("VLTADMIN_REGISTRY"); }

void ScopedRegistryFile::Rewrite(const std::string& text) {
  std::string contents = text;
  for (size_t at; (at = contents.find("@LOCATION@")) != std::string::npos;) contents.replace(at, 10, m_dir.Dir());
  bool fReplacing = access(m_path.c_str(), F_OK) == 0;
  m_dir.Write("test.reg", contents);
  if (fReplacing) WaitForRegistryRecheck();
}

}  // namespace vlttest

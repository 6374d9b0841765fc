// A throw-away installation for setup tests: a registry file (with the
// install location, the "/Scripts" virtual root, the install key and the WAM
// server), the Windows folder holding System32/libvltadmin.so, the scripts
// directory D holding the web interface, and the metabase beside the
// registry. Runs vltadmin-setup against it in a child process.
#pragma once

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "test_registry.h"
#include "host_process.h"
#include "platform/wam/metabase.h"

extern char** environ;

namespace setuptest {

inline constexpr char kAppPath[] = "/LM/W3SVC/1/ROOT/Scripts/vltadmin";

struct CTreeOptions {
  std::string scriptsValue = "\"@LOCATION@/scripts,,204\"";  // "" leaves the value out
  bool fVirtualRoots = true;
  bool fWebInterface = true;
  bool fSource = true;
  bool fWow64Key = false;  // install key under WOW6432Node (and a wrong one outside)
  bool fWamAdmin = true;
};

class CSetupTree {
 public:
  explicit CSetupTree(const CTreeOptions& o = {})
      : m_registry(vlttest::RegistryText(Registry(o))) {
    namespace fs = std::filesystem;
    fs::create_directories(Scripts());
    if (o.fWebInterface) std::ofstream(Scripts() + "/libhqsrv.so") << "";
    if (o.fSource)
      fs::create_symlink(CHostProcess::BinDir() + "/libvltadmin.so", Dir() + "/System32/libvltadmin.so");
  }

  const std::string& Dir() const { return m_registry.Directory(); }
  const std::string& RegistryFile() const { return m_registry.Path(); }
  std::string Scripts() const { return Dir() + "/scripts"; }
  std::string Copy() const { return Scripts() + "/vltadmin/libvltadmin.so"; }
  std::string Metabase() const { return platform::wam::MetabaseFileBeside(RegistryFile()); }

  // Runs vltadmin-setup with |args| against this tree; its exit code, or
  // -1 when it did not exit normally. |pPid| gets its process id.
  int RunSetup(const std::vector<std::string>& args, pid_t* pPid = nullptr) const {
    std::vector<std::string> all = {CHostProcess::BinDir() + "/vltadmin-setup", "--registry", RegistryFile()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    if (pPid != nullptr) *pPid = pid;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // The paths of the metabase's applications; {"?"} when it is unreadable.
  std::vector<std::string> Applications() const {
    platform::wam::CMetabase metabase;
    if (platform::wam::ReadMetabaseFile(Metabase(), &metabase) != 0) return {"?"};
    std::vector<std::string> paths;
    for (const auto& app : metabase.Applications()) paths.push_back(app.m_path);
    return paths;
  }

 private:
  static std::string Registry(const CTreeOptions& o) {
    std::string text;
    if (o.fVirtualRoots) {
      text += "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\W3SVC\\Parameters\\Virtual Roots]\r\n";
      if (!o.scriptsValue.empty()) text += "\"/Scripts\"=" + o.scriptsValue + "\r\n";
      text += "\r\n";
    }
    const std::string key = "SOFTWARE\\Veltra\\Install\\{5A1E7C30-2B9D-4F61-8C0A-3E47D19B6F25}]\r\n";
    if (o.fWow64Key)
      text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Veltra\\Install]\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Veltra\\Install\\{5A1E7C30-2B9D-4F61-8C0A-3E47D19B6F25}]\r\n"
              "\"WindowsFolder\"=\"@LOCATION@\"\r\n\r\n"
              "[HKEY_LOCAL_MACHINE\\" + key + "\"WindowsFolder\"=\"/nonexistent/\"\r\n\r\n";
    else
      text += "[HKEY_LOCAL_MACHINE\\" + key + "\"WindowsFolder\"=\"@LOCATION@/\"\r\n\r\n";
    if (o.fWamAdmin)
      text += "[HKEY_CLASSES_ROOT\\CLSID\\{61738644-F196-11D0-9953-00C04FD919C1}\\InprocServer32]\r\n"
              "@=\"vltwam.dll\"\r\n\r\n";
    return text;
  }

  vlttest::ScopedRegistryFile m_registry;
};

}  // namespace setuptest

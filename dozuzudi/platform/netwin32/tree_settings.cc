#include "platform/netwin32/tree_settings.h"

#include "platform/registry/registry.h"

namespace netwin32 {
namespace {

constexpr size_t kMaxTreeName = 32;

// Blank-separated words, in lower case; false when one is not an LDAP
// attribute name.
bool ReadAttributeList(const std::string& sText, std::vector<std::string>* prgs) {
  prgs->clear();
  std::string sWord;
  for (size_t i = 0; i <= sText.size(); ++i) {
    char ch = i < sText.size() ? sText[i] : ' ';
    if (ch == ' ' || ch == '\t') {
      if (!sWord.empty()) prgs->push_back(std::move(sWord));
      sWord.clear();
    } else if ((ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9' && !sWord.empty()) ||
               (ch == '-' && !sWord.empty())) {
      sWord += ch;
    } else if (ch >= 'A' && ch <= 'Z') {
      sWord += static_cast<char>(ch - 'A' + 'a');
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

NWDSCCODE ReadTreeSettings(std::string_view sTree, CTreeSettings* pSettings) {
  if (sTree.empty() || sTree.size() > kMaxTreeName) return NDS_ERR_NO_SUCH_TREE;
  std::u16string sPath = u"SOFTWARE\\Veltra\\NDS\\Trees\\";
  for (char ch : sTree) {
    auto b = static_cast<unsigned char>(ch);
    if (b < 0x20 || b == 0x7F || b == '\\') return NDS_ERR_NO_SUCH_TREE;
    sPath += static_cast<char16_t>(b);  // ISO-8859-1
  }
  HKEY hKey = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, sPath.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
    return NDS_ERR_NO_SUCH_TREE;
  CTreeSettings settings;
  platform::ReadConnectionSettings(hKey, &settings.connection);
  settings.naming.sRootDn = platform::ReadRegistryUtf8(hKey, u"RootDN");
  std::string sLeaf = platform::ReadRegistryUtf8(hKey, u"LeafAttribute");
  std::string sContainers = platform::ReadRegistryUtf8(hKey, u"ContainerAttributes");
  std::string sGroups = platform::ReadRegistryUtf8(hKey, u"GroupMembershipAttribute");
  RegCloseKey(hKey);

  std::vector<std::string> rgs;
  if (!sLeaf.empty()) {
    if (!ReadAttributeList(sLeaf, &rgs) || rgs.size() != 1) return NDS_ERR_NO_SUCH_TREE;
    settings.naming.sLeafType = rgs[0];
  }
  if (!sContainers.empty()) {
    if (!ReadAttributeList(sContainers, &rgs) || rgs.empty()) return NDS_ERR_NO_SUCH_TREE;
    settings.naming.rgsContainerTypes = rgs;
  }
  if (!sGroups.empty()) {
    if (!ReadAttributeList(sGroups, &rgs) || rgs.size() != 1) return NDS_ERR_NO_SUCH_TREE;
    settings.sGroupMembershipAttribute = rgs[0];
  }
  // The root must be a DN that the name mapping reads back as [Root].
  std::string sRoot;
  if (settings.connection.rgsServers.empty() || settings.naming.sRootDn.empty() ||
      !DnToNdsName(settings.naming.sRootDn, settings.naming, &sRoot))
    return NDS_ERR_NO_SUCH_TREE;

  const platform::CConnectionSettings& c = settings.connection;
  for (const std::string& s : c.rgsServers) settings.sConnectionKey += s + ' ';
  settings.sConnectionKey += '\n' + c.sCaFile + '\n' + (c.fStartTls ? '1' : '0') +
                             (c.fAllowPlainLoopback ? '1' : '0') + std::to_string(c.nTimeoutSeconds);
  *pSettings = std::move(settings);
  return 0;
}

}  // namespace netwin32

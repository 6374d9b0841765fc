#include "member_tree.h"

#include <cstdlib>
#include <map>
#include <set>
#include <vector>

#include "admin/xml/xml_parser.h"
#include "platform/text/wstr.h"

namespace {

struct CMember {
  std::string sKind;  // "user", "group" or "error"
  std::string sName;
  std::string sDomain;
};

struct CGroup {
  std::string sName, sDomain, sType;
  std::vector<CMember> rgMembers;
};

std::string Utf8(const unsigned short* pw, int cw) {
  return platform::ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(pw), static_cast<size_t>(cw)));
}

// Attribute values come as written: the references the writer uses are
// decoded here.
std::string DecodeReferences(const std::string& s) {
  static const std::pair<const char*, char> s_rgEntities[] = {
      {"&quot;", '"'}, {"&amp;", '&'}, {"&apos;", '\''}, {"&lt;", '<'}, {"&gt;", '>'}};
  std::string sOut;
  for (size_t i = 0; i < s.size();) {
    bool fDone = false;
    if (s[i] == '&') {
      for (const auto& [pszEntity, ch] : s_rgEntities) {
        if (s.compare(i, std::char_traits<char>::length(pszEntity), pszEntity) == 0) {
          sOut += ch;
          i += std::char_traits<char>::length(pszEntity);
          fDone = true;
          break;
        }
      }
      size_t nEnd = s.find(';', i);
      if (!fDone && i + 2 < s.size() && s[i + 1] == '#' && nEnd != std::string::npos) {
        unsigned long n = std::strtoul(s.substr(i + 2, nEnd - i - 2).c_str(), nullptr, 10);
        sOut += platform::ToUtf8(std::u16string(1, static_cast<char16_t>(n)));
        i = nEnd + 1;
        fDone = true;
      }
    }
    if (!fDone) sOut += s[i++];
  }
  return sOut;
}

std::string Key(const std::string& sDomain, const std::string& sName) { return sDomain + '\n' + sName; }

class CTreePrinter {
 public:
  CTreePrinter(const std::vector<CGroup>& groups, std::string* psText) : m_groups(groups), m_psText(psText) {
    for (size_t i = 0; i < groups.size(); ++i) m_byKey.emplace(Key(groups[i].sDomain, groups[i].sName), i);
  }

  void Print(size_t iGroup, int nDepth) {
    const CGroup& group = m_groups[iGroup];
    m_printed.insert(iGroup);
    m_path.insert(iGroup);
    for (const CMember& member : group.rgMembers) {
      Line(nDepth, member.sKind + " " + (member.sKind == "error" ? member.sName : Qualified(member)));
      if (member.sKind != "group") continue;
      auto it = m_byKey.find(Key(member.sDomain, member.sName));
      if (it == m_byKey.end()) continue;
      if (m_path.count(it->second) != 0)
        Line(nDepth + 1, "(contains itself)");
      else if (m_printed.count(it->second) != 0)
        Line(nDepth + 1, "(members listed above)");
      else
        Print(it->second, nDepth + 1);
    }
    m_path.erase(iGroup);
  }

  void Line(int nDepth, const std::string& s) { *m_psText += std::string(2 * nDepth, ' ') + s + "\n"; }
  bool Printed(size_t i) const { return m_printed.count(i) != 0; }

  static std::string Qualified(const CMember& member) {
    return member.sDomain.empty() ? member.sName : member.sDomain + "\\" + member.sName;
  }

 private:
  const std::vector<CGroup>& m_groups;
  std::string* m_psText;
  std::map<std::string, size_t> m_byKey;
  std::set<size_t> m_printed, m_path;
};

}  // namespace

bool FormatMemberTree(const std::string& sResponse, std::string* psText) {
  psText->clear();
  std::string sCopy = sResponse;
  CIcuTrans trans;
  int nError = 0;
  auto* pb = reinterpret_cast<unsigned char*>(sCopy.data());
  if (!trans.ParseXMLSignature(pb, static_cast<int>(sCopy.size()), &nError)) return false;
  CXMLParser parser(static_cast<int>(sCopy.size()) + 16);
  if (!parser.Initialize(&trans, pb, static_cast<int>(sCopy.size()), &nError)) return false;

  std::vector<CGroup> groups;
  std::vector<std::string> rgsTopErrors;
  std::string sElement, sPendingDomain;
  bool fInGroup = false;
  for (;;) {
    CXMLParser::e_XML_Entry eKind;
    unsigned short *pwName = nullptr, *pwValue = nullptr;
    int cwName = 0, cwValue = 0;
    if (!parser.GetEntry(&eKind, &pwName, &cwName, &pwValue, &cwValue, &nError)) return false;
    if (eKind == CXMLParser::XML_ENTRY_END) break;
    std::string sName = eKind == CXMLParser::XML_ENTRY_DATA || pwName == nullptr ? "" : Utf8(pwName, cwName);
    switch (eKind) {
      case CXMLParser::XML_ENTRY_TOP:
      case CXMLParser::XML_ENTRY_CHILD:
      case CXMLParser::XML_ENTRY_SIBLING:
        sElement = sName;
        sPendingDomain.clear();
        if (sElement == "Group") {
          groups.emplace_back();
          fInGroup = true;
        } else if (sElement == "ResponseGroup") {
          fInGroup = false;
        }
        break;
      case CXMLParser::XML_ENTRY_UP:
        if (sName == "Group") fInGroup = false;
        break;
      case CXMLParser::XML_ENTRY_ATTRIBUTE: {
        std::string sValue = DecodeReferences(Utf8(pwValue, cwValue));
        if (sElement == "Group" && !groups.empty()) {
          if (sName == "name") groups.back().sName = sValue;
          if (sName == "domain") groups.back().sDomain = sValue;
          if (sName == "type") groups.back().sType = sValue;
        } else if (sName == "domain") {
          sPendingDomain = sValue;
        }
        break;
      }
      case CXMLParser::XML_ENTRY_DATA: {
        std::string sData = Utf8(pwName, cwName);
        std::string sKind = sElement == "UserName" ? "user" : sElement == "GroupName" ? "group"
                            : sElement == "ErrorId"  ? "error" : "";
        if (sKind.empty()) break;
        if (fInGroup && !groups.empty())
          groups.back().rgMembers.push_back({sKind, sData, sPendingDomain});
        else if (sKind == "error")
          rgsTopErrors.push_back(sData);
        break;
      }
      default:
        break;
    }
  }
  for (const std::string& sError : rgsTopErrors) *psText += "error " + sError + "\n";

  // Groups that no other group of the answer holds come first, as roots;
  // then any not reached from them (groups that hold each other).
  std::set<std::string> held;
  for (const CGroup& group : groups)
    for (const CMember& member : group.rgMembers)
      if (member.sKind == "group") held.insert(Key(member.sDomain, member.sName));
  CTreePrinter printer(groups, psText);
  for (int nPass = 0; nPass < 2; ++nPass) {
    for (size_t i = 0; i < groups.size(); ++i) {
      if (printer.Printed(i) || (nPass == 0 && held.count(Key(groups[i].sDomain, groups[i].sName)) != 0)) continue;
      CMember self{"group", groups[i].sName, groups[i].sDomain};
      printer.Line(0, "group " + CTreePrinter::Qualified(self) +
                          (groups[i].sType.empty() ? "" : " (" + groups[i].sType + ")"));
      printer.Print(i, 1);
    }
  }
  return true;
}

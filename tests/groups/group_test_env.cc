#include "group_test_env.h"

#include <regex>
#include <sstream>

std::vector<std::string> GroupTest::Lines(const std::string& sBody) {
  static const std::regex s_rgxGroup(R"re(^\s*<Group name="([^"]*)" domain="([^"]*)"(?: type="([^"]*)")?>$)re");
  static const std::regex s_rgxName(R"re(^\s*<(UserName|GroupName) domain="([^"]*)">(.*)</\1>$)re");
  static const std::regex s_rgxError(R"re(^\s*<ErrorId>(.*)</ErrorId>$)re");
  std::vector<std::string> rgsLines;
  std::istringstream in(sBody);
  std::smatch match;
  for (std::string sLine; std::getline(in, sLine);) {
    if (std::regex_match(sLine, match, s_rgxGroup))
      rgsLines.push_back("Group " + match[2].str() + "\\" + match[1].str() + " " + match[3].str());
    else if (std::regex_match(sLine, match, s_rgxName))
      rgsLines.push_back((match[1] == "UserName" ? "user " : "group ") + match[2].str() + "\\" + match[3].str());
    else if (std::regex_match(sLine, match, s_rgxError))
      rgsLines.push_back("error " + match[1].str());
  }
  return rgsLines;
}

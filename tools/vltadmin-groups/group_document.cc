#include "group_document.h"

#include <cstring>

namespace {

// Appends the text escaped, character by character: into a string with
// room enough, nothing is reallocated (no copy of a password is left).
void AppendEscaped(std::string* psOut, const char* psz) {
  for (; *psz != '\0'; ++psz) {
    char ch = *psz;
    switch (ch) {
      case '&': *psOut += "&amp;"; break;
      case '<': *psOut += "&lt;"; break;
      case '>': *psOut += "&gt;"; break;
      case '"': *psOut += "&quot;"; break;
      case '\'': *psOut += "&apos;"; break;
      default:
        // Leading white space of element text is dropped by the reader:
        // blanks and controls go as character references.
        if (static_cast<unsigned char>(ch) <= 32) {
          int n = static_cast<unsigned char>(ch);
          *psOut += "&#";
          if (n >= 10) *psOut += static_cast<char>('0' + n / 10);
          *psOut += static_cast<char>('0' + n % 10);
          *psOut += ';';
        } else {
          *psOut += ch;
        }
    }
  }
}

}  // namespace

std::string EscapeXml(const std::string& s) {
  std::string sOut;
  AppendEscaped(&sOut, s.c_str());
  return sOut;
}

std::string BuildGroupDocument(const CGroupDocumentOptions& options, const char* pszPassword) {
  std::string sDoc;
  // Room for everything, the password escaped at its longest, up front.
  size_t cb = 512 + 6 * (options.sDomain.size() + options.sType.size() + options.sUser.size());
  for (const std::string& sGroup : options.rgsGroups) cb += 64 + 6 * (sGroup.size() + options.sDomain.size());
  if (pszPassword != nullptr) cb += 6 * std::strlen(pszPassword);
  sDoc.reserve(cb);
  sDoc += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<AdminProtocol version=\"1.0\">\n<RequestGroup>\n";
  sDoc += std::string("<Scope traverse=\"") + (options.fSubtree ? "subtree" : "onelevel") + "\"/>\n";
  for (const std::string& sGroup : options.rgsGroups) {
    sDoc += "<GroupName domain=\"";
    AppendEscaped(&sDoc, options.sDomain.c_str());
    sDoc += "\" type=\"";
    AppendEscaped(&sDoc, options.sType.c_str());
    sDoc += "\">";
    AppendEscaped(&sDoc, sGroup.c_str());
    sDoc += "</GroupName>\n";
  }
  if (!options.sUser.empty()) {
    sDoc += "<Credentials>\n<UserName>";
    AppendEscaped(&sDoc, options.sUser.c_str());
    sDoc += "</UserName>\n<Domain type=\"";
    AppendEscaped(&sDoc, options.sType.c_str());
    sDoc += "\">";
    AppendEscaped(&sDoc, options.sDomain.c_str());
    sDoc += "</Domain>\n";
    if (pszPassword != nullptr) {
      sDoc += "<Password>";
      AppendEscaped(&sDoc, pszPassword);
      sDoc += "</Password>\n";
    }
    sDoc += "</Credentials>\n";
  }
  sDoc += "</RequestGroup>\n</AdminProtocol>\n";
  return sDoc;
}

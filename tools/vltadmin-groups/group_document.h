// The RequestGroup document that vltadmin-groups builds from its options.
#pragma once

#include <string>
#include <vector>

struct CGroupDocumentOptions {
  std::vector<std::string> rgsGroups;
  std::string sDomain;   // the groups' domain, and the NDS tree of the credentials
  std::string sType = "NT";
  bool fSubtree = false;
  std::string sUser;     // NDS credentials; the password comes from standard input
};

// A UTF-8 AdminProtocol document with one RequestGroup element. The
// password, when given, goes into Credentials as typed (no encoding).
std::string BuildGroupDocument(const CGroupDocumentOptions& options, const char* pszPassword);

// Text escaped for XML character data and attribute values.
std::string EscapeXml(const std::string& s);

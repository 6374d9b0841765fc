// Change-password request and response documents, and the error id of an
// answer, for the tests that talk the protocol.
#pragma once

#include <string>

#include "platform/text/wstr.h"

// Text given in UTF-8 as the bytes of an encoding: "UTF-8", "UTF-16LE" or
// "UTF-16BE" (with a byte-order mark unless fMark is false), "ISO-8859-1".
inline std::string Encode(const std::string& utf8, const std::string& encoding, bool fMark = true) {
  if (encoding == "UTF-8") return utf8;
  std::string out;
  const bool fLatin1 = encoding == "ISO-8859-1", fLittle = encoding == "UTF-16LE";
  if (!fLatin1 && fMark) out = fLittle ? "\xFF\xFE" : "\xFE\xFF";
  for (char16_t c : platform::FromUtf8(utf8)) {
    const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
    out += fLatin1 ? std::string(1, lo) : fLittle ? std::string{lo, hi} : std::string{hi, lo};
  }
  return out;
}

// A change-password request in UTF-8 with the given children.
inline std::string ChangeRequest(const std::string& children) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<AdminProtocol version=\"1.0\">"
         "<RequestChangePassword>" + children + "</RequestChangePassword></AdminProtocol>";
}

// A request for user with the passwords; a Domain element when type is given.
inline std::string ChangeRequest(const std::string& user, const std::string& oldPassword,
                                 const std::string& newPassword, const std::string& type = "",
                                 const std::string& domain = "") {
  std::string domainElement = type.empty() ? "" : "<Domain type=\"" + type + "\">" + domain + "</Domain>";
  return ChangeRequest("<UserName>" + user + "</UserName>" + domainElement + "<OldPassword>" + oldPassword +
                       "</OldPassword><NewPassword>" + newPassword + "</NewPassword>");
}

// The whole response document for an error id (null: success), in UTF-8
// under the given declared encoding name.
inline std::string ChangePasswordResponse(const char* pszErrorId, const std::string& encoding = "UTF-8") {
  std::string doc = "<?xml version=\"1.0\" encoding=\"" + encoding +
                    "\" ?>\n<!DOCTYPE AdminProtocol SYSTEM \"Admin.dtd\">\n"
                    "<AdminProtocol version=\"1\">\n    <ResponseChangePassword>\n";
  if (pszErrorId != nullptr) doc += std::string("      <ErrorId>") + pszErrorId + "</ErrorId>\n";
  return doc + "    </ResponseChangePassword>\n</AdminProtocol>\n";
}

// The error id in a response body; "" when there is none (success).
inline std::string ErrorIdOf(const std::string& body) {
  size_t at = body.find("<ErrorId>");
  if (at == std::string::npos) return "";
  at += 9;
  return body.substr(at, body.find("</ErrorId>") - at);
}

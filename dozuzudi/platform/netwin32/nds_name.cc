#include "platform/netwin32/nds_name.h"

#include <cstdint>

namespace netwin32 {
namespace {

constexpr std::string_view kRoot = "[Root]";

char AsciiLower(char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

bool IsAlpha(char ch) { return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z'); }
bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

// An attribute type as LDAP writes it (a descriptor): a letter, then
// letters, digits and hyphens.
bool IsDescriptor(std::string_view s) {
  if (s.empty() || !IsAlpha(s[0])) return false;
  for (char ch : s)
    if (!IsAlpha(ch) && !IsDigit(ch) && ch != '-') return false;
  return true;
}

// The LDAP type of a typeful component's type: NDS's "S" is "st"; the rest
// in lower case.
std::string LdapType(std::string_view sType) {
  std::string s;
  for (char ch : sType) s += AsciiLower(ch);
  return s == "s" ? "st" : s;
}

// Splits one component's text (escapes still in it) into its values.
NWDSCCODE ParseComponent(std::string_view sText, CNdsRdn* pRdn) {
  CNdsAva ava;
  std::string sPart;
  bool fTyped = false;
  auto finishAva = [&]() {
    if (sPart.empty() || (fTyped && ava.sType.empty())) return false;
    ava.sValue = Latin1ToUtf8(sPart);
    pRdn->push_back(std::move(ava));
    ava = CNdsAva();
    sPart.clear();
    fTyped = false;
    return true;
  };
  for (size_t i = 0; i < sText.size(); ++i) {
    char ch = sText[i];
    if (ch == '\\') {
      sPart += sText[++i];  // the splitter guarantees a character follows
    } else if (ch == '=' && !fTyped) {
      if (!IsDescriptor(sPart)) return NDS_ERR_INVALID_DS_NAME;
      ava.sType = LdapType(sPart);
      sPart.clear();
      fTyped = true;
    } else if (ch == '+') {
      if (!fTyped || !finishAva()) return NDS_ERR_INVALID_DS_NAME;
    } else {
      sPart += ch;
    }
  }
  if (!finishAva()) return NDS_ERR_INVALID_DS_NAME;  // "CN=" with nothing after it
  // A component of several values types each of them.
  for (const CNdsAva& ava : *pRdn)
    if (pRdn->size() > 1 && ava.sType.empty()) return NDS_ERR_INVALID_DS_NAME;
  return 0;
}

// Splits dotted text (no leading dot) into components, leaf first; counts
// the trailing dots.
NWDSCCODE SplitComponents(std::string_view sText, CNdsName* pName, size_t* pcTrailingDots) {
  size_t nStart = 0;
  *pcTrailingDots = 0;
  std::vector<std::string_view> rgsParts;
  for (size_t i = 0; i <= sText.size(); ++i) {
    if (i < sText.size() && sText[i] == '\\') {
      if (++i == sText.size()) return NDS_ERR_INVALID_DS_NAME;  // a lone backslash at the end
      continue;
    }
    if (i == sText.size() || sText[i] == '.') {
      rgsParts.push_back(sText.substr(nStart, i - nStart));
      nStart = i + 1;
    }
  }
  // Trailing dots leave empty parts at the end; any other empty part is a fault.
  while (rgsParts.size() > 1 && rgsParts.back().empty()) {
    rgsParts.pop_back();
    ++*pcTrailingDots;
  }
  for (std::string_view sPart : rgsParts) {
    if (sPart.empty()) return NDS_ERR_INVALID_DS_NAME;
    CNdsRdn rdn;
    NWDSCCODE nCode = ParseComponent(sPart, &rdn);
    if (nCode != 0) return nCode;
    pName->push_back(std::move(rdn));
  }
  return 0;
}

// RFC 4514: reads one DN into its RDNs, leaf first; false on any fault and
// for values in BER (#...) form.
bool ParseDn(std::string_view sDn, std::vector<CNdsRdn>* prgRdns) {
  prgRdns->clear();
  if (sDn.empty()) return true;
  size_t i = 0;
  auto hexValue = [](char ch) -> int {
    if (IsDigit(ch)) return ch - '0';
    ch = AsciiLower(ch);
    return ch >= 'a' && ch <= 'f' ? ch - 'a' + 10 : -1;
  };
  CNdsRdn rdn;
  while (true) {
    CNdsAva ava;
    size_t nEquals = sDn.find('=', i);
    if (nEquals == std::string_view::npos) return false;
    std::string_view sType = sDn.substr(i, nEquals - i);
    if (!sType.empty() && IsDigit(sType[0])) {
      for (char ch : sType)
        if (!IsDigit(ch) && ch != '.') return false;
    } else if (!IsDescriptor(sType)) {
      return false;
    }
    ava.sType = LdapType(sType);
    i = nEquals + 1;
    if (i < sDn.size() && sDn[i] == '#') return false;
    while (i < sDn.size() && sDn[i] != ',' && sDn[i] != '+') {
      char ch = sDn[i];
      if (ch == '\\') {
        if (i + 1 >= sDn.size()) return false;
        int nHigh = hexValue(sDn[i + 1]);
        if (nHigh >= 0 && i + 2 < sDn.size() && hexValue(sDn[i + 2]) >= 0) {
          ava.sValue += static_cast<char>(nHigh * 16 + hexValue(sDn[i + 2]));
          i += 3;
        } else {
          ava.sValue += sDn[i + 1];
          i += 2;
        }
      } else {
        if (ch == '"' || ch == ';' || ch == '<' || ch == '>' || ch == '\0') return false;
        ava.sValue += ch;
        ++i;
      }
    }
    if (ava.sValue.empty()) return false;
    rdn.push_back(std::move(ava));
    if (i == sDn.size() || sDn[i] == ',') {
      prgRdns->push_back(std::move(rdn));
      rdn.clear();
    }
    if (i == sDn.size()) return true;
    if (++i == sDn.size()) return false;  // a separator at the end
  }
}

bool SameRdn(const CNdsRdn& a, const CNdsRdn& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!EqualsIgnoringCase(a[i].sType, b[i].sType) || !EqualsIgnoringCase(a[i].sValue, b[i].sValue))
      return false;
  return true;
}

// The type a typeless component takes at position i of n.
const std::string& PositionType(const CNamingRules& rules, size_t i, size_t n, bool fContainer) {
  if (i == 0 && !fContainer) return rules.sLeafType;
  size_t nLevel = n - 1 - i;  // 0: just below [Root]
  const auto& rgs = rules.rgsContainerTypes;
  return rgs[nLevel < rgs.size() ? nLevel : rgs.size() - 1];
}

// A value written in an NDS name: the characters that name syntax uses are
// escaped.
void AppendNdsValue(std::string* ps, std::string_view sValue) {
  for (char ch : sValue) {
    if (ch == '.' || ch == '=' || ch == '+' || ch == '\\') *ps += '\\';
    *ps += ch;
  }
}

}  // namespace

NWDSCCODE ParseNdsName(std::string_view sName, const CNdsName& context, CNdsName* pName) {
  pName->clear();
  if (sName.size() > MAX_DN_CHARS) return NDS_ERR_DN_TOO_LONG;
  if (EqualsIgnoringCase(sName, kRoot)) return 0;
  if (sName.empty() || sName == ".") return NDS_ERR_INVALID_DS_NAME;
  bool fFull = sName[0] == '.';
  CNdsName name;
  size_t cTrailingDots = 0;
  NWDSCCODE nCode = SplitComponents(fFull ? sName.substr(1) : sName, &name, &cTrailingDots);
  if (nCode != 0) return nCode;
  if (fFull) {
    if (cTrailingDots != 0) return NDS_ERR_INVALID_DS_NAME;
  } else {
    if (cTrailingDots > context.size()) return NDS_ERR_INVALID_DS_NAME;
    name.insert(name.end(), context.begin() + static_cast<ptrdiff_t>(cTrailingDots), context.end());
  }
  *pName = std::move(name);
  return 0;
}

std::string NdsNameToDn(const CNdsName& name, const CNamingRules& rules, bool fContainer) {
  std::string sDn;
  for (size_t i = 0; i < name.size(); ++i) {
    if (i != 0) sDn += ',';
    for (size_t j = 0; j < name[i].size(); ++j) {
      const CNdsAva& ava = name[i][j];
      if (j != 0) sDn += '+';
      sDn += ava.sType.empty() ? PositionType(rules, i, name.size(), fContainer) : ava.sType;
      sDn += '=';
      sDn += EscapeDnValue(ava.sValue);
    }
  }
  if (!rules.sRootDn.empty()) {
    if (!sDn.empty()) sDn += ',';
    sDn += rules.sRootDn;
  }
  return sDn;
}

bool DnToNdsName(std::string_view sDn, const CNamingRules& rules, std::string* psName) {
  std::vector<CNdsRdn> rgDn;
  std::vector<CNdsRdn> rgRoot;
  if (!ParseDn(sDn, &rgDn) || !ParseDn(rules.sRootDn, &rgRoot) || rgDn.size() < rgRoot.size())
    return false;
  size_t cOwn = rgDn.size() - rgRoot.size();
  for (size_t i = 0; i < rgRoot.size(); ++i)
    if (!SameRdn(rgDn[cOwn + i], rgRoot[i])) return false;
  if (cOwn == 0) {
    *psName = kRoot;
    return true;
  }
  bool fTypeless = true;
  for (size_t i = 0; i < cOwn && fTypeless; ++i)
    fTypeless = rgDn[i].size() == 1 && rgDn[i][0].sType == PositionType(rules, i, cOwn, false);
  std::string sName;
  for (size_t i = 0; i < cOwn; ++i) {
    sName += '.';
    for (size_t j = 0; j < rgDn[i].size(); ++j) {
      if (j != 0) sName += '+';
      if (!fTypeless) {
        for (char ch : rgDn[i][j].sType) sName += ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch;
        sName += '=';
      }
      AppendNdsValue(&sName, rgDn[i][j].sValue);
    }
  }
  *psName = std::move(sName);
  return true;
}

std::string EscapeDnValue(std::string_view s) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string sOut;
  for (size_t i = 0; i < s.size(); ++i) {
    auto b = static_cast<unsigned char>(s[i]);
    bool fSpecial = b == ',' || b == '+' || b == '"' || b == '\\' || b == '<' || b == '>' ||
                    b == ';' || b == '=' || (i == 0 && (b == ' ' || b == '#')) ||
                    (i + 1 == s.size() && b == ' ');
    if (b < 0x20 || b == 0x7F) {
      sOut += '\\';
      sOut += kHex[b >> 4];
      sOut += kHex[b & 15];
    } else {
      if (fSpecial) sOut += '\\';
      sOut += static_cast<char>(b);
    }
  }
  return sOut;
}

std::string EscapeFilterValue(std::string_view s) {
  static const char kHex[] = "0123456789abcdef";
  std::string sOut;
  for (char ch : s) {
    auto b = static_cast<unsigned char>(ch);
    if (b == '*' || b == '(' || b == ')' || b == '\\' || b < 0x20 || b == 0x7F) {
      sOut += '\\';
      sOut += kHex[b >> 4];
      sOut += kHex[b & 15];
    } else {
      sOut += ch;
    }
  }
  return sOut;
}

std::string Latin1ToUtf8(std::string_view s) {
  // Sized once, so that no reallocation leaves a copy of a password behind.
  size_t cb = s.size();
  for (char ch : s) cb += static_cast<unsigned char>(ch) >= 0x80 ? 1 : 0;
  std::string sOut;
  sOut.reserve(cb);
  for (char ch : s) {
    auto b = static_cast<unsigned char>(ch);
    if (b < 0x80) {
      sOut += ch;
    } else {
      sOut += static_cast<char>(0xC0 | (b >> 6));
      sOut += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return sOut;
}

bool Utf8ToLatin1(std::string_view s, std::string* psOut) {
  std::string sOut;
  for (size_t i = 0; i < s.size(); ++i) {
    auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      sOut += s[i];
    } else if ((b == 0xC2 || b == 0xC3) && i + 1 < s.size() &&
               (static_cast<unsigned char>(s[i + 1]) & 0xC0) == 0x80) {
      sOut += static_cast<char>(((b & 0x03) << 6) | (static_cast<unsigned char>(s[++i]) & 0x3F));
    } else {
      return false;
    }
  }
  *psOut = std::move(sOut);
  return true;
}

}  // namespace netwin32

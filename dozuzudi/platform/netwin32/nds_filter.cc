#include "platform/netwin32/nds_filter.h"

#include <cstring>
#include <new>
#include <set>

#include "platform/netwin32/nds_context.h"
#include "platform/netwin32/nds_name.h"
#include "platform/netwin32/nds_schema.h"

struct NWDSFilterCursor {
  struct CToken {
    uint16_t nToken;
    uint32_t nSyntax;
    const void* pvValue;
  };
  std::vector<CToken> rgTokens;
};

namespace netwin32 {
namespace {

constexpr size_t kMaxTokens = 256;

CRITICAL_SECTION s_csCursors;
std::set<const NWDSFilterCursor*> s_cursors GUARDED_BY(s_csCursors);

bool IsLiveCursor(const NWDSFilterCursor* pCursor) {
  CSectionLock lock(&s_csCursors);
  return s_cursors.count(pCursor) != 0;
}

bool IsKnownSyntax(uint32_t nSyntax) {
  return nSyntax == SYN_DIST_NAME || nSyntax == SYN_CE_STRING || nSyntax == SYN_CI_STRING ||
         nSyntax == SYN_TEL_NUMBER || nSyntax == SYN_CLASS_NAME;
}

bool HasValue(uint16_t nToken) { return nToken == FTOK_ANAME || nToken == FTOK_AVAL || nToken == FTOK_BASECLS; }

void FreeCursor(NWDSFilterCursor* pCursor, NWDSFreeValueProc pfnFreeValue) {
  {
    CSectionLock lock(&s_csCursors);
    s_cursors.erase(pCursor);
  }
  if (pfnFreeValue != nullptr)
    for (const auto& token : pCursor->rgTokens)
      if (token.pvValue != nullptr) pfnFreeValue(token.nSyntax, const_cast<void*>(token.pvValue));
  delete pCursor;
}

// Recursive descent over the tokens (see the grammar in netwin32.h),
// writing the LDAP filter as it goes.
class CFilterTranslator {
 public:
  CFilterTranslator(const std::vector<CFilterToken>& rgTokens, const CFilterMapping* pMapping)
      : m_rg(rgTokens), m_pMapping(pMapping) {}

  NWDSCCODE Run(std::string* psFilter) {
    m_n = m_rg.size();
    if (m_n > 0 && m_rg[m_n - 1].nToken == FTOK_END) --m_n;
    if (m_n == 0) return NDS_ERR_INVALID_FILTER_SYNTAX;
    NWDSCCODE nCode = List(FTOK_OR, psFilter);
    if (nCode == 0 && m_i != m_n) nCode = NDS_ERR_INVALID_FILTER_SYNTAX;
    return nCode;
  }

 private:
  bool Next(uint16_t nToken) {
    if (m_i < m_n && m_rg[m_i].nToken == nToken) {
      ++m_i;
      return true;
    }
    return false;
  }

  // Terms joined by FTOK_OR (each an FTOK_AND list) or by FTOK_AND.
  NWDSCCODE List(uint16_t nJoin, std::string* ps) {
    std::string sTerms;
    size_t cTerms = 0;
    do {
      std::string sTerm;
      NWDSCCODE nCode = nJoin == FTOK_OR ? List(FTOK_AND, &sTerm) : Unary(&sTerm);
      if (nCode != 0) return nCode;
      sTerms += sTerm;
      ++cTerms;
    } while (Next(nJoin));
    *ps = cTerms == 1 ? sTerms : std::string(nJoin == FTOK_OR ? "(|" : "(&") + sTerms + ")";
    return 0;
  }

  NWDSCCODE Unary(std::string* ps) {
    if (m_i >= m_n) return NDS_ERR_INVALID_FILTER_SYNTAX;
    const CFilterToken& token = m_rg[m_i++];
    switch (token.nToken) {
      case FTOK_NOT: {
        std::string s;
        NWDSCCODE nCode = Unary(&s);
        *ps = "(!" + s + ")";
        return nCode;
      }
      case FTOK_LPAREN: {
        NWDSCCODE nCode = List(FTOK_OR, ps);
        if (nCode == 0 && !Next(FTOK_RPAREN)) nCode = NDS_ERR_INVALID_FILTER_SYNTAX;
        return nCode;
      }
      case FTOK_PRESENT: {
        if (m_i >= m_n || m_rg[m_i].nToken != FTOK_ANAME) return NDS_ERR_INVALID_FILTER_SYNTAX;
        std::string sAttribute;
        uint32_t nSyntax = 0;
        NWDSCCODE nCode = Attribute(m_rg[m_i++].sValue, &sAttribute, &nSyntax);
        *ps = "(" + sAttribute + "=*)";
        return nCode;
      }
      case FTOK_BASECLS:
        return Assertion("objectClass", SYN_CLASS_NAME, "=", token, ps);
      case FTOK_ANAME:
        return Item(token, ps);
      default:
        return NDS_ERR_INVALID_FILTER_SYNTAX;
    }
  }

  NWDSCCODE Item(const CFilterToken& name, std::string* ps) {
    std::string sAttribute;
    uint32_t nSyntax = 0;
    NWDSCCODE nCode = Attribute(name.sValue, &sAttribute, &nSyntax);
    if (nCode != 0) return nCode;
    if (m_i >= m_n) return NDS_ERR_INVALID_FILTER_SYNTAX;
    const char* pszOperator = nullptr;
    switch (m_rg[m_i].nToken) {
      case FTOK_EQ: pszOperator = "="; break;
      case FTOK_GE: pszOperator = ">="; break;
      case FTOK_LE: pszOperator = "<="; break;
      case FTOK_APPROX: pszOperator = "~="; break;
      default: return NDS_ERR_INVALID_FILTER_SYNTAX;
    }
    ++m_i;
    if (m_i >= m_n || m_rg[m_i].nToken != FTOK_AVAL) return NDS_ERR_INVALID_FILTER_SYNTAX;
    const CFilterToken& value = m_rg[m_i++];
    return Assertion(sAttribute, value.nSyntax == SYN_DIST_NAME ? SYN_DIST_NAME : nSyntax, pszOperator,
                     value, ps);
  }

  NWDSCCODE Attribute(const std::string& sNds, std::string* psLdap, uint32_t* pnSyntax) {
    CNdsAttribute attribute;
    NWDSCCODE nCode = LookUpAttribute(sNds, &attribute);
    if (nCode != 0) return nCode;
    *pnSyntax = attribute.nSyntax;
    *psLdap = attribute.sLdapName.empty() && m_pMapping != nullptr ? m_pMapping->sGroupMembershipAttribute
                                                                   : attribute.sLdapName;
    return 0;
  }

  NWDSCCODE Assertion(const std::string& sAttribute, uint32_t nSyntax, const char* pszOperator,
                      const CFilterToken& value, std::string* ps) {
    if (m_pMapping == nullptr) return 0;
    std::vector<std::string> rgsValues;
    if (nSyntax == SYN_DIST_NAME) {
      CNdsName name;
      NWDSCCODE nCode = ParseNdsName(value.sValue, *m_pMapping->pNameContext, &name);
      if (nCode != 0) return nCode;
      rgsValues.push_back(NdsNameToDn(name, *m_pMapping->pNaming, false));
    } else if (nSyntax == SYN_CLASS_NAME && std::strcmp(pszOperator, "=") == 0) {
      rgsValues = LdapClassNames(Latin1ToUtf8(value.sValue));
    } else {
      rgsValues.push_back(Latin1ToUtf8(value.sValue));
    }
    std::string sTerms;
    for (const std::string& s : rgsValues) sTerms += "(" + sAttribute + pszOperator + EscapeFilterValue(s) + ")";
    *ps = rgsValues.size() == 1 ? sTerms : "(|" + sTerms + ")";
    return 0;
  }

  const std::vector<CFilterToken>& m_rg;
  const CFilterMapping* m_pMapping;
  size_t m_n = 0;
  size_t m_i = 0;
};

template <typename T>
bool Take(const NWDSBuf& buf, size_t* pn, T* pValue) {
  if (buf.cbUsed - *pn < sizeof(T)) return false;
  std::memcpy(pValue, buf.pb.get() + *pn, sizeof(T));
  *pn += sizeof(T);
  return true;
}

}  // namespace

NWDSCCODE TranslateFilter(const std::vector<CFilterToken>& rgTokens, const CFilterMapping* pMapping,
                          std::string* psFilter) {
  return CFilterTranslator(rgTokens, pMapping).Run(psFilter);
}

std::vector<CFilterToken> ReadFilterTokens(const NWDSBuf& buf) {
  std::vector<CFilterToken> rgTokens;
  size_t n = 0;
  for (uint32_t i = 0; i < buf.cItems; ++i) {
    CFilterToken token;
    uint16_t cb = 0;
    if (!Take(buf, &n, &token.nToken) || !Take(buf, &n, &token.nSyntax) || !Take(buf, &n, &cb) ||
        buf.cbUsed - n < cb)
      break;
    token.sValue.assign(reinterpret_cast<const char*>(buf.pb.get() + n), cb);
    n += cb;
    rgTokens.push_back(std::move(token));
  }
  return rgTokens;
}

}  // namespace netwin32

using namespace netwin32;

extern "C" {

NWDSCCODE NWDSAllocFilter(pFilter_Cursor_T* ppCursor) {
  if (ppCursor == nullptr) return NDS_ERR_NULL_POINTER;
  *ppCursor = new (std::nothrow) NWDSFilterCursor;
  if (*ppCursor == nullptr) return NDS_ERR_NOT_ENOUGH_MEMORY;
  CSectionLock lock(&s_csCursors);
  s_cursors.insert(*ppCursor);
  return 0;
}

NWDSCCODE NWDSAddFilterToken(pFilter_Cursor_T pCursor, uint16_t nToken, const void* pvValue,
                             uint32_t nSyntax) {
  if (pCursor == nullptr) return NDS_ERR_NULL_POINTER;
  if (!IsLiveCursor(pCursor)) return NDS_ERR_INVALID_HANDLE;
  switch (nToken) {
    case FTOK_END: case FTOK_OR: case FTOK_AND: case FTOK_NOT: case FTOK_LPAREN: case FTOK_RPAREN:
    case FTOK_EQ: case FTOK_GE: case FTOK_LE: case FTOK_APPROX: case FTOK_PRESENT:
    case FTOK_ANAME: case FTOK_AVAL: case FTOK_BASECLS:
      break;
    default:
      return NDS_ERR_INVALID_FILTER_SYNTAX;
  }
  if (HasValue(nToken) && pvValue == nullptr) return NDS_ERR_NULL_POINTER;
  if (nToken == FTOK_AVAL && !IsKnownSyntax(nSyntax)) return NDS_ERR_NO_SUCH_SYNTAX;
  if (pCursor->rgTokens.size() >= kMaxTokens) return NDS_ERR_TOO_MANY_TOKENS;
  pCursor->rgTokens.push_back({nToken, nSyntax, HasValue(nToken) ? pvValue : nullptr});
  return 0;
}

NWDSCCODE NWDSPutFilter(NWDSContextHandle context, pBuf_T pBuf, pFilter_Cursor_T pCursor,
                        NWDSFreeValueProc pfnFreeValue) {
  NWDSCCODE nCode = CheckBuffer(pBuf);
  if (nCode != 0) return nCode;
  std::shared_ptr<CNdsContext> pContext = FindContext(context);
  if (!pContext || pContext->Check() != 0) return NDS_ERR_BAD_CONTEXT;
  if (pCursor == nullptr) return NDS_ERR_NULL_POINTER;
  if (!IsLiveCursor(pCursor)) return NDS_ERR_INVALID_HANDLE;
  if (pBuf->eKind != EBufferKind::kFilter) return NDS_ERR_BAD_VERB;

  std::vector<CFilterToken> rgTokens;
  std::string sRecords;
  for (const auto& source : pCursor->rgTokens) {
    CFilterToken token{source.nToken, source.nSyntax, {}};
    if (source.pvValue != nullptr) token.sValue = static_cast<const char*>(source.pvValue);
    if (token.sValue.size() > UINT16_MAX) return NDS_ERR_BUFFER_FULL;
    auto cb = static_cast<uint16_t>(token.sValue.size());
    sRecords.append(reinterpret_cast<const char*>(&token.nToken), sizeof token.nToken);
    sRecords.append(reinterpret_cast<const char*>(&token.nSyntax), sizeof token.nSyntax);
    sRecords.append(reinterpret_cast<const char*>(&cb), sizeof cb);
    sRecords += token.sValue;
    rgTokens.push_back(std::move(token));
  }
  std::string sUnused;
  nCode = TranslateFilter(rgTokens, nullptr, &sUnused);
  if (nCode != 0) return nCode;
  if (sRecords.size() > pBuf->cbMax) return NDS_ERR_BUFFER_FULL;
  std::memcpy(pBuf->pb.get(), sRecords.data(), sRecords.size());
  pBuf->cbUsed = sRecords.size();
  pBuf->cItems = static_cast<uint32_t>(rgTokens.size());
  FreeCursor(pCursor, pfnFreeValue);
  return 0;
}

NWDSCCODE NWDSFreeFilter(pFilter_Cursor_T pCursor, NWDSFreeValueProc pfnFreeValue) {
  if (pCursor == nullptr) return NDS_ERR_NULL_POINTER;
  if (!IsLiveCursor(pCursor)) return NDS_ERR_INVALID_HANDLE;
  FreeCursor(pCursor, pfnFreeValue);
  return 0;
}

}  // extern "C"

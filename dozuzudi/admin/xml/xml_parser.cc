// CXMLParser: construction, the prolog, and the entry loop with its steps.
#include "admin/xml/xml_parser.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "admin/xml/scan.h"
#include "platform/heap.h"

namespace {

constexpr int kcwInline = 8192;
constexpr int kMaxOpen = 64;

// "<!--" at p, compared as one 64-bit word: most tags start with "<", so a
// unit-by-unit test would branch again on the second unit.
inline bool IsCommentStart(const unsigned short* p, const unsigned short* pEnd) {
  static constexpr unsigned short m_rgwCommentOpen[4] = {u'<', u'!', u'-', u'-'};
  if (pEnd - p < 4) return false;
  uint64_t nText, nOpen;
  memcpy(&nText, p, sizeof nText);
  memcpy(&nOpen, m_rgwCommentOpen, sizeof nOpen);
  return nText == nOpen;
}

// Past the "-->" that ends a comment whose text starts at p; null when the
// text ends first.
inline unsigned short* SkipCommentBody(unsigned short* p, const unsigned short* pEnd) {
  if (pEnd - p < 3) return nullptr;
  const unsigned short* const pLast = pEnd - 2;  // "-->" must fit
  for (;; ++p) {
    p = xmlscan::FindEither(p, pLast, u'-', u'-');
    if (p >= pLast) return nullptr;
    if (p[1] == u'-' && p[2] == u'>') return p + 3;
  }
}

// Past the comments starting at p and the white space after each; null
// when a comment is not closed.
__attribute__((noinline)) unsigned short* SkipComments(unsigned short* p,
                                                       const unsigned short* pEnd) {
  while (IsCommentStart(p, pEnd)) {
    p = SkipCommentBody(p + 4, pEnd);
    if (p == nullptr) return nullptr;
    p = xmlscan::SkipSpaces(p, pEnd);
  }
  return p;
}

}  // namespace

const unsigned short CXMLParser::m_rgNumbers[33] = {
    u'0', u'1', u'2', u'3', u'4', u'5', u'6', u'7', u'8', u'9', u'A',
    u'B', u'C', u'D', u'E', u'F', u'0', u'1', u'2', u'3', u'4', u'5',
    u'6', u'7', u'8', u'9', u'a', u'b', u'c', u'd', u'e', u'f', 0};

CXMLParser::CXMLParser(int cwCapacity)
    : m_pTrans(nullptr),
      m_pwCursor(nullptr),
      m_pwEnd(nullptr),
      m_pwBuffer(m_rgwInline),
      m_cwBuffer(kcwInline),
      m_pwDocument(nullptr),
      m_nDepth(0),
      m_nLevel(0),
      m_fAttributes(false) {
  if (cwCapacity > 0) {
    unsigned short* pw = new (std::nothrow) unsigned short[static_cast<size_t>(cwCapacity)];
    if (pw != nullptr) {
      m_pwBuffer = pw;
      m_cwBuffer = cwCapacity;
    }
  }
  m_pwBuffer[0] = 0;
}

CXMLParser::~CXMLParser() {
  // The text may hold passwords. After a failed conversion the buffer may
  // hold part of it anywhere, so then all of it is wiped.
  size_t cwUsed = m_pwEnd != nullptr ? static_cast<size_t>(m_pwEnd - m_pwBuffer)
                                     : static_cast<size_t>(m_cwBuffer);
  SecureZeroMemory(m_pwBuffer, cwUsed * sizeof(m_pwBuffer[0]));
  if (m_pwBuffer != m_rgwInline) delete[] m_pwBuffer;
}

bool CXMLParser::Initialize(CIcuTrans* pTrans, unsigned char* pbDoc, int cbDoc, int* pError) {
  int nIgnored;
  if (pError == nullptr) pError = &nIgnored;
  m_pTrans = pTrans;
  if (pTrans == nullptr || pbDoc == nullptr) {
    *pError = XML_FAILURE;
    return false;
  }
  const int cbSignature = pTrans->GetCountOfBytesForSignature();
  if (cbSignature < 0 || cbSignature > cbDoc) {
    *pError = XML_FAILURE;
    return false;
  }
  int cw = m_cwBuffer;
  if (!pTrans->InputToUnicode(pbDoc + cbSignature, cbDoc - cbSignature, m_pwBuffer, &cw, pError))
    return false;
  unsigned short* p = m_pwBuffer;
  m_pwEnd = m_pwBuffer + cw;

  // Prolog: white space, comments and "<!...>" declarations.
  for (;;) {
    while (p < m_pwEnd && IsWhiteSpace(*p)) ++p;
    if (p == m_pwEnd) {
      *pError = XML_UNEXPECTED_END;
      return false;
    }
    if (IsCommentStart(p, m_pwEnd)) {
      p = SkipCommentBody(p + 4, m_pwEnd);
    } else if (m_pwEnd - p >= 2 && p[0] == u'<' && p[1] == u'!') {
      for (p += 2; p < m_pwEnd && *p != u'>'; ++p) {
      }
      p = p < m_pwEnd ? p + 1 : nullptr;
    } else {
      break;
    }
    if (p == nullptr) {
      m_pwCursor = m_pwEnd;
      *pError = XML_UNEXPECTED_END;
      return false;
    }
  }
  m_pwCursor = p;
  m_pwDocument = p;
  return true;
}

bool CXMLParser::skipWhitespace() {
  unsigned short* p = m_pwCursor;
  while (p < m_pwEnd && IsWhiteSpace(*p)) ++p;
  m_pwCursor = p;
  return p < m_pwEnd;
}

bool CXMLParser::skipWSandComments(int* pError) {
  static_assert(WhiteSpaceMask() == ((1ull << 9) | (1ull << 10) | (1ull << 13) | (1ull << 32)),
                "xmlscan::SkipSpaces skips exactly the white space");
  unsigned short* p = xmlscan::SkipSpaces(m_pwCursor, m_pwEnd);
  m_pwCursor = p;
  if (!IsCommentStart(p, m_pwEnd)) [[likely]]
    return p < m_pwEnd;
  // Comments, and the white space between and after them.
  p = SkipComments(p, m_pwEnd);
  if (p == nullptr) {
    m_pwCursor = m_pwEnd;
    *pError = XML_UNEXPECTED_END;
    return false;
  }
  m_pwCursor = p;
  return p < m_pwEnd;
}

bool CXMLParser::GetEntry(e_XML_Entry* peKind, unsigned short** ppwName, int* pcwName,
                          unsigned short** ppwValue, int* pcwValue, int* pError) {
  *peKind = XML_ENTRY_NONE;
  *ppwName = nullptr;
  *pcwName = 0;
  *ppwValue = nullptr;
  *pcwValue = 0;
  *pError = XML_OK;

  auto atEnd = [&]() {
    if (m_nDepth != 0) {
      *pError = XML_UNEXPECTED_END;
      return false;
    }
    *peKind = XML_ENTRY_END;
    return true;
  };

  if (!skipWSandComments(pError)) return *pError == XML_OK ? atEnd() : false;

  if (m_fAttributes) {
    if (GetAttribute(ppwName, pcwName, ppwValue, pcwValue, pError)) {
      *peKind = XML_ENTRY_ATTRIBUTE;
      return true;
    }
    if (*pError != XML_OK) return false;
    m_fAttributes = false;
  }

  for (;;) {
    const unsigned short* p = m_pwCursor;
    if (*p == u'<') {
      if (m_pwEnd - p >= 2 && p[1] == u'/') {
        unsigned short* pwName;
        int cwName;
        if (!CloseElement(&pwName, &cwName, pError)) return false;
        if (!skipWSandComments(pError)) return *pError == XML_OK ? atEnd() : false;
        if (m_nDepth < m_nLevel) {
          m_nLevel = m_nDepth;
          *peKind = m_nDepth != 0 ? XML_ENTRY_UP : XML_ENTRY_TOP;
          *ppwName = pwName;
          *pcwName = cwName;
          return true;
        }
        continue;
      }
      return GetLabel(peKind, ppwName, pcwName, pError);
    }
    if (GetData(ppwName, pcwName, pError)) {
      *peKind = XML_ENTRY_DATA;
      return true;
    }
    if (*pError != XML_OK) return false;
    // No data after all: what follows is a tag.
  }
}

bool CXMLParser::GetLabel(e_XML_Entry* peKind, unsigned short** ppwName, int* pcwName,
                          int* pError) {
  unsigned short* const pwName = m_pwCursor + 1;
  unsigned short* p = xmlscan::FindAny(pwName, m_pwEnd, u' ', u'>', u'/');
  if (p == m_pwEnd) {
    *pError = XML_BAD_START_TAG;
    return false;
  }
  const int cwName = static_cast<int>(p - pwName);
  // A failed call leaves the depth as it was, so that it always indexes
  // m_rgpwOpen.
  if (m_nDepth + 1 >= kMaxOpen) {
    *pError = XML_BAD_NESTING;
    return false;
  }
  m_rgpwOpen[m_nDepth++] = pwName;
  m_fAttributes = true;
  while (p < m_pwEnd && IsWhiteSpace(*p)) ++p;
  if (p == m_pwEnd) {
    *pError = XML_UNEXPECTED_END;
    return false;
  }
  if (*p == u'/') {
    if (m_pwEnd - p < 2 || p[1] != u'>') {
      *pError = XML_BAD_START_TAG;
      return false;
    }
    p += 2;
    m_fAttributes = false;
  }
  const int nLevel = m_nDepth - 1;
  if (m_nLevel != nLevel)
    *peKind = XML_ENTRY_CHILD;
  else if (m_nLevel != 0)
    *peKind = XML_ENTRY_SIBLING;
  else
    *peKind = XML_ENTRY_TOP;
  m_nLevel = nLevel;
  if (!m_fAttributes) --m_nDepth;
  m_pwCursor = p;
  *ppwName = pwName;
  *pcwName = cwName;
  return true;
}

bool CXMLParser::GetAttribute(unsigned short** ppwName, int* pcwName, unsigned short** ppwValue,
                              int* pcwValue, int* pError) {
  unsigned short* p = m_pwCursor;
  if (*p == u'/') {
    if (++p == m_pwEnd) {
      *pError = XML_UNEXPECTED_END;
      return false;
    }
    if (*p != u'>') {
      *pError = XML_BAD_END_TAG;
      return false;
    }
    if (m_nDepth > 0) --m_nDepth;
  }
  if (*p == u'>') {
    m_pwCursor = p + 1;
    if (!skipWSandComments(pError) && *pError == XML_OK) *pError = XML_UNEXPECTED_END;
    return false;
  }

  unsigned short* const pwName = p;
  p = xmlscan::FindEither(p, m_pwEnd, u'=', u' ');
  if (p == m_pwEnd) {
    *pError = XML_BAD_ATTRIBUTE;
    return false;
  }
  const int cwName = static_cast<int>(p - pwName);
  auto unexpectedEnd = [&]() {
    *pError = XML_UNEXPECTED_END;
    return false;
  };
  auto badAttribute = [&]() {
    *pError = XML_BAD_ATTRIBUTE;
    return false;
  };
  while (p < m_pwEnd && IsWhiteSpace(*p)) ++p;
  if (p == m_pwEnd) return unexpectedEnd();
  if (*p != u'=') return badAttribute();
  ++p;
  while (p < m_pwEnd && IsWhiteSpace(*p)) ++p;
  if (p == m_pwEnd) return unexpectedEnd();
  const unsigned short wQuote = *p;
  if (wQuote != u'\'' && wQuote != u'"') return badAttribute();
  if (++p == m_pwEnd) return unexpectedEnd();
  unsigned short* const pwValue = p;
  p = xmlscan::FindEither(p, m_pwEnd, wQuote, u'>');
  if (p < m_pwEnd && *p == u'>') return badAttribute();
  if (p == m_pwEnd) return unexpectedEnd();
  *ppwName = pwName;
  *pcwName = cwName;
  *ppwValue = pwValue;
  *pcwValue = static_cast<int>(p - pwValue);
  m_pwCursor = p + 1;
  return true;
}

bool CXMLParser::CloseElement(unsigned short** ppwName, int* pcwName, int* pError) {
  unsigned short* p = m_pwCursor + 2;
  while (p < m_pwEnd && IsWhiteSpace(*p)) ++p;
  if (p == m_pwEnd) {
    *pError = XML_BAD_END_TAG;
    return false;
  }
  unsigned short* const pwName = p;
  p = xmlscan::FindAny(p, m_pwEnd, u' ', u'>', u'/');
  if (p == m_pwEnd) {
    *pError = XML_BAD_START_TAG;
    return false;
  }
  const int cwName = static_cast<int>(p - pwName);
  if (m_nDepth <= 0) {
    *pError = XML_BAD_NESTING;
    return false;
  }
  --m_nDepth;
  // Compared over the end tag's length (the start tag's name normally lies
  // before the end tag, but Reset may have moved the cursor back).
  const unsigned short* const pwOpen = m_rgpwOpen[m_nDepth];
  if (m_pwEnd - pwOpen < cwName || !xmlscan::EqualUnits(pwOpen, pwName, cwName)) {
    *pError = XML_BAD_END_TAG;
    return false;
  }
  while (p < m_pwEnd && IsWhiteSpace(*p)) ++p;
  if (p == m_pwEnd || *p != u'>') {
    *pError = XML_BAD_END_TAG;
    return false;
  }
  m_pwCursor = p + 1;
  *ppwName = pwName;
  *pcwName = cwName;
  return true;
}

bool CXMLParser::GetData(unsigned short** ppwData, int* pcwData, int* pError) {
  unsigned short* const pwStart = m_pwCursor;
  unsigned short* p = pwStart;
  const unsigned short* const pEnd = m_pwEnd;
  // Nothing decoded yet: the data stands where it was written.
  p = xmlscan::FindEither(p, pEnd, u'<', u'&');
  unsigned short* pwOut = p;

  for (;;) {
    if (p >= pEnd) {
      *pError = XML_UNEXPECTED_END;
      return false;
    }
    const unsigned short w = *p;
    if (w == u'<') {
      if (!IsCommentStart(p, pEnd)) break;
      m_pwCursor = p;
      if (!skipWSandComments(pError)) {
        if (*pError == XML_OK) *pError = XML_UNEXPECTED_END;
        return false;
      }
      p = m_pwCursor;
      continue;
    }
    if (w != u'&') {
      // Plain text up to the next tag or reference moves down as a block.
      unsigned short* const pwNext = xmlscan::FindEither(p, pEnd, u'<', u'&');
      pwOut = xmlscan::MoveDown(pwOut, p, pwNext);
      p = pwNext;
      continue;
    }
    // A reference.
    const long cwLeft = pEnd - p;
    auto is = [&](const char16_t* pwsz, long cw) {
      if (cwLeft < cw) return false;
      for (long i = 1; i < cw; ++i)
        if (p[i] != pwsz[i]) return false;
      return true;
    };
    if (is(u"&lt;", 4)) {
      *pwOut++ = u'<';
      p += 4;
    } else if (is(u"&gt;", 4)) {
      *pwOut++ = u'>';
      p += 4;
    } else if (is(u"&amp;", 5)) {
      *pwOut++ = u'&';
      p += 5;
    } else if (is(u"&apos;", 6)) {
      *pwOut++ = u'\'';
      p += 6;
    } else if (is(u"&quot;", 6)) {
      *pwOut++ = u'"';
      p += 6;
    } else if (cwLeft >= 2 && p[1] == u'#') {
      p += 2;
      int nBase = 10;
      if (p < pEnd && (*p == u'x' || *p == u'X')) {
        nBase = 16;
        ++p;
      }
      const int cDigits = nBase == 10 ? 10 : 32;
      long long nValue = 0;
      for (;; ++p) {
        if (p >= pEnd) {
          *pError = XML_UNEXPECTED_END;
          return false;
        }
        if (*p == u';') break;
        int iDigit = 0;
        while (iDigit < cDigits && m_rgNumbers[iDigit] != *p) ++iDigit;
        if (iDigit == cDigits) {
          *pError = XML_BAD_REFERENCE;
          return false;
        }
        nValue = nValue * nBase + iDigit % 16;
        if (nValue > 2147483647) {
          *pError = XML_BAD_REFERENCE;
          return false;
        }
      }
      ++p;
      unsigned short wChar;
      if (m_pTrans == nullptr ||
          !m_pTrans->NumericToUnicode(static_cast<int>(nValue), &wChar, pError)) {
        *pError = XML_BAD_REFERENCE;
        return false;
      }
      *pwOut++ = wChar;
    } else {
      *pError = XML_BAD_REFERENCE;
      return false;
    }
  }
  m_pwCursor = p;
  if (pwOut == pwStart) return false;
  *ppwData = pwStart;
  *pcwData = static_cast<int>(pwOut - pwStart);
  return true;
}

void CXMLParser::Reset() { m_pwCursor = m_pwDocument; }

bool CXMLParser::Terminate() {
  int nError = XML_OK;
  return !skipWSandComments(&nError) && nError == XML_OK;
}

// CXMLParser: construction, the prolog, and the entry loop.
#include "admin/xml/xml_parser.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "admin/xml/scan.h"
#include "platform/base/heap.h"

namespace {

constexpr int kcwInline = 8192;
constexpr int kMaxOpen = 64;
constexpr int kcwPadding = xmlscan::kcwPadding;

// "<!--" at p (at most the end of the text: zeros follow it), compared as
// one 64-bit word: most tags start with "<", so a unit-by-unit test would
// branch again on the second unit.
inline bool IsCommentStart(const unsigned short* p) {
  static constexpr unsigned short krgwCommentOpen[4] = {u'<', u'!', u'-', u'-'};
  uint64_t nText, nOpen;
  memcpy(&nText, p, sizeof nText);
  memcpy(&nOpen, krgwCommentOpen, sizeof nOpen);
  return nText == nOpen;
}

// Past the "-->" that ends a comment whose text starts at p; null when the
// text ends first.
inline unsigned short* SkipCommentBody(unsigned short* p, const unsigned short* pEnd) {
  if (pEnd - p < 3) return nullptr;
  const unsigned short* const pLast = pEnd - 2;  // "-->" must fit
  for (;; ++p) {
    p = xmlscan::FindEither(p, pEnd, u'-', u'-');
    if (p >= pLast) return nullptr;
    if (p[1] == u'-' && p[2] == u'>') return p + 3;
  }
}

// Past the comments starting at p and the white space after each; null
// when a comment is not closed.
__attribute__((noinline)) unsigned short* SkipComments(unsigned short* p,
                                                       const unsigned short* pEnd) {
  while (IsCommentStart(p)) {
    p = SkipCommentBody(p + 4, pEnd);
    if (p == nullptr) return nullptr;
    p = xmlscan::SkipSpaces(p);
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
  static_assert(sizeof m_rgwInline == (kcwInline + kcwPadding) * sizeof m_rgwInline[0]);
  if (cwCapacity > 0) {
    unsigned short* pw =
        new (std::nothrow) unsigned short[static_cast<size_t>(cwCapacity) + kcwPadding];
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
  if (!pTrans->InputToUnicode(pbDoc + cbSignature, cbDoc - cbSignature, m_pwBuffer, &cw, pError)) {
    // A failed conversion may have written past the text of an earlier
    // document, which stays in use: what lies past its end is wiped (the
    // destructor wipes only up to it), which gives that end its zeros back.
    if (m_pwEnd != nullptr)
      SecureZeroMemory(
          m_pwEnd,
          static_cast<size_t>(m_pwBuffer + m_cwBuffer + kcwPadding - m_pwEnd) * sizeof m_pwEnd[0]);
    return false;
  }
  unsigned short* p = m_pwBuffer;
  m_pwEnd = m_pwBuffer + cw;
  memset(m_pwEnd, 0, kcwPadding * sizeof m_pwEnd[0]);

  // Prolog: white space, comments and "<!...>" declarations.
  for (;;) {
    while (p < m_pwEnd && IsWhiteSpace(*p)) ++p;
    if (p == m_pwEnd) {
      *pError = XML_UNEXPECTED_END;
      return false;
    }
    if (IsCommentStart(p)) {
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

bool CXMLParser::skipWSandComments(int* pError) {
  static_assert(WhiteSpaceMask() == ((1ull << 9) | (1ull << 10) | (1ull << 13) | (1ull << 32)),
                "xmlscan::SkipSpaces skips exactly the white space");
  if (m_pwEnd == nullptr) return false;  // nothing converted
  unsigned short* p = xmlscan::SkipSpaces(m_pwCursor);
  if (IsCommentStart(p)) [[unlikely]] {
    p = SkipComments(p, m_pwEnd);
    if (p == nullptr) {
      m_pwCursor = m_pwEnd;
      *pError = XML_UNEXPECTED_END;
      return false;
    }
  }
  m_pwCursor = p;
  return p < m_pwEnd;
}

bool CXMLParser::Fail(unsigned short* pwCursor, int nError, int* pError) {
  m_pwCursor = pwCursor;
  *pError = nError;
  return false;
}

bool CXMLParser::AtEnd(e_XML_Entry* peKind, int* pError) {
  if (m_nDepth != 0) {
    *pError = XML_UNEXPECTED_END;
    return false;
  }
  *peKind = XML_ENTRY_END;
  return true;
}

unsigned short* CXMLParser::skipWhitespace(unsigned short* p) {
  while (IsWhiteSpace(*p)) ++p;
  return p;
}

bool CXMLParser::SkipSpacesAndComments(unsigned short** pp, unsigned short* pEnd) {
  unsigned short* p = xmlscan::SkipSpacesShort(*pp);
  if (IsCommentStart(p)) [[unlikely]] {
    p = SkipComments(p, pEnd);
    if (p == nullptr) return false;
  }
  *pp = p;
  return true;
}

bool CXMLParser::GetAttribute(unsigned short* p, unsigned short* pEnd, unsigned short** ppwName,
                              int* pcwName, unsigned short** ppwValue, int* pcwValue,
                              int* pError) {
  unsigned short* const pwName = p;
  unsigned short* q = xmlscan::FindEitherShort<u'=', u' '>(p, pEnd);
  if (q == pEnd) return Fail(p, XML_BAD_ATTRIBUTE, pError);
  const int cwName = static_cast<int>(q - pwName);
  q = skipWhitespace(q);
  if (q == pEnd) return Fail(p, XML_UNEXPECTED_END, pError);
  if (*q != u'=') return Fail(p, XML_BAD_ATTRIBUTE, pError);
  q = skipWhitespace(q + 1);
  if (q == pEnd) return Fail(p, XML_UNEXPECTED_END, pError);
  const unsigned short wQuote = *q;
  if (wQuote != u'\'' && wQuote != u'"') return Fail(p, XML_BAD_ATTRIBUTE, pError);
  if (++q == pEnd) return Fail(p, XML_UNEXPECTED_END, pError);
  unsigned short* const pwValue = q;
  q = xmlscan::FindEither(q, pEnd, wQuote, u'>');
  if (*q == u'>') return Fail(p, XML_BAD_ATTRIBUTE, pError);
  if (q == pEnd) return Fail(p, XML_UNEXPECTED_END, pError);
  m_pwCursor = q + 1;
  *ppwName = pwName;
  *pcwName = cwName;
  *ppwValue = pwValue;
  *pcwValue = static_cast<int>(q - pwValue);
  return true;
}

bool CXMLParser::GetLabel(unsigned short* p, unsigned short* pEnd, e_XML_Entry* peKind,
                          unsigned short** ppwName, int* pcwName, int* pError) {
  unsigned short* const pwName = p + 1;
  unsigned short* q = xmlscan::FindAny(pwName, pEnd, u' ', u'>', u'/');
  if (q == pEnd) return Fail(p, XML_BAD_START_TAG, pError);
  const int cwName = static_cast<int>(q - pwName);
  // A failed call leaves the depth as it was, so that it always indexes
  // m_rgpwOpen.
  int nDepth = m_nDepth;
  if (nDepth + 1 >= kMaxOpen) return Fail(p, XML_BAD_NESTING, pError);
  m_rgpwOpen[nDepth++] = pwName;
  m_nDepth = nDepth;
  m_fAttributes = true;
  q = skipWhitespace(q);
  if (q == pEnd) return Fail(p, XML_UNEXPECTED_END, pError);
  if (*q == u'/') {
    if (q[1] != u'>') return Fail(p, XML_BAD_START_TAG, pError);
    q += 2;
    m_fAttributes = false;
    m_nDepth = nDepth - 1;
  }
  const int nLevel = nDepth - 1;
  if (m_nLevel != nLevel)
    *peKind = XML_ENTRY_CHILD;
  else if (nLevel != 0)
    *peKind = XML_ENTRY_SIBLING;
  else
    *peKind = XML_ENTRY_TOP;
  m_nLevel = nLevel;
  m_pwCursor = q;
  *ppwName = pwName;
  *pcwName = cwName;
  return true;
}

CXMLParser::EStep CXMLParser::CloseElement(unsigned short** pp, unsigned short* pEnd,
                                            e_XML_Entry* peKind, unsigned short** ppwName,
                                            int* pcwName, int* pError) {
  // The open element's name, compared over the end tag's length (the start
  // tag's name normally lies before the end tag, but Reset may have moved
  // the read position back).
  unsigned short* p = *pp;
  unsigned short* q = skipWhitespace(p + 2);
  if (q == pEnd) return Fail(p, XML_BAD_END_TAG, pError), STEP_FAILED;
  unsigned short* const pwName = q;
  q = xmlscan::FindAny(q, pEnd, u' ', u'>', u'/');
  if (q == pEnd) return Fail(p, XML_BAD_START_TAG, pError), STEP_FAILED;
  const int cwName = static_cast<int>(q - pwName);
  if (m_nDepth <= 0) return Fail(p, XML_BAD_NESTING, pError), STEP_FAILED;
  const int nDepth = --m_nDepth;
  const unsigned short* const pwOpen = m_rgpwOpen[nDepth];
  if (pEnd - pwOpen < cwName || !xmlscan::EqualUnits(pwOpen, pwName, cwName))
    return Fail(p, XML_BAD_END_TAG, pError), STEP_FAILED;
  q = skipWhitespace(q);
  if (*q != u'>') return Fail(p, XML_BAD_END_TAG, pError), STEP_FAILED;
  p = q + 1;
  if (!SkipSpacesAndComments(&p, pEnd)) return Fail(pEnd, XML_UNEXPECTED_END, pError), STEP_FAILED;
  m_pwCursor = p;
  if (p == pEnd) return AtEnd(peKind, pError) ? STEP_REPORTED : STEP_FAILED;
  if (nDepth < m_nLevel) {
    m_nLevel = nDepth;
    *peKind = nDepth != 0 ? XML_ENTRY_UP : XML_ENTRY_TOP;
    *ppwName = pwName;
    *pcwName = cwName;
    return STEP_REPORTED;
  }
  *pp = p;
  return STEP_ON;
}

CXMLParser::EStep CXMLParser::GetData(unsigned short** pp, unsigned short* pEnd,
                                       e_XML_Entry* peKind, unsigned short** ppwData,
                                       int* pcwData, int* pError) {
  // Mostly plain text up to a tag.
  unsigned short* const pwStart = *pp;
  unsigned short* q = xmlscan::FindEither(pwStart, pEnd, u'<', u'&');
  unsigned short* pwOut = q;
  if (*q != u'<' || IsCommentStart(q)) [[unlikely]] {
    m_pwCursor = pwStart;
    if (!DecodeData(q, &pwOut, pError)) return STEP_FAILED;
    q = m_pwCursor;
    if (pwOut == pwStart) {
      // No data after all: what follows is a tag.
      *pp = q;
      return STEP_ON;
    }
  }
  m_pwCursor = q;
  *peKind = XML_ENTRY_DATA;
  *ppwData = pwStart;
  *pcwData = static_cast<int>(pwOut - pwStart);
  return STEP_REPORTED;
}

// One pass from the read position to the next entry. The text is followed
// by zeros, so the scans stop at its end without testing the length: a test
// against m_pwEnd follows only where a scan stopped on something it does not
// look for. A failure keeps the read position at the start of the construct
// that failed (at the end of the text for an unclosed comment).
bool CXMLParser::GetEntry(e_XML_Entry* peKind, unsigned short** ppwName, int* pcwName,
                          unsigned short** ppwValue, int* pcwValue, int* pError) {
  unsigned short* p = m_pwCursor;
  unsigned short* const pEnd = m_pwEnd;
  *peKind = XML_ENTRY_NONE;
  *ppwName = nullptr;
  *pcwName = 0;
  *ppwValue = nullptr;
  *pcwValue = 0;
  *pError = XML_OK;

  if (pEnd == nullptr) [[unlikely]]
    return AtEnd(peKind, pError);  // nothing converted: no entries
  if (m_fAttributes) {
    // In a start tag: its end, or the next attribute.
    if (*p != u'>') [[unlikely]] {
      if (!SkipSpacesAndComments(&p, pEnd)) return Fail(pEnd, XML_UNEXPECTED_END, pError);
      if (p == pEnd) {
        m_pwCursor = p;
        return AtEnd(peKind, pError);
      }
      if (*p == u'/') {
        if (p + 1 == pEnd) return Fail(p, XML_UNEXPECTED_END, pError);
        if (p[1] != u'>') return Fail(p, XML_BAD_END_TAG, pError);
        if (m_nDepth > 0) --m_nDepth;
        ++p;
      } else if (*p != u'>') {
        if (!GetAttribute(p, pEnd, ppwName, pcwName, ppwValue, pcwValue, pError)) return false;
        *peKind = XML_ENTRY_ATTRIBUTE;
        return true;
      }
    }
    // At the ">" that ends the tag.
    ++p;
    if (!SkipSpacesAndComments(&p, pEnd)) return Fail(pEnd, XML_UNEXPECTED_END, pError);
    if (p == pEnd) return Fail(p, XML_UNEXPECTED_END, pError);
    m_fAttributes = false;
  } else {
    if (!SkipSpacesAndComments(&p, pEnd)) return Fail(pEnd, XML_UNEXPECTED_END, pError);
    if (p == pEnd) {
      m_pwCursor = p;
      return AtEnd(peKind, pError);
    }
  }

  // Content, from a code unit that is neither white space nor a comment.
  for (;;) {
    EStep eStep;
    if (*p != u'<')
      eStep = GetData(&p, pEnd, peKind, ppwName, pcwName, pError);
    else if (p[1] == u'/')
      eStep = CloseElement(&p, pEnd, peKind, ppwName, pcwName, pError);
    else
      return GetLabel(p, pEnd, peKind, ppwName, pcwName, pError);
    if (eStep != STEP_ON) return eStep == STEP_REPORTED;
  }
}

bool CXMLParser::DecodeData(unsigned short* p, unsigned short** ppwOut, int* pError) {
  const unsigned short* const pEnd = m_pwEnd;
  unsigned short* pwOut = p;
  for (;;) {
    if (p >= pEnd) {
      *pError = XML_UNEXPECTED_END;
      return false;
    }
    const unsigned short w = *p;
    if (w == u'<') {
      if (!IsCommentStart(p)) break;
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
    // A reference. The zeros after the text never match a name's units, so
    // a name that would run past the end is not taken.
    auto is = [&](const char16_t* pwsz, long cw) {
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
    } else if (p[1] == u'#') {
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
  *ppwOut = pwOut;
  return true;
}

void CXMLParser::Reset() { m_pwCursor = m_pwDocument; }

bool CXMLParser::Terminate() {
  int nError = XML_OK;
  return !skipWSandComments(&nError) && nError == XML_OK;
}

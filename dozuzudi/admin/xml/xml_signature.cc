// CIcuTrans::ParseXMLSignature: detection of the encoding method from the
// first bytes and the scan of the XML declaration.
//
// The scan walks a pattern, "<?xml version="1.0"?>", one character of input
// at a time. At the "?" of "?>" it may branch into the patterns of the
// encoding and standalone attributes and come back; white space is allowed
// where the pattern has a space, "=", a quotation mark or "?" next, and an
// apostrophe stands for any quotation mark.
#include <cstring>

#include "admin/xml/charset_alias.h"
#include "admin/xml/icu_trans.h"
#include "platform/text/wstr.h"

namespace {

// Index of the "?" of "?>" in the declaration pattern.
constexpr int kiQuestionMark = 19;
// Longest declared encoding name, and the bytes searched for its end quote.
constexpr int kcbEncodingScan = 16;
constexpr int kcbEncodingMax = 15;

enum class EPattern { kSignature, kEncoding, kStandAlone, kYesNo };

const char kszUsualStart[] = "<?xml version=\"1.0\" encoding=\"";
constexpr int kcbUsualStart = sizeof(kszUsualStart) - 1;

}  // namespace

bool CIcuTrans::ParseXMLSignature(unsigned char* pbDoc, int cbDoc, int* pError) {
  int nIgnored;
  if (pError == nullptr) pError = &nIgnored;
  *pError = XML_OK;
  if (!ms_fInitialized) {
    *pError = XML_FAILURE;
    return false;
  }
  m_pbInput = pbDoc;
  m_cbInput = cbDoc;
  m_pbCursor = pbDoc;
  if (pbDoc == nullptr || cbDoc < 4) {
    *pError = XML_BAD_SIGNATURE;
    return false;
  }

  const unsigned char b0 = pbDoc[0], b1 = pbDoc[1], b2 = pbDoc[2], b3 = pbDoc[3];
  if (b0 == 0xFF && b1 == 0xFE && b2 == 0x3C && b3 == 0x00) {
    m_eMethod = ENCODING_UTF16LE;
    m_pbCursor += 2;
  } else if (b0 == 0xFE && b1 == 0xFF && b2 == 0x00 && b3 == 0x3C) {
    m_eMethod = ENCODING_UTF16BE;
    m_pbCursor += 2;
  } else if (b0 == 0x3C && b1 == 0x3F && b2 == 0x78 && b3 == 0x6D) {
    m_eMethod = ENCODING_CODEPAGE;
  } else if (b0 == 0x3C && b1 == 0x00 && b2 == 0x3F && b3 == 0x00) {
    m_eMethod = ENCODING_UTF16LE;
  } else if (b0 == 0x00 && b1 == 0x3C && b2 == 0x00 && b3 == 0x3F) {
    m_eMethod = ENCODING_UTF16BE;
  } else if (m_eMethod == ENCODING_NONE) {
    *pError = XML_UNRECOGNISED;
    return false;
  }
  if (m_eMethod != ENCODING_CODEPAGE && !IsUTF16()) {
    *pError = XML_UNRECOGNISED;
    return false;
  }

  const unsigned char* const pbEnd = pbDoc + cbDoc;
  const int cbChar = m_eMethod == ENCODING_CODEPAGE ? 1 : 2;
  // Reads one character at the cursor; false when the input has run out.
  auto read = [&](WCHAR* pc) {
    if (pbEnd - m_pbCursor < cbChar) return false;
    if (m_eMethod == ENCODING_CODEPAGE)
      *pc = m_pbCursor[0];
    else if (m_eMethod == ENCODING_UTF16BE)
      *pc = static_cast<WCHAR>((m_pbCursor[0] << 8) | m_pbCursor[1]);
    else
      *pc = static_cast<WCHAR>(m_pbCursor[0] | (m_pbCursor[1] << 8));
    m_pbCursor += cbChar;
    return true;
  };
  auto fail = [&]() {
    *pError = XML_BAD_SIGNATURE;
    return false;
  };

  const WCHAR* const pwQuestionMark = ms_pwszXMLSignature + kiQuestionMark;
  const WCHAR* pwPattern = ms_pwszXMLSignature;  // start of the pattern in use
  const WCHAR* p = pwPattern;
  const WCHAR* pwReturn = nullptr;
  EPattern ePattern = EPattern::kSignature;
  bool fEncodingRead = false;

  // The usual declaration of an 8-bit document starts with exactly
  // "<?xml version="1.0" encoding="": each of its characters would match the
  // pattern in turn, ending at the start of the encoding name.
  bool fPatternEnded = false;
  if (m_eMethod == ENCODING_CODEPAGE && cbDoc > kcbUsualStart &&
      memcmp(pbDoc, kszUsualStart, kcbUsualStart) == 0) {
    m_pbCursor = pbDoc + kcbUsualStart;
    pwReturn = pwQuestionMark;
    pwPattern = ms_pwszXMLEncoding;
    for (p = pwPattern; *p != 0;) ++p;
    ePattern = EPattern::kEncoding;
    fPatternEnded = true;
  }

  for (;;) {
    WCHAR c;
    if (fPatternEnded) {
      fPatternEnded = false;
      goto patternEnded;
    }
    if (!read(&c)) return fail();
    if (c == *p) {
      ++p;
    } else if (iswspace(c) &&
               ((p > pwPattern && p[-1] == u' ') || *p == u'=' || *p == u'"' || *p == u'?')) {
      // white space where the pattern allows it
    } else if (*p == u'"' && c == u'\'') {
      ++p;
    } else if (p == pwQuestionMark && c == u'e' && !fEncodingRead) {
      pwReturn = p;
      pwPattern = ms_pwszXMLEncoding;
      p = pwPattern + 1;
      ePattern = EPattern::kEncoding;
    } else if (p == pwQuestionMark && c == u's') {
      pwReturn = p;
      pwPattern = ms_pwszXMLStandAlone;
      p = pwPattern + 1;
      ePattern = EPattern::kStandAlone;
    } else {
      return fail();
    }
    if (m_pbCursor >= pbEnd) return fail();
    if (*p != 0) continue;
  patternEnded:

    // The end of a pattern.
    switch (ePattern) {
      case EPattern::kSignature:
        break;
      case EPattern::kEncoding:
        fEncodingRead = true;
        if (m_eMethod == ENCODING_CODEPAGE) {
          int cb = 0;
          while (cb < kcbEncodingScan && m_pbCursor + cb < pbEnd && m_pbCursor[cb] != '\'' &&
                 m_pbCursor[cb] != '"')
            ++cb;
          if (cb >= kcbEncodingMax || m_pbCursor + cb >= pbEnd) return fail();
          for (int i = 0; i < cb; ++i) m_wszEncoding[i] = m_pbCursor[i];
          m_wszEncoding[cb] = 0;
          m_pbCursor += cb + 1;
        } else {
          for (;;) {
            if (!read(&c)) return fail();
            if (c == u'\'' || c == u'"') break;
          }
        }
        if (m_pbCursor >= pbEnd) return fail();
        p = pwReturn;
        pwPattern = ms_pwszXMLSignature;
        ePattern = EPattern::kSignature;
        continue;
      case EPattern::kStandAlone:
        if (!read(&c)) return fail();
        if (c == u'y')
          pwPattern = ms_pwszXMLStandAloneYes;
        else if (c == u'n')
          pwPattern = ms_pwszXMLStandAloneNo;
        else
          return fail();
        if (m_pbCursor >= pbEnd) return fail();
        p = pwPattern + 1;
        ePattern = EPattern::kYesNo;
        continue;
      case EPattern::kYesNo:
        p = pwReturn;
        pwPattern = ms_pwszXMLSignature;
        ePattern = EPattern::kSignature;
        continue;
    }
    break;
  }

  if (m_eMethod == ENCODING_CODEPAGE) {
    const int nCodePage = CCharsetAliasTable::Lookup(m_wszEncoding, kcbEncodingScan);
    m_uCodePage = static_cast<unsigned int>(nCodePage);
    if (nCodePage == -1) m_wszEncoding[0] = 0;
    if (m_wszEncoding[0] == 0) {
      m_uCodePage = 65001;
      for (int i = 0; i <= 5; ++i) m_wszEncoding[i] = ms_pwszXMLDefaultEncoding[i];
      *pError = XML_DEFAULT_ENCODING;
    }
  }
  m_cbSignature = static_cast<int>(m_pbCursor - m_pbInput);
  return true;
}

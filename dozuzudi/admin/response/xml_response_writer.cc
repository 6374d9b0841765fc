#include "admin/response/xml_response_writer.h"

#include <cstring>

#include "admin/response/connection_output.h"
#include "admin/xml/icu_trans.h"

namespace {

const WCHAR s_wszDoctype[] = u"<!DOCTYPE AdminProtocol SYSTEM \"Admin.dtd\">";
const WCHAR s_wszRootStart[] = u"<AdminProtocol version=";
const WCHAR s_wszRootEnd[] = u"</AdminProtocol>";
const WCHAR s_wszResponseError[] = u"ResponseError";
const WCHAR s_wszErrorId[] = u"ErrorId";
const WCHAR s_wchLineFeed = 10;

int Length(const WCHAR* pwsz) {
  int cw = 0;
  while (pwsz[cw] != 0) ++cw;
  return cw;
}

bool IsHighSurrogate(unsigned short w) { return w >= 0xD800 && w <= 0xDBFF; }

// The escape of a character, or null when it is written as it is.
const char* EscapeOf(WCHAR wch, char* pszNumeric) {
  switch (wch) {
    case '"': return "&quot;";
    case '&': return "&amp;";
    case '\'': return "&apos;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    default: break;
  }
  if (wch > 32) return nullptr;
  // "&#N;" with N from 0 to 32.
  char* p = pszNumeric;
  *p++ = '&';
  *p++ = '#';
  if (wch >= 10) *p++ = static_cast<char>('0' + wch / 10);
  *p++ = static_cast<char>('0' + wch % 10);
  *p++ = ';';
  *p = '\0';
  return pszNumeric;
}

}  // namespace

XmlResponseWriter::XmlResponseWriter()
    : m_pOutput(nullptr),
      m_pTrans(nullptr),
      m_fClosed(false),
      m_cwText(0),
      m_nIndent(0),
      m_nMajorVersion(0),
      m_nMinorVersion(0) {}

bool XmlResponseWriter::AppendText(const WCHAR* pwText, int cwText) {
  if (!IsUsable()) return false;
  while (m_cwText + cwText >= WRITER_TEXT_CHARS) {
    int cwCopy = WRITER_TEXT_CHARS - m_cwText;
    for (int i = 0; i < cwCopy; ++i) m_rgwText[m_cwText + i] = pwText[i];
    m_cwText = WRITER_TEXT_CHARS;
    pwText += cwCopy;
    cwText -= cwCopy;
    if (!Flush(false)) return false;
  }
  for (int i = 0; i < cwText; ++i) m_rgwText[m_cwText + i] = pwText[i];
  m_cwText += cwText;
  return true;
}

bool XmlResponseWriter::AppendChar(WCHAR wch) {
  if (!IsUsable()) return false;
  if (m_cwText >= WRITER_TEXT_CHARS && !Flush(false)) return false;
  m_rgwText[m_cwText++] = wch;
  return true;
}

bool XmlResponseWriter::AppendAscii(const char* pszText) {
  WCHAR rgw[16];
  int cw = 0;
  for (; pszText[cw] != '\0'; ++cw) rgw[cw] = static_cast<unsigned char>(pszText[cw]);
  return AppendText(rgw, cw);
}

bool XmlResponseWriter::AppendIndent() {
  for (int i = 0; i < m_nIndent; ++i)
    if (!AppendChar(u' ')) return false;
  return true;
}

bool XmlResponseWriter::ConvertPrefix(int cwLimit, int* pcwConverted, int* pcbOutput) {
  int nError = 0;
  int cwIn = cwLimit;
  int cbOut = WRITER_OUTPUT_BYTES;
  if (m_pTrans->UnicodeToOutput(m_rgwText, &cwIn, OutputBlock(), &cbOut, &nError) && cbOut > 0) {
    *pcwConverted = cwIn;
    *pcbOutput = cbOut;
    return true;
  }
  // The whole buffer does not fit one block (characters of several bytes
  // each): find the longest prefix that does, never splitting a surrogate
  // pair, so that the rest is carried to the next block instead of lost.
  int cwGood = 0;
  int cwBad = cwLimit;
  while (cwBad - cwGood > 1) {
    int cwTry = cwGood + (cwBad - cwGood) / 2;
    if (IsHighSurrogate(m_rgwText[cwTry - 1])) {
      if (cwTry - 1 > cwGood)
        --cwTry;
      else if (cwTry + 1 < cwBad)
        ++cwTry;
      else
        break;
    }
    cwIn = cwTry;
    cbOut = WRITER_OUTPUT_BYTES;
    if (m_pTrans->UnicodeToOutput(m_rgwText, &cwIn, OutputBlock(), &cbOut, &nError) && cbOut > 0)
      cwGood = cwTry;
    else
      cwBad = cwTry;
  }
  if (cwGood == 0) return false;
  cwIn = cwGood;
  cbOut = WRITER_OUTPUT_BYTES;
  if (!m_pTrans->UnicodeToOutput(m_rgwText, &cwIn, OutputBlock(), &cbOut, &nError) || cbOut <= 0)
    return false;
  *pcwConverted = cwIn;
  *pcbOutput = cbOut;
  return true;
}

bool XmlResponseWriter::Flush(bool fLast) {
  if (m_pOutput == nullptr || m_pTrans == nullptr) return false;
  // A high surrogate at the end of a block that is not the last waits for
  // its pair.
  int cwHeld = (!fLast && m_cwText > 0 && IsHighSurrogate(m_rgwText[m_cwText - 1])) ? 1 : 0;
  while (m_cwText > cwHeld) {
    int cwConverted = 0;
    int cbOutput = 0;
    if (!ConvertPrefix(m_cwText - cwHeld, &cwConverted, &cbOutput)) {
      m_cwText = 0;
      return false;
    }
    bool fFinal = cwConverted >= m_cwText - cwHeld;
    SendResponseBlock(m_pOutput, OutputBlock(), static_cast<DWORD>(cbOutput), fLast && fFinal,
                      WRITER_OUTPUT_ROOM, WRITER_OUTPUT_ROOM);
    if (fFinal) {
      if (cwHeld != 0) m_rgwText[0] = m_rgwText[m_cwText - 1];
      m_cwText = cwHeld;
      return true;
    }
    std::memmove(m_rgwText, m_rgwText + cwConverted,
                 static_cast<size_t>(m_cwText - cwConverted) * sizeof(m_rgwText[0]));
    m_cwText -= cwConverted;
  }
  return false;
}

void XmlResponseWriter::AdjustIndent(bool fUp) {
  m_nIndent += fUp ? 2 : -2;
  if (m_nIndent < 0) m_nIndent = 0;
}

bool XmlResponseWriter::BeginDocument() {
  if (!IsUsable() || m_pTrans == nullptr) return false;
  int cwSignature = WRITER_TEXT_CHARS;
  if (!m_pTrans->FormXMLSignature(m_rgwText, &cwSignature)) return false;
  m_cwText = cwSignature;
  if (!AppendChar(s_wchLineFeed) || !AppendText(s_wszDoctype, Length(s_wszDoctype)) ||
      !AppendChar(s_wchLineFeed) || !AppendText(s_wszRootStart, Length(s_wszRootStart)))
    return false;
  char szVersion[32];
  char* p = szVersion;
  auto appendNumber = [&p](DWORD n) {
    char rgch[12];
    int c = 0;
    do {
      rgch[c++] = static_cast<char>('0' + n % 10);
      n /= 10;
    } while (n != 0);
    while (c > 0) *p++ = rgch[--c];
  };
  *p++ = '"';
  appendNumber(m_nMajorVersion);
  if (m_nMajorVersion != 1 || m_nMinorVersion != 0) {
    *p++ = '.';
    appendNumber(m_nMinorVersion);
  }
  *p++ = '"';
  *p++ = '>';
  *p = '\0';
  if (!AppendAscii(szVersion) || !AppendChar(s_wchLineFeed)) return false;
  AdjustIndent(true);
  return true;
}

bool XmlResponseWriter::EndDocument() {
  if (m_pOutput == nullptr) return false;
  AdjustIndent(false);
  AppendText(s_wszRootEnd, Length(s_wszRootEnd));
  AppendChar(s_wchLineFeed);
  return Flush(true);
}

bool XmlResponseWriter::WriteTagStart(const WCHAR* pwszName, bool fOpening, bool fIndented) {
  if (pwszName == nullptr || pwszName[0] == 0) return false;
  if (fIndented && m_nIndent >= 1 && !AppendIndent()) return false;
  if (!AppendChar(u'<')) return false;
  if (!fOpening && !AppendChar(u'/')) return false;
  return AppendText(pwszName, Length(pwszName));
}

bool XmlResponseWriter::WriteTagEnd(bool fSelfClosing, bool fNewLine) {
  if (fSelfClosing && !AppendChar(u'/')) return false;
  if (!AppendChar(u'>')) return false;
  return !fNewLine || AppendChar(s_wchLineFeed);
}

bool XmlResponseWriter::WriteEscapedText(const WCHAR* pwszText) {
  if (pwszText == nullptr || pwszText[0] == 0) return false;
  const WCHAR* pwRun = pwszText;
  const WCHAR* pw = pwszText;
  char szNumeric[8];
  for (; *pw != 0; ++pw) {
    const char* pszEscape = EscapeOf(*pw, szNumeric);
    if (pszEscape == nullptr) continue;
    if (pw > pwRun && !AppendText(pwRun, static_cast<int>(pw - pwRun))) return false;
    if (!AppendAscii(pszEscape)) return false;
    pwRun = pw + 1;
  }
  return pw == pwRun || AppendText(pwRun, static_cast<int>(pw - pwRun));
}

bool XmlResponseWriter::WriteAttribute(const WCHAR* pwszName, const WCHAR* pwszValue) {
  if (pwszName == nullptr || pwszName[0] == 0 || pwszValue == nullptr || pwszValue[0] == 0 ||
      !IsUsable())
    return false;
  return AppendChar(u' ') && AppendText(pwszName, Length(pwszName)) && AppendChar(u'=') &&
         AppendChar(u'"') && WriteEscapedText(pwszValue) && AppendChar(u'"');
}

bool XmlResponseWriter::WriteErrorResponse(const WCHAR* pwszName, const WCHAR* pwszErrorId,
                                           const WCHAR* pwszComment) {
  // A closed writer (a response already sent) writes nothing and says so.
  if (pwszErrorId == nullptr || pwszErrorId[0] == 0 || !IsUsable()) return false;
  const WCHAR* pwszElement = (pwszName == nullptr || pwszName[0] == 0) ? s_wszResponseError : pwszName;
  BeginDocument();
  AdjustIndent(true);

  AppendIndent();
  AppendChar(u'<');
  AppendText(pwszElement, Length(pwszElement));
  AppendChar(u'>');
  AppendChar(s_wchLineFeed);

  AdjustIndent(true);
  AppendIndent();
  AppendChar(u'<');
  AppendText(s_wszErrorId, Length(s_wszErrorId));
  AppendChar(u'>');
  WriteEscapedText(pwszErrorId);
  AppendText(u"</", 2);
  AppendText(s_wszErrorId, Length(s_wszErrorId));
  AppendChar(u'>');
  AppendChar(s_wchLineFeed);

  if (pwszComment != nullptr && pwszComment[0] != 0) {
    if (!AppendText(u"<!-- ", 5) || !AppendText(pwszComment, Length(pwszComment)) ||
        !AppendText(u" -->", 4) || !AppendChar(s_wchLineFeed))
      return false;
  }

  AdjustIndent(false);
  AppendIndent();
  AppendText(u"</", 2);
  AppendText(pwszElement, Length(pwszElement));
  AppendChar(u'>');
  AppendChar(s_wchLineFeed);

  AdjustIndent(false);
  AdjustIndent(false);
  AppendText(s_wszRootEnd, Length(s_wszRootEnd));
  AppendChar(s_wchLineFeed);
  Flush(true);

  m_fClosed = true;
  return true;
}

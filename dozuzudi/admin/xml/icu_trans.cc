// CIcuTrans: lifecycle, conversions and the response declaration. The
// declaration scan is in xml_signature.cc.
#include "admin/xml/icu_trans.h"

#include "admin/xml/charset_alias.h"
#include "admin/xml/widen.h"
#include "platform/text/codepage.h"
#include "platform/text/wstr.h"

bool CIcuTrans::ms_fInitialized = false;
const WCHAR* CIcuTrans::ms_pwszXMLSignature = u"<?xml version=\"1.0\"?>";
const WCHAR* CIcuTrans::ms_pwszXMLEncoding = u"encoding=\"";
const WCHAR* CIcuTrans::ms_pwszXMLStandAlone = u"standalone=\"";
const WCHAR* CIcuTrans::ms_pwszXMLStandAloneYes = u"yes\"";
const WCHAR* CIcuTrans::ms_pwszXMLStandAloneNo = u"no\"";
const WCHAR* CIcuTrans::ms_pwszXMLDefaultEncoding = u"UTF-8";
const WCHAR* CIcuTrans::ms_pwszXMLSignatureWithEncoding = u"<?xml version=\"1.0\" encoding=\"";
const WCHAR* CIcuTrans::ms_pwszXMLSignatureWithEncodingEnd = u"\" ?>";

bool CIcuTrans::Initialize(int* pError, HINSTANCE hModule) {
  int nIgnored;
  if (pError == nullptr) pError = &nIgnored;
  ms_fInitialized = true;
  return CCharsetAliasTable::Load(pError, hModule);
}

void CIcuTrans::Terminate() { CCharsetAliasTable::Free(); }

CIcuTrans::CIcuTrans()
    : m_pbInput(nullptr),
      m_cbInput(0),
      m_pbCursor(nullptr),
      m_cbSignature(0),
      m_eMethod(ENCODING_NONE),
      m_uCodePage(CP_UTF8),
      m_wszEncoding{} {}

CIcuTrans::~CIcuTrans() {}

void CIcuTrans::SetEncodingMethod(int eMethod) { m_eMethod = eMethod; }

bool CIcuTrans::IsUTF16() { return m_eMethod == ENCODING_UTF16BE || m_eMethod == ENCODING_UTF16LE; }

int CIcuTrans::GetCountOfBytesForSignature() { return m_cbSignature; }

bool CIcuTrans::InputToUnicode(unsigned char* pbIn, int cbIn, unsigned short* pwOut, int* pcwOut,
                               int* pError) {
  int nIgnored;
  if (pError == nullptr) pError = &nIgnored;
  if (pbIn == nullptr || pwOut == nullptr || pcwOut == nullptr || cbIn < 1 || *pcwOut < 1) {
    *pError = XML_FAILURE;
    return false;
  }
  *pError = XML_OK;
  if (IsUTF16()) {
    int cw = cbIn / 2;
    if (cw > *pcwOut) {
      *pError = XML_FAILURE;
      return false;
    }
    xmlwiden::ReadUtf16(pbIn, static_cast<size_t>(cw), pwOut, m_eMethod == ENCODING_UTF16LE);
    *pcwOut = cw;
    return true;
  }
  if (cbIn > *pcwOut) {
    *pError = XML_FAILURE;
    return false;
  }
  if (xmlwiden::WidenAscii(pbIn, static_cast<size_t>(cbIn), pwOut)) {
    *pcwOut = cbIn;
    return true;
  }
  int cw = MultiByteToWideChar(m_uCodePage, 0, reinterpret_cast<LPCSTR>(pbIn), cbIn,
                               reinterpret_cast<LPWSTR>(pwOut), *pcwOut);
  if (cw == 0) {
    *pError = XML_FAILURE;
    return false;
  }
  *pcwOut = cw;
  return true;
}

bool CIcuTrans::UnicodeToOutput(unsigned short* pwIn, int* pcwIn, unsigned char* pbOut, int* pcbOut,
                                int* pError) {
  if (pError == nullptr) return false;
  if (pwIn == nullptr || pcwIn == nullptr || pbOut == nullptr || pcbOut == nullptr || *pcwIn <= 0 ||
      *pcbOut <= 0) {
    *pError = XML_FAILURE;
    return false;
  }
  *pError = XML_OK;
  if (IsUTF16()) {
    long long cb = 2LL * *pcwIn;
    if (cb > *pcbOut) cb = *pcbOut & ~1;
    const int cw = static_cast<int>(cb / 2);
    const bool fHighFirst = m_eMethod == ENCODING_UTF16BE;
    for (int i = 0; i < cw; ++i) {
      const unsigned short w = pwIn[i];
      pbOut[2 * i] = static_cast<unsigned char>(fHighFirst ? w >> 8 : w & 0xFF);
      pbOut[2 * i + 1] = static_cast<unsigned char>(fHighFirst ? w & 0xFF : w >> 8);
    }
    *pcbOut = static_cast<int>(cb);
    *pcwIn = cw;
    return true;
  }
  int cb = WideCharToMultiByte(m_uCodePage, 0, reinterpret_cast<LPCWSTR>(pwIn), *pcwIn,
                               reinterpret_cast<LPSTR>(pbOut), *pcbOut, nullptr, nullptr);
  if (cb == 0) {
    *pError = XML_FAILURE;
    return false;
  }
  *pcbOut = cb;
  return true;
}

bool CIcuTrans::NumericToUnicode(int nValue, unsigned short* pwOut, int* pError) {
  int nIgnored;
  if (pError == nullptr) pError = &nIgnored;
  if (nValue <= 0 || pwOut == nullptr) {
    *pError = XML_FAILURE;
    return false;
  }
  if (IsUTF16()) {
    if (nValue > 0xFFFF) {
      *pError = XML_FAILURE;
      return false;
    }
    *pwOut = static_cast<unsigned short>(nValue);
    return true;
  }
  *pError = XML_OK;
  if (nValue < 0x80) {
    *pwOut = static_cast<unsigned short>(nValue);
    return true;
  }
  // The value's bytes, most significant first, without leading zero bytes.
  char rgb[4];
  int cb = 0;
  bool fAscii = true;
  for (int nShift = 24; nShift >= 0; nShift -= 8) {
    const unsigned char b = static_cast<unsigned char>(static_cast<unsigned>(nValue) >> nShift);
    if (cb == 0 && b == 0) continue;
    rgb[cb++] = static_cast<char>(b);
    if (b >= 0x80) fAscii = false;
  }
  // Several 7-bit bytes are several characters: not one code unit.
  WCHAR rgw[4];
  int cw = fAscii ? 0 : MultiByteToWideChar(m_uCodePage, 0, rgb, cb, rgw, 4);
  if (cw != 1) {
    *pError = XML_FAILURE;
    return false;
  }
  *pwOut = static_cast<unsigned short>(rgw[0]);
  return true;
}

bool CIcuTrans::FormXMLSignature(unsigned short* pwOut, int* pcwOut) {
  if (pwOut == nullptr || pcwOut == nullptr) return false;
  if (*pcwOut < 64) {
    *pcwOut = 0;
    return false;
  }
  int cw = 0;
  auto append = [&](const WCHAR* pwsz) {
    for (; *pwsz != 0; ++pwsz) pwOut[cw++] = static_cast<unsigned short>(*pwsz);
  };
  if (IsUTF16()) {
    append(ms_pwszXMLSignature);
  } else {
    append(ms_pwszXMLSignatureWithEncoding);
    append(reinterpret_cast<const WCHAR*>(m_wszEncoding));
    append(ms_pwszXMLSignatureWithEncodingEnd);
  }
  *pcwOut = cw;
  return true;
}

// GUIDs as registry text: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#include "platform/com/com.h"

namespace {

constexpr int kcwGuidText = 39;  // with the terminator

// Positions of the 16 bytes' first hex digits in the text, in GUID byte
// order (Data1 to Data3 as numbers, Data4 as bytes).
constexpr int krgBytePos[16] = {1, 3, 5, 7, 10, 12, 15, 17, 20, 22, 25, 27, 29, 31, 33, 35};

int HexValue(OLECHAR c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

void GuidToBytes(const GUID& guid, BYTE* rgb) {
  for (int i = 0; i < 4; ++i) rgb[i] = static_cast<BYTE>(guid.Data1 >> (24 - 8 * i));
  rgb[4] = static_cast<BYTE>(guid.Data2 >> 8);
  rgb[5] = static_cast<BYTE>(guid.Data2);
  rgb[6] = static_cast<BYTE>(guid.Data3 >> 8);
  rgb[7] = static_cast<BYTE>(guid.Data3);
  for (int i = 0; i < 8; ++i) rgb[8 + i] = guid.Data4[i];
}

}  // namespace

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
  if (lpsz == nullptr || cchMax < kcwGuidText) return 0;
  static constexpr char16_t krgHex[] = u"0123456789ABCDEF";
  BYTE rgb[16];
  GuidToBytes(rguid, rgb);
  const char16_t* pwTemplate = u"{00000000-0000-0000-0000-000000000000}";
  for (int i = 0; i < kcwGuidText; ++i) lpsz[i] = pwTemplate[i];
  for (int i = 0; i < 16; ++i) {
    lpsz[krgBytePos[i]] = krgHex[rgb[i] >> 4];
    lpsz[krgBytePos[i] + 1] = krgHex[rgb[i] & 0xF];
  }
  return kcwGuidText;
}

HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid) {
  if (lpsz == nullptr || pclsid == nullptr) return CO_E_CLASSSTRING;
  for (int i = 0; i < kcwGuidText - 1; ++i) {
    bool fPunct = i == 0 || i == 37 || i == 9 || i == 14 || i == 19 || i == 24;
    OLECHAR cExpected = i == 0 ? u'{' : i == 37 ? u'}' : u'-';
    if (lpsz[i] == 0) return CO_E_CLASSSTRING;
    if (fPunct ? lpsz[i] != cExpected : HexValue(lpsz[i]) < 0) return CO_E_CLASSSTRING;
  }
  if (lpsz[kcwGuidText - 1] != 0) return CO_E_CLASSSTRING;
  BYTE rgb[16];
  for (int i = 0; i < 16; ++i)
    rgb[i] = static_cast<BYTE>(HexValue(lpsz[krgBytePos[i]]) * 16 + HexValue(lpsz[krgBytePos[i] + 1]));
  pclsid->Data1 = static_cast<uint32_t>(rgb[0]) << 24 | static_cast<uint32_t>(rgb[1]) << 16 |
                  static_cast<uint32_t>(rgb[2]) << 8 | rgb[3];
  pclsid->Data2 = static_cast<uint16_t>(rgb[4] << 8 | rgb[5]);
  pclsid->Data3 = static_cast<uint16_t>(rgb[6] << 8 | rgb[7]);
  for (int i = 0; i < 8; ++i) pclsid->Data4[i] = rgb[8 + i];
  return S_OK;
}

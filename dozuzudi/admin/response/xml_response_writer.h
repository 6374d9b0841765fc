// Builds one request's response as UTF-16 text, element by element, and
// sends it in blocks converted to the request's encoding.
//
// Text collects in a buffer of 2000 characters; each full buffer is
// converted into an output block of at most 4000 bytes and sent. A response
// that never filled the buffer goes out as one block with a Content-length;
// a longer one is chunked. After WriteErrorResponse the writer is closed and
// every write fails. No operation allocates.
#pragma once

#include "platform/base/wintypes.h"

class CIcuTrans;
struct ConnectionOutput;

#define WRITER_TEXT_CHARS 2000
#define WRITER_OUTPUT_BYTES 4000
#define WRITER_OUTPUT_ROOM 24

struct XmlResponseWriter {
  XmlResponseWriter();

  // Writes the characters unchanged.
  bool AppendText(const WCHAR* pwText, int cwText);
  bool AppendChar(WCHAR wch);
  // Converts and sends the buffered text; fLast marks the response's end.
  bool Flush(bool fLast);
  // Indentation up or down by 2, never below 0.
  void AdjustIndent(bool fUp);
  // XML declaration, DOCTYPE line and the root start tag.
  bool BeginDocument();
  // Root end tag and the final Flush.
  bool EndDocument();
  // Optional indentation, "<" or "</", the name.
  bool WriteTagStart(const WCHAR* pwszName, bool fOpening, bool fIndented);
  // Optional "/", ">", optional line feed.
  bool WriteTagEnd(bool fSelfClosing, bool fNewLine);
  // The text with XML escaping (quote, ampersand, apostrophe, less-than,
  // greater-than, and every character up to the space as "&#N;").
  bool WriteEscapedText(const WCHAR* pwszText);
  // A space, name, "=", the escaped value in double quotes.
  bool WriteAttribute(const WCHAR* pwszName, const WCHAR* pwszValue);
  // A complete error response document; the writer is closed afterwards.
  bool WriteErrorResponse(const WCHAR* pwszName, const WCHAR* pwszErrorId,
                          const WCHAR* pwszComment);

  bool IsUsable() const { return m_pOutput != nullptr && !m_fClosed; }
  BYTE* OutputBlock() { return m_rgbOutputArea + WRITER_OUTPUT_ROOM; }

  ConnectionOutput* m_pOutput;  // where the blocks go; null: nothing is sent
  CIcuTrans* m_pTrans;
  bool m_fClosed;
  unsigned short m_rgwText[WRITER_TEXT_CHARS];  // not yet sent; never terminated
  int m_cwText;
  int m_nIndent;
  DWORD m_nMajorVersion;
  DWORD m_nMinorVersion;
  // The output block with room on either side for chunk framing.
  BYTE m_rgbOutputArea[WRITER_OUTPUT_ROOM + WRITER_OUTPUT_BYTES + WRITER_OUTPUT_ROOM];

 private:
  bool AppendAscii(const char* pszText);
  bool AppendIndent();
  // Converts the longest prefix of the first cwLimit buffered characters
  // that fits one output block.
  bool ConvertPrefix(int cwLimit, int* pcwConverted, int* pcbOutput);
};

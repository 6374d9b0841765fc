// CIcuTrans: the encoding of an XML document, and conversions between that
// encoding and UTF-16.
//
// A document's encoding is decided from its first four bytes and its XML
// declaration (ParseXMLSignature); names declared in the encoding attribute
// are resolved to code page numbers through the process-wide alias table
// loaded by Initialize. The object then converts the document to UTF-16
// (InputToUnicode), character references to code units (NumericToUnicode),
// and response text back to the document's encoding (UnicodeToOutput), and
// writes the XML declaration of a response (FormXMLSignature).
//
// Use: construct one object per document; ParseXMLSignature; InputToUnicode
// on the bytes from GetCountOfBytesForSignature() on (CXMLParser does this);
// later FormXMLSignature and UnicodeToOutput for the response. The object
// keeps pointers into the document, so the document must outlive its use.
//
// Results: every operation taking int* pError writes one of the XML_* codes
// below into it. No operation allocates or throws.
//
// Threads: Initialize and Terminate run while no other thread uses the
// class; an object belongs to one thread; ParseXMLSignature reads the alias
// table without a lock.
#pragma once

#include "platform/base/wintypes.h"

// Encoding methods (CIcuTrans::SetEncodingMethod, the detected method).
enum {
  ENCODING_NONE = 0,      // not determined
  ENCODING_CODEPAGE = 1,  // bytes converted through the code page
  ENCODING_UTF16BE = 3,   // UTF-16, most significant byte first
  ENCODING_UTF16LE = 4,   // UTF-16, least significant byte first
};

// Result codes of CIcuTrans; CXMLParser adds 100 to 106 (xml_parser.h).
enum {
  XML_OK = 0,                // success
  XML_BAD_SIGNATURE = 2,     // the XML declaration is malformed, incomplete or ends the input
  XML_DEFAULT_ENCODING = 3,  // success, but no usable encoding name: UTF-8 is used
  XML_UNRECOGNISED = 4,      // the first bytes match no supported pattern
  XML_FAILURE = 5,           // not initialised, bad argument, buffer too small, conversion failed
};

class CIcuTrans {
 public:
  // Marks the class initialised, then loads the alias table (vltxmlss.txt)
  // unless it is already loaded. hModule null: the file is found through the
  // registry's install location ("Software\Veltra\Install", "Location",
  // + "\System32\vltxmlss.txt"); a module handle: the file beside that
  // module. True with XML_OK, or false with XML_FAILURE when the file cannot
  // be found, read or mapped.
  static bool Initialize(int* pError, HINSTANCE hModule);

  // Frees the alias table. The class stays initialised: names then resolve
  // to nothing and documents are read as UTF-8.
  static void Terminate();

  // An empty object: no document, method ENCODING_NONE, code page 65001,
  // empty encoding name.
  CIcuTrans();
  ~CIcuTrans();

  // Sets the encoding method to eMethod as it is (no check).
  void SetEncodingMethod(int eMethod);

  // Bytes taken by the byte-order mark and the XML declaration of the last
  // document given to ParseXMLSignature; the document's content starts there.
  int GetCountOfBytesForSignature();

  // Detects the method from the first four bytes (FF FE "<" 0 and "<" 0 "?" 0:
  // UTF-16LE; FE FF 0 "<" and 0 "<" 0 "?": UTF-16BE; "<?xm": code page) and
  // reads the XML declaration: "<?xml", white space, version "1.0" in either
  // quotes, then optional encoding and standalone (yes or no) attributes in
  // either order, then "?>", which must not end the input. The encoding name
  // (at most 14 characters) of a code-page document is looked up in the alias
  // table; when it is missing or unknown, UTF-8 is used with
  // XML_DEFAULT_ENCODING. Fails with XML_FAILURE before Initialize,
  // XML_UNRECOGNISED when no pattern matches, XML_BAD_SIGNATURE for a
  // malformed, incomplete or input-ending declaration (or fewer than 4 bytes).
  // The object keeps pbDoc.
  bool ParseXMLSignature(unsigned char* pbDoc, int cbDoc, int* pError);

  // Converts cbIn bytes to UTF-16 into pwOut, whose capacity in code units
  // *pcwOut gives; *pcwOut receives the number written. UTF-16 methods take
  // byte pairs (a trailing odd byte is ignored); the code-page method needs a
  // capacity of at least cbIn, widens 7-bit input directly and converts any
  // other input through the code page, strictly. XML_FAILURE for an empty
  // input or output, too small a capacity, or a failed conversion.
  bool InputToUnicode(unsigned char* pbIn, int cbIn, unsigned short* pwOut, int* pcwOut,
                      int* pError);

  // Converts *pcwIn code units into pbOut, whose capacity in bytes *pcbOut
  // gives; *pcbOut receives the bytes written. UTF-16 methods write as much
  // as fits (an even number of bytes) and set *pcwIn to the code units
  // written; the code-page method converts all or fails (XML_FAILURE) and
  // leaves *pcwIn. False without a code when pError is null.
  bool UnicodeToOutput(unsigned short* pwIn, int* pcwIn, unsigned char* pbOut, int* pcbOut,
                       int* pError);

  // The code unit for a character reference's number (positive). UTF-16
  // methods: the number itself, at most 0xFFFF; the result code is left as it
  // was. Code-page method: the number's bytes, most significant first,
  // are a character in the code page (65 is "A"; in UTF-8 0xC3A9 is U+00E9),
  // which must convert to exactly one code unit. XML_FAILURE otherwise.
  bool NumericToUnicode(int nValue, unsigned short* pwOut, int* pError);

  // Writes the XML declaration of a response without a NUL: for UTF-16
  // <?xml version="1.0"?>, otherwise <?xml version="1.0" encoding="NAME" ?>
  // with the document's encoding name. *pcwOut: in, the capacity, which must
  // be at least 64 (else false with *pcwOut 0); out, the code units written.
  bool FormXMLSignature(unsigned short* pwOut, int* pcwOut);

 private:
  // The method is ENCODING_UTF16BE or ENCODING_UTF16LE.
  bool IsUTF16();

  unsigned char* m_pbInput;          // the document; not owned
  int m_cbInput;                     // its length in bytes
  unsigned char* m_pbCursor;         // read position of the declaration scan
  int m_cbSignature;                 // bytes of byte-order mark and declaration
  int m_eMethod;                     // ENCODING_*
  unsigned int m_uCodePage;          // code page of the code-page method
  unsigned short m_wszEncoding[16];  // declared encoding name, NUL-terminated

  static bool ms_fInitialized;
  static const WCHAR* ms_pwszXMLSignature;
  static const WCHAR* ms_pwszXMLEncoding;
  static const WCHAR* ms_pwszXMLStandAlone;
  static const WCHAR* ms_pwszXMLStandAloneYes;
  static const WCHAR* ms_pwszXMLStandAloneNo;
  static const WCHAR* ms_pwszXMLDefaultEncoding;
  static const WCHAR* ms_pwszXMLSignatureWithEncoding;
  static const WCHAR* ms_pwszXMLSignatureWithEncodingEnd;
};

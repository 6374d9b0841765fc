// CXMLParser: a pull tokenizer over a document converted to UTF-16.
//
// Initialize converts the document through its CIcuTrans into the parser's
// text buffer and passes over the prolog (white space, comments, a document
// type declaration). Each GetEntry then returns the next entry: an element
// start, a move back up the tree, an attribute, character data, or the end.
// Names, values and data are pointers into the text buffer with a length
// (not NUL-terminated); they stay valid until the parser is destroyed.
//
// What the tokenizer reads: element names run to a space, ">" or "/";
// attribute values are returned as written (references are not decoded);
// character data loses its leading white space and the white space after
// comments inside it, and has its references decoded in place (the five
// predefined entities and character references, whose numbers a code-page
// document gives as encoded bytes, see CIcuTrans::NumericToUnicode).
// At most 63 elements may be open. Processing instructions and CDATA
// sections are not recognised.
//
// Memory: the object holds an 8192-code-unit buffer (16 KB), so it is meant
// for the stack; a larger capacity is allocated once at construction. No
// other call allocates. Copies are refused: a parser's entries point into
// its own buffer. The converted text is followed by 16 zero code units, so
// that the scans stop on them instead of testing the length at every step.
//
// Threads: an object belongs to one thread.
#pragma once

#include "admin/xml/icu_trans.h"

// Result codes of the tokenizer, in the same integer as CIcuTrans's codes.
enum {
  XML_BAD_NESTING = 100,     // a 64th nested element, or an end tag with no open element
  XML_UNEXPECTED_END = 101,  // the text ended inside a construct or with elements open
  XML_BAD_START_TAG = 102,   // an unended element name, or "/" not followed by ">"
  XML_BAD_END_TAG = 103,     // an end tag that does not match or is not closed by ">"
  XML_BAD_ATTRIBUTE = 104,   // an attribute without "=" or quote, or ">" in its value
  XML_BAD_REFERENCE = 106,   // an unknown entity or malformed character reference
};

class CXMLParser {
 public:
  enum e_XML_Entry {
    XML_ENTRY_NONE = 0,       // nothing (set on entry to every call)
    XML_ENTRY_TOP = 1,        // element start at level 0, or the move back to level 0
    XML_ENTRY_CHILD = 2,      // element start one level below the last reported one
    XML_ENTRY_SIBLING = 3,    // element start at the level of the last reported one
    XML_ENTRY_UP = 4,         // the enclosing element closed: the level moves up one
    XML_ENTRY_ATTRIBUTE = 5,  // an attribute of the current start tag: name and value
    XML_ENTRY_DATA = 6,       // character data, decoded (in the name outputs)
    XML_ENTRY_END = 7,        // the end of the document, all elements closed
  };

  // cwCapacity > 0: a heap buffer of that many code units (the built-in one
  // if the allocation fails); otherwise the built-in 8192-unit buffer.
  CXMLParser(int cwCapacity = 0);
  virtual ~CXMLParser();
  CXMLParser(const CXMLParser&) = delete;
  CXMLParser& operator=(const CXMLParser&) = delete;

  // Converts cbDoc bytes from pbDoc + pTrans->GetCountOfBytesForSignature()
  // on into the buffer (pTrans has read the document's declaration) and
  // passes over the prolog. False with the conversion's code (XML_FAILURE
  // when the text does not fit) or XML_UNEXPECTED_END when the document ends
  // in its prolog. pTrans must outlive the parser's use.
  bool Initialize(CIcuTrans* pTrans, unsigned char* pbDoc, int cbDoc, int* pError);

  // The next entry: its kind, name (or data) and value with their lengths.
  // False with an XML_* code for a malformed document; the parser is not
  // used further then. After the end of the document every call returns
  // XML_ENTRY_END.
  bool GetEntry(e_XML_Entry* peKind, unsigned short** ppwName, int* pcwName,
                unsigned short** ppwValue, int* pcwValue, int* pError);

  // Moves the read position back to the first element (after the prolog).
  // Depth, level and decoded data stay as they are.
  void Reset();

  // True when only white space and comments remain after the read position.
  bool Terminate();

 private:
  // Moves over white space and comments from the read position: true on a
  // code unit before the end; false at the end, with XML_UNEXPECTED_END for
  // an unclosed comment.
  bool skipWSandComments(int* pError);
  // The steps of GetEntry, compiled into it. Each works from a position p in
  // the text, whose end is pEnd; a failure stores the read position at the
  // start of the construct that failed and returns false with a code.
#define VLT_XML_STEP __attribute__((visibility("hidden"), always_inline)) inline
  enum EStep { STEP_REPORTED, STEP_FAILED, STEP_ON };
  // Element start at "<": name, nesting, "/>".
  VLT_XML_STEP bool GetLabel(unsigned short* p, unsigned short* pEnd, e_XML_Entry* peKind,
                             unsigned short** ppwName, int* pcwName, int* pError);
  // The attribute whose name starts at p, in a start tag.
  VLT_XML_STEP bool GetAttribute(unsigned short* p, unsigned short* pEnd,
                                 unsigned short** ppwName, int* pcwName,
                                 unsigned short** ppwValue, int* pcwValue, int* pError);
  // End tag at "</" (*pp): reports the move up when the level changes, else
  // STEP_ON with *pp after the tag and the white space and comments after it.
  VLT_XML_STEP EStep CloseElement(unsigned short** pp, unsigned short* pEnd,
                                   e_XML_Entry* peKind, unsigned short** ppwName,
                                   int* pcwName, int* pError);
  // Character data at *pp, decoded in place: STEP_ON with *pp at the tag
  // that follows when there was none after all.
  VLT_XML_STEP EStep GetData(unsigned short** pp, unsigned short* pEnd, e_XML_Entry* peKind,
                              unsigned short** ppwData, int* pcwData, int* pError);
  // Past the white space at p; the zeros after the text stop it.
  static VLT_XML_STEP unsigned short* skipWhitespace(unsigned short* p);
  // Past the white space and comments at *pp; false at an unclosed comment.
  VLT_XML_STEP bool SkipSpacesAndComments(unsigned short** pp, unsigned short* pEnd);
  // The end of the text reached: XML_ENTRY_END, or a failure while elements
  // are open.
  VLT_XML_STEP bool AtEnd(e_XML_Entry* peKind, int* pError);
  VLT_XML_STEP bool Fail(unsigned short* pwCursor, int nError, int* pError);
#undef VLT_XML_STEP
  // The rest of the character data that started at the read position, from
  // p on: p holds "&", "<" or the end, and the data so far ends at p. True
  // with the end of the decoded data in *ppwOut and the read position after
  // the data; false with a code. Out of line: most data has neither
  // references nor comments.
  __attribute__((visibility("hidden"), noinline)) bool DecodeData(unsigned short* p,
                                                                  unsigned short** ppwOut,
                                                                  int* pError);

  // m_rgWhiteSpace as a bit mask, tested without a memory access.
  static constexpr unsigned long long WhiteSpaceMask() {
    unsigned long long nMask = 0;
    for (int i = 0; i <= 32; ++i)
      if (m_rgWhiteSpace[i] != 0) nMask |= 1ull << i;
    return nMask;
  }
  static bool IsWhiteSpace(unsigned short w) { return w <= 32 && (WhiteSpaceMask() >> w) & 1; }

  CIcuTrans* m_pTrans;                    // the document's encoding; not owned
  unsigned short* m_pwCursor;             // read position
  unsigned short m_rgwInline[8192 + 16];  // built-in text buffer, and its padding
  unsigned short* m_pwEnd;                // one past the last converted code unit
  unsigned short* m_pwBuffer;             // m_rgwInline or an owned heap array
  int m_cwBuffer;                         // capacity of m_pwBuffer
  unsigned short* m_pwDocument;           // first position after the prolog
  unsigned short* m_rgpwOpen[64];         // name of each open element
  int m_nDepth;                           // number of open elements
  int m_nLevel;                           // level of the last reported element start or move up
  bool m_fAttributes;                     // the current start tag may hold more attributes

  // 1 for tab, line feed, carriage return and space: the white space.
  static constexpr int m_rgWhiteSpace[33] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0,
                                             0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  static const unsigned short m_rgNumbers[33];  // "0123456789ABCDEF0123456789abcdef"
};

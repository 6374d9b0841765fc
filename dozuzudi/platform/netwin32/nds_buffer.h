// The library's buffers: attribute names and filters going to a search,
// and search results coming back, laid out in a fixed number of bytes.
//
// Result layout (host byte order): u32 object count, then per object
//   u16 name size, name (UTF-8); u8 base class size, base class;
//   u32 attribute count; per attribute: u8 name size, name; u32 syntax;
//   u32 value count; per value: u32 size, value (UTF-8).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/netwin32/netwin32.h"

namespace netwin32 {

enum class EBufferKind { kEmpty, kAttrNames, kFilter, kResult };

// Where reading a result buffer stands.
struct CResultCursor {
  size_t nOffset = 0;
  uint32_t cObjectsLeft = 0;  // objects whose name is not read yet
  uint32_t cAttrsLeft = 0;    // attributes of the current object not begun
  uint32_t cValuesLeft = 0;   // values of the current attribute not read
  uint32_t nSyntax = 0;       // the current attribute's syntax
  bool fStarted = false;      // the object count was read
};

// One object of a result, before it is laid out.
struct CResultAttribute {
  std::string sName;
  uint32_t nSyntax = SYN_CI_STRING;
  std::vector<std::string> rgsValues;
};
struct CResultObject {
  std::string sName;
  std::string sBaseClass;
  std::vector<CResultAttribute> rgAttributes;
};

}  // namespace netwin32

struct NWDSBuf {
  std::unique_ptr<uint8_t[]> pb;
  size_t cbMax = 0;
  size_t cbUsed = 0;
  netwin32::EBufferKind eKind = netwin32::EBufferKind::kEmpty;
  uint32_t nOperation = 0;
  uint32_t cItems = 0;              // names or filter tokens put
  NWDSCCODE nFailure = 0;           // a failed search: what reads answer
  netwin32::CResultCursor cursor;
};

namespace netwin32 {

// 0 when the pointer is a buffer of the library not yet freed; never
// dereferences one that is not.
NWDSCCODE CheckBuffer(const NWDSBuf* pBuf);

// The attribute names put into a DSV_READ or DSV_SEARCH buffer.
std::vector<std::string> ReadAttrNames(const NWDSBuf& buf);

// A result buffer: emptied (no objects), or failed (reads answer nCode).
void StartResult(NWDSBuf* pBuf);
void FailResult(NWDSBuf* pBuf, NWDSCCODE nCode);
// Appends the object when it fits in what is left; false otherwise (the
// buffer unchanged). NDS_ERR_INSUFFICIENT_BUFFER when it would not fit
// even into the empty buffer.
NWDSCCODE AppendResultObject(NWDSBuf* pBuf, const CResultObject& object, bool* pfAppended);
uint32_t ResultObjectCount(const NWDSBuf& buf);

}  // namespace netwin32
